// Locked record files on Windows: LockFileEx on the whole range, released with the handle.
#include "platform/locked_file.h"

#include <algorithm>
#include <thread>

#include <windows.h>

namespace Geo::Platform {
namespace {

// Longest pause between two attempts at a lock that another holder keeps.
constexpr std::chrono::milliseconds kLongestRetryPause{5};

HANDLE HandleOf(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// The lock covers every byte the file may ever hold, so it excludes whatever a holder reads or
// writes; the system lets only the holder's own handle touch a locked range.
bool LockWholeRange(HANDLE file) {
    OVERLAPPED start{};
    return LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                      MAXDWORD, &start) != FALSE;
}

void UnlockWholeRange(HANDLE file) {
    OVERLAPPED start{};
    UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &start);
}

} // namespace

CLockedFile::~CLockedFile() { Unlock(); }

bool CLockedFile::Lock(const std::string &path, std::chrono::milliseconds patience) {
    Unlock();
    // Folders and devices (NUL, CON, \\.\pipe\...) are never opened: opening a device may act
    // on it. A missing file reports no attributes and is created below.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (path.empty() || path.find('\0') != std::string::npos ||
        (attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0))
        return false;
    // Every holder shares the file for reading and writing; the byte-range lock, not the share
    // mode, takes turns, so a holder never fails to open while another holds the lock.
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    // The path may name another object by now; the handle is asked what it really is.
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(file);
        return false;
    }
    const auto giveUp = std::chrono::steady_clock::now() + patience;
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (LockWholeRange(file))
            break;
        if (GetLastError() != ERROR_LOCK_VIOLATION || std::chrono::steady_clock::now() >= giveUp) {
            CloseHandle(file);
            return false;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, kLongestRetryPause);
    }
    m_handle = reinterpret_cast<std::intptr_t>(file);
    return true;
}

bool CLockedFile::Read(std::size_t limit, std::string &bytes) {
    bytes.clear();
    if (m_handle == -1)
        return false;
    char buffer[512];
    for (;;) {
        // The offset travels in the OVERLAPPED; on this synchronous handle the call still
        // returns only when the read is done.
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(bytes.size());
        DWORD count = 0;
        if (!ReadFile(HandleOf(m_handle), buffer, sizeof buffer, &count, &at))
            return GetLastError() == ERROR_HANDLE_EOF;
        if (count == 0)
            return true;
        if (static_cast<std::size_t>(count) > limit - bytes.size())
            return false;
        bytes.append(buffer, count);
    }
}

bool CLockedFile::Write(std::string_view bytes) {
    if (m_handle == -1 || bytes.size() > MAXDWORD)
        return false;
    const HANDLE file = HandleOf(m_handle);
    for (std::size_t done = 0; done < bytes.size();) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(done);
        DWORD count = 0;
        if (!WriteFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &count,
                       &at) ||
            count == 0)
            return false;
        done += count;
    }
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(bytes.size());
    return SetFilePointerEx(file, end, nullptr, FILE_BEGIN) != FALSE && SetEndOfFile(file) != FALSE;
}

void CLockedFile::Unlock() {
    if (m_handle == -1)
        return;
    const HANDLE file = HandleOf(m_handle);
    // Closing the handle releases its locks too, but only when the system gets to it; an
    // explicit unlock lets the next holder in at once.
    UnlockWholeRange(file);
    CloseHandle(file);
    m_handle = -1;
}

} // namespace Geo::Platform
