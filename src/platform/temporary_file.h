// A file written beside its target and put in its place only when complete.
#ifndef VEXOGEO_PLATFORM_TEMPORARY_FILE_H
#define VEXOGEO_PLATFORM_TEMPORARY_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace Geo::Platform {

/// A new file in the folder of a target, written piece by piece; `Commit` puts it in the
/// target's place in one step. Until then the target is untouched, and a file never committed is
/// removed when the object goes. One thread at a time.
class CTemporaryFile {
  public:
    CTemporaryFile() = default;
    ~CTemporaryFile();
    CTemporaryFile(const CTemporaryFile &) = delete;
    CTemporaryFile &operator=(const CTemporaryFile &) = delete;

    /// Creates the file beside `target`. @return false when no file can be created there.
    bool Create(const std::string &target);
    /// Appends `size` bytes. @return false on a failed write (disk full, no file).
    bool Write(const char *data, std::size_t size);
    /// Flushes the file to disk, closes it and replaces `target` with it.
    /// @return false when any step fails; the file is then removed and `target` left alone.
    bool Commit(const std::string &target);
    /// The file's path; empty before `Create`. The file may be read through it while open.
    const std::string &GetPath() const { return m_path; }

  private:
    std::string m_path;
    std::intptr_t m_handle = -1; ///< the platform's handle of the open file; -1 when closed
    bool m_committed = false;
};

} // namespace Geo::Platform

#endif
