// Writing files on Windows: a new file (CREATE_NEW) beside the target, flushed, then moved over
// it with MoveFileExA (write-through); output streams (devices, pipes) opened as they are.
#include "platform/file_writer.h"

#include <cstdio>
#include <random>

#include <windows.h>

namespace Geo::Platform {

namespace {

constexpr int kMoveAttempts = 200;

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The system's text for `error`, without its closing period and line break.
std::string SystemErrorText(DWORD error) {
    char buffer[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, buffer, sizeof buffer, nullptr);
    while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r' ||
                          buffer[length - 1] == '.' || buffer[length - 1] == ' '))
        --length;
    return length > 0 ? std::string(buffer, length) : "error " + std::to_string(error);
}

// The type of what `path` names (FILE_TYPE_DISK, _CHAR, _PIPE), asked of a handle that may
// neither read nor write; FILE_TYPE_UNKNOWN when it cannot be opened.
DWORD TypeOf(const std::string &path) {
    const HANDLE handle =
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return FILE_TYPE_UNKNOWN;
    const DWORD type = GetFileType(handle);
    CloseHandle(handle);
    return type;
}

bool IsStreamType(DWORD type) { return type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE; }

// Why the existing file with `attributes` at `target` may not be replaced; null when it may. A
// folder or a device is never replaced: the move would fail half-way or put a file in its
// place; a read-only file was made so on purpose.
const char *RefusalOf(const std::string &target, DWORD attributes) {
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0 ||
        TypeOf(target) != FILE_TYPE_DISK)
        return "not a regular file";
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
        return "read-only";
    return nullptr;
}

// The file a write really replaces: the final path of a symbolic link, else the path itself.
std::string ResolveTarget(const std::string &path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
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

bool CFileWriter::FailWithSystemError() { return Fail(SystemErrorText(GetLastError())); }

void CFileWriter::Abandon() {
    if (m_handle != -1 && m_ownsHandle)
        CloseHandle(AsHandle(m_handle));
    m_handle = -1;
    m_ownsHandle = true;
    if (!m_temporary.empty())
        DeleteFileA(m_temporary.c_str());
    m_temporary.clear();
    m_target.clear();
}

bool CFileWriter::Open(const std::string &path) {
    Abandon();
    m_failed = false;
    m_error.clear();
    if (path.empty() || IsSeparator(path.back()) || path.find('\0') != std::string::npos)
        return Fail("not a file name");
    try {
        const std::string target = ResolveTarget(path);
        const DWORD old = GetFileAttributesA(target.c_str());
        const bool exists = old != INVALID_FILE_ATTRIBUTES;
        if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND)
            return FailWithSystemError(); // the folder is missing, or the name cannot be a file
        if (exists) {
            if (const char *refusal = RefusalOf(target, old))
                return Fail(refusal);
        }
        // An existing file keeps its attributes (hidden, archive, ...), as its mode on POSIX; a
        // new one gets the folder's inherited security, as the umask decides on POSIX.
        const DWORD kept =
            exists ? (old & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                             FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED))
                   : 0;
        const std::string folder = FolderOf(target);
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            char name[32];
            std::snprintf(name, sizeof name, ".vexogeo-%08x.tmp", static_cast<unsigned>(random()));
            const std::string temporary = folder + name;
            const HANDLE handle =
                CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL, nullptr);
            if (handle != INVALID_HANDLE_VALUE) {
                m_handle = reinterpret_cast<std::intptr_t>(handle);
                m_temporary = temporary;
                m_target = target;
                return true;
            }
            if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
                return FailWithSystemError();
        }
        return Fail("no unused temporary file name");
    } catch (...) {
        // std::random_device and the string operations may throw.
        return Fail("out of memory");
    }
}

bool IsOutputStream(const std::string &path) {
    return !path.empty() && path.find('\0') == std::string::npos && IsStreamType(TypeOf(path));
}

bool CFileWriter::OpenStream(const std::string &path) {
    Abandon();
    m_failed = false;
    m_error.clear();
    if (path.empty() || path.find('\0') != std::string::npos)
        return Fail("not a file name");
    const HANDLE handle =
        CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return FailWithSystemError();
    m_handle = reinterpret_cast<std::intptr_t>(handle);
    // Decided on the handle actually opened: a disk file is never written in place.
    if (!IsStreamType(GetFileType(handle)))
        return Fail("not a character device or named pipe");
    return true;
}

bool CFileWriter::OpenStandardOutput() {
    Abandon();
    m_failed = false;
    m_error.clear();
    std::fflush(stdout);
    // Written with WriteFile, below the C library: bytes pass unchanged, never as text.
    const HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr)
        return Fail("no standard output");
    m_handle = reinterpret_cast<std::intptr_t>(handle);
    m_ownsHandle = false;
    return true;
}

bool CFileWriter::Write(const char *data, std::size_t size) {
    if (m_failed)
        return false;
    if (m_handle == -1)
        return Fail("nothing open");
    while (size > 0) {
        const DWORD piece = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(AsHandle(m_handle), data, piece, &written, nullptr))
            return FailWithSystemError();
        if (written == 0)
            return Fail("nothing written");
        data += written;
        size -= written;
    }
    return true;
}

bool CFileWriter::Commit() {
    if (m_failed)
        return false;
    if (m_handle == -1)
        return Fail("nothing open");
    const HANDLE handle = AsHandle(m_handle);
    if (m_target.empty()) {
        // A stream: what was written is gone already; closing only lets it go.
        const bool owned = m_ownsHandle;
        m_handle = -1;
        if (owned && !CloseHandle(handle))
            return FailWithSystemError();
        return true;
    }
    // Flushed before the move: the move may otherwise reach the disk before the data.
    if (!FlushFileBuffers(handle))
        return FailWithSystemError();
    m_handle = -1;
    if (!CloseHandle(handle))
        return FailWithSystemError();
    // Checked again just before the move: something else may have taken the path meanwhile.
    const DWORD now = GetFileAttributesA(m_target.c_str());
    if (now != INVALID_FILE_ATTRIBUTES) {
        if (const char *refusal = RefusalOf(m_target, now))
            return Fail(refusal);
    }
    // Windows refuses to replace a file that another thread or process has open at this
    // moment (a concurrent load or save); such a refusal passes, so it is retried a bounded
    // number of times before the write fails.
    for (int attempt = 0; attempt < kMoveAttempts; ++attempt) {
        if (MoveFileExA(m_temporary.c_str(), m_target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            m_temporary.clear();
            m_target.clear();
            return true;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION &&
            error != ERROR_LOCK_VIOLATION)
            break;
        Sleep(1);
    }
    return FailWithSystemError();
}

} // namespace Geo::Platform
