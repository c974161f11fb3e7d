// Temporary files on Windows: a new file in the target's folder, flushed, then moved over the
// target with MoveFileExA (write-through).
#include "platform/temporary_file.h"

#include <atomic>

#include <windows.h>

namespace Geo::Platform {

namespace {

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

} // namespace

CTemporaryFile::~CTemporaryFile() {
    if (m_handle != -1)
        CloseHandle(AsHandle(m_handle));
    if (!m_path.empty() && !m_committed)
        DeleteFileA(m_path.c_str());
}

bool CTemporaryFile::Create(const std::string &target) {
    if (m_handle != -1 || !m_path.empty())
        return false;
    static std::atomic<unsigned> counter{0};
    // A name no other writer picks: this process, this call; CREATE_NEW refuses any clash.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = target + "." + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(counter.fetch_add(1)) + ".tmp";
        // Others may read it while it is written (the WMS client reads an exception document
        // back from it before deciding), but neither write nor delete it.
        const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            m_path = path;
            m_handle = reinterpret_cast<std::intptr_t>(file);
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS)
            return false;
    }
    return false;
}

bool CTemporaryFile::Write(const char *data, std::size_t size) {
    if (m_handle == -1)
        return false;
    while (size > 0) {
        const DWORD piece = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(AsHandle(m_handle), data, piece, &written, nullptr) || written == 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

bool CTemporaryFile::Commit(const std::string &target) {
    if (m_handle == -1)
        return false;
    const HANDLE file = AsHandle(m_handle);
    m_handle = -1;
    const bool flushed = FlushFileBuffers(file) != 0;
    if (!CloseHandle(file) || !flushed ||
        !MoveFileExA(m_path.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return false;
    m_committed = true;
    return true;
}

} // namespace Geo::Platform
