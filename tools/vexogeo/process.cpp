// Terminal and executable queries of the process, and the progress bar.
#include "process.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
#endif

namespace VexoGeoCli {

bool IsStandardErrorTerminal() { return isatty(2) == 1; }

std::string GetExecutableFolder(const char *argv0) {
#ifdef _WIN32
    char buffer[MAX_PATH * 4] = {};
    const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    if (length > 0 && length < sizeof buffer)
        return std::filesystem::path(std::string(buffer, length)).parent_path().string();
#endif
    std::error_code error;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error && argv0 != nullptr && std::string(argv0).find('/') != std::string::npos)
        path = std::filesystem::weakly_canonical(argv0, error);
    if (error || path.empty())
        return std::string();
    return path.parent_path().string();
}

CProgress::CProgress(std::string label, std::uint64_t total)
    : m_label(std::move(label)), m_total(total),
      m_shown(total >= kLargeInput && IsStandardErrorTerminal()) {}

CProgress::~CProgress() {
    if (m_shown)
        std::fprintf(stderr, "\r%*s\r", static_cast<int>(m_label.size() + 60), "");
}

void CProgress::Update(std::uint64_t done) {
    if (!m_shown)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastDraw < std::chrono::milliseconds(100))
        return;
    m_lastDraw = now;
    constexpr int kWidth = 40;
    const double fraction = done >= m_total ? 1.0 : static_cast<double>(done) / m_total;
    const int filled = static_cast<int>(fraction * kWidth);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kWidth - filled), '.');
    std::fprintf(stderr, "\r%s [%s] %3d%%", m_label.c_str(), bar.c_str(),
                 static_cast<int>(fraction * 100));
    std::fflush(stderr);
}

} // namespace VexoGeoCli
