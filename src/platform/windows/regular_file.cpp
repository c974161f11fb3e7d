// Whole-file reads on Windows: the attributes of the path, then the type of the handle opened.
#include "platform/regular_file.h"

#include <windows.h>

namespace Geo::Platform {

namespace {

// Owner of one file handle.
class CFileHandle {
  public:
    explicit CFileHandle(HANDLE handle) : m_handle(handle) {}
    CFileHandle(const CFileHandle &) = delete;
    CFileHandle &operator=(const CFileHandle &) = delete;
    ~CFileHandle() {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }
    HANDLE Get() const { return m_handle; }

  private:
    HANDLE m_handle;
};

// A regular file: neither a folder nor a device, and no reparse point (link, mount point).
bool IsRegularAttributes(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

} // namespace

bool ReadRegularFile(const std::string &path, std::size_t limit, std::string &bytes) {
    // Device names (NUL, CON, COM1, \\.\pipe\...) report no attributes of a file and are never
    // opened: opening a device may act on it.
    if (path.empty() || path.find('\0') != std::string::npos ||
        !IsRegularAttributes(GetFileAttributesA(path.c_str())))
        return false;
    // The path may name another object by now; the handle is asked what it really is.
    const CFileHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE || GetFileType(file.Get()) != FILE_TYPE_DISK)
        return false;
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file.Get(), &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    char buffer[65536];
    for (;;) {
        DWORD count = 0;
        if (!ReadFile(file.Get(), buffer, sizeof buffer, &count, nullptr))
            return false;
        if (count == 0)
            return true;
        if (bytes.size() > limit || static_cast<std::size_t>(count) > limit - bytes.size())
            return false;
        bytes.append(buffer, count);
    }
}

} // namespace Geo::Platform
