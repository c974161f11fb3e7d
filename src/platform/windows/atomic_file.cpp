// Atomic file replacement on Windows: a temporary file in the same folder, flushed, then moved
// over the target with MoveFileExA(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH).
#include "platform/atomic_file.h"

#include <cstdio>
#include <random>

#include <windows.h>

namespace Geo::Platform {

namespace {

constexpr int kMoveAttempts = 200;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Closes the handle and deletes the temporary file unless the move has taken it over.
class CTemporaryFile {
  public:
    CTemporaryFile() = default;
    CTemporaryFile(const CTemporaryFile &) = delete;
    CTemporaryFile &operator=(const CTemporaryFile &) = delete;
    ~CTemporaryFile() {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
        if (!m_path.empty())
            DeleteFileA(m_path.c_str());
    }

    // Creates a new file with a random name in `folder`; an existing name is never reused.
    bool Create(const std::string &folder, DWORD attributes) {
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            char name[32];
            std::snprintf(name, sizeof name, ".vexogeo-%08x.tmp", static_cast<unsigned>(random()));
            const std::string path = folder + name;
            const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                              attributes, nullptr);
            if (handle != INVALID_HANDLE_VALUE) {
                m_handle = handle;
                m_path = path;
                return true;
            }
            if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
                return false;
        }
        return false;
    }

    bool Write(const std::string &bytes) {
        const char *data = bytes.data();
        std::size_t left = bytes.size();
        while (left > 0) {
            const DWORD chunk = left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left);
            DWORD written = 0;
            if (!WriteFile(m_handle, data, chunk, &written, nullptr) || written == 0)
                return false;
            data += written;
            left -= written;
        }
        return true;
    }

    // Flushed before the move: the move may otherwise reach the disk before the data.
    bool FlushAndClose() {
        const bool flushed = FlushFileBuffers(m_handle) != 0;
        const bool closed = CloseHandle(m_handle) != 0;
        m_handle = INVALID_HANDLE_VALUE;
        return flushed && closed;
    }

    // Windows refuses to replace a file that another thread or process has open at this
    // moment (a concurrent load or save); such a refusal passes, so it is retried a bounded
    // number of times before the save fails.
    bool MoveTo(const std::string &target) {
        for (int attempt = 0; attempt < kMoveAttempts; ++attempt) {
            if (MoveFileExA(m_path.c_str(), target.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
                m_path.clear();
                return true;
            }
            const DWORD error = GetLastError();
            if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION &&
                error != ERROR_LOCK_VIOLATION)
                return false;
            Sleep(1);
        }
        return false;
    }

  private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    std::string m_path;
};

// The file a save really replaces: the final path of a symbolic link, else the path itself.
std::string ResolveTarget(const std::string &path, DWORD attributes) {
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return path;
    const HANDLE handle = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return path;
    char buffer[MAX_PATH * 4];
    const DWORD length = GetFinalPathNameByHandleA(handle, buffer, sizeof buffer, 0);
    CloseHandle(handle);
    if (length == 0 || length >= sizeof buffer)
        return path;
    std::string resolved(buffer, length);
    if (resolved.rfind("\\\\?\\", 0) == 0 && resolved.rfind("\\\\?\\UNC\\", 0) != 0)
        resolved.erase(0, 4);
    return resolved;
}

// The folder part of `path` with its trailing separator; "" (the working folder) when it has
// none, "C:" for a path relative to a drive's working folder.
std::string FolderOf(const std::string &path) {
    const std::size_t separator = path.find_last_of("\\/");
    if (separator != std::string::npos)
        return path.substr(0, separator + 1);
    return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : std::string();
}

} // namespace

bool WriteFileAtomically(const std::string &path, const std::string &bytes) {
    if (path.empty() || IsSeparator(path.back()) || path.find('\0') != std::string::npos)
        return false;
    try {
        const std::string target = ResolveTarget(path, GetFileAttributesA(path.c_str()));
        const DWORD old = GetFileAttributesA(target.c_str());
        const bool exists = old != INVALID_FILE_ATTRIBUTES;
        // A folder, a device or a read-only file is never replaced: the move would either fail
        // half-way or discard the file's protection.
        if (exists && (old & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE |
                              FILE_ATTRIBUTE_READONLY)) != 0)
            return false;
        if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND)
            return false; // the folder is missing, or the name cannot be a file
        // An existing file keeps its attributes (hidden, archive, ...), as its mode on POSIX.
        const DWORD attributes =
            exists ? (old & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                             FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED))
                   : 0;
        CTemporaryFile temporary;
        return temporary.Create(FolderOf(target), attributes ? attributes : FILE_ATTRIBUTE_NORMAL) &&
               temporary.Write(bytes) && temporary.FlushAndClose() && temporary.MoveTo(target);
    } catch (...) {
        // std::random_device and the string operations may throw; a save only answers false.
        return false;
    }
}

} // namespace Geo::Platform
