// Locked record files on POSIX: flock, whose lock belongs to the open file and ends with it.
#include "platform/locked_file.h"

#include "platform/posix/descriptor.h"
#include "platform/posix/write_signal_block.h"

#include <algorithm>
#include <cerrno>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Geo::Platform {
namespace {

// Longest pause between two attempts at a lock that another holder keeps.
constexpr std::chrono::milliseconds kLongestRetryPause{5};

} // namespace

CLockedFile::~CLockedFile() { Unlock(); }

bool CLockedFile::Lock(const std::string &path, std::chrono::milliseconds patience) {
    Unlock();
    // Something other than a regular file in its place is not even opened: opening a device
    // may act on it.
    struct stat status {};
    if (stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode))
        return false;
    // O_NONBLOCK: a named pipe put there meanwhile must not hold the open.
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        return false;
    }
    // flock, not fcntl: fcntl's locks belong to the process, so two threads of one process
    // would not exclude each other, and closing any descriptor of the file would drop them.
    const auto giveUp = std::chrono::steady_clock::now() + patience;
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0)
            break;
        if ((errno != EWOULDBLOCK && errno != EINTR) ||
            std::chrono::steady_clock::now() >= giveUp) {
            close(fd);
            return false;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, kLongestRetryPause);
    }
    m_handle = fd;
    return true;
}

bool CLockedFile::Read(std::size_t limit, std::string &bytes) {
    bytes.clear();
    if (m_handle < 0)
        return false;
    return ReadWholeDescriptor(static_cast<int>(m_handle), limit, bytes);
}

bool CLockedFile::Write(std::string_view bytes) {
    if (m_handle < 0)
        return false;
    const int fd = static_cast<int>(m_handle);
    // A file-size limit below the record fails the write instead of ending the process.
    const CWriteSignalBlock signalBlock;
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t count =
            pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(count);
    }
    return ftruncate(fd, static_cast<off_t>(bytes.size())) == 0;
}

void CLockedFile::Unlock() {
    if (m_handle < 0)
        return;
    // Closing the only descriptor of the open file releases its lock.
    close(static_cast<int>(m_handle));
    m_handle = -1;
}

} // namespace Geo::Platform
