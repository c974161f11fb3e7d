// What the tool asks of its process and terminal: whether standard error is a terminal, where
// the executable lives, and the progress bar of long work.
#ifndef VEXOGEO_TOOLS_VEXOGEO_PROCESS_H
#define VEXOGEO_TOOLS_VEXOGEO_PROCESS_H

#include <chrono>
#include <cstdint>
#include <string>

namespace VexoGeoCli {

/// @return whether standard error is a terminal.
bool IsStandardErrorTerminal();

/// The folder of the running executable, from the system or else from `argv0`.
/// @return an empty string when neither tells.
std::string GetExecutableFolder(const char *argv0);

/// A one-line progress bar on standard error, shown only when standard error is a terminal and
/// the work is large; otherwise every call does nothing.
class CProgress {
  public:
    /// Inputs from this size on (bytes) show a bar.
    static constexpr std::uint64_t kLargeInput = 32ull * 1024 * 1024;

    /// `total` bytes of work (0: unknown, no bar).
    CProgress(std::string label, std::uint64_t total);
    /// Removes the bar.
    ~CProgress();
    CProgress(const CProgress &) = delete;
    CProgress &operator=(const CProgress &) = delete;

    /// Redraws the bar for `done` bytes, at most ten times a second.
    void Update(std::uint64_t done);

  private:
    std::string m_label;
    std::uint64_t m_total;
    bool m_shown;
    std::chrono::steady_clock::time_point m_lastDraw;
};

} // namespace VexoGeoCli

#endif
