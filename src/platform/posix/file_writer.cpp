// Writing files on POSIX: a new file (O_EXCL) beside the target, fsync, rename, fsync of the
// folder; output streams opened as they are.
#include "platform/file_writer.h"

#include "platform/posix/write_signal_block.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Geo::Platform {

namespace {

constexpr int kMaxLinks = 40; // as the kernel's own limit on a chain of symbolic links

// Why the existing file `status` describes may not be replaced; null when it may. Renaming over
// a device, a named pipe or a socket would put a regular file in its place. A file whose owner
// may not write it was made read-only on purpose; root could rename over it all the same, so the
// owner's write bit is asked, not the access check alone.
const char *RefusalOf(const std::string &target, const struct stat &status) {
    if (!S_ISREG(status.st_mode))
        return "not a regular file";
    if ((status.st_mode & S_IWUSR) == 0)
        return "read-only";
    if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        return std::strerror(errno);
    return nullptr;
}

// The folder part of `path` with its trailing slash; "" (the working folder) when it has none.
std::string FolderOf(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The file a write really replaces: the end of the chain of symbolic links `path` starts, else
// `path` itself. Followed link by link rather than by realpath, so that a link to a file not
// there yet names where the file will be. @return false (errno set) for an unreadable link or a
// chain too long.
bool ResolveTarget(const std::string &path, std::string &target) {
    target = path;
    for (int link = 0; link < kMaxLinks; ++link) {
        struct stat status;
        if (lstat(target.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
            return true;
        char text[PATH_MAX];
        const ssize_t length = readlink(target.c_str(), text, sizeof text);
        if (length < 0)
            return false;
        if (static_cast<std::size_t>(length) >= sizeof text) {
            errno = ENAMETOOLONG;
            return false;
        }
        const std::string next(text, static_cast<std::size_t>(length));
        target = next[0] == '/' ? next : FolderOf(target) + next;
    }
    errno = ELOOP;
    return false;
}

// Whether `status` is the file of descriptor `fd`.
bool IsFileOf(const struct stat &status, int fd) {
    struct stat open;
    return fstat(fd, &open) == 0 && open.st_dev == status.st_dev && open.st_ino == status.st_ino;
}

// The descriptor a stream named by `status` is written through without opening it again: the
// standard output or error when `status` is their file (its offset and append mode are kept),
// else -1.
int StandardDescriptorOf(const struct stat &status) {
    for (const int fd : {STDOUT_FILENO, STDERR_FILENO})
        if (IsFileOf(status, fd))
            return fd;
    return -1;
}

bool IsStreamType(mode_t mode) { return S_ISCHR(mode) || S_ISFIFO(mode); }

} // namespace

bool CFileWriter::FailWithSystemError() { return Fail(std::strerror(errno)); }

void CFileWriter::Abandon() {
    if (m_handle >= 0 && m_ownsHandle)
        close(static_cast<int>(m_handle));
    m_handle = -1;
    m_ownsHandle = true;
    if (!m_temporary.empty())
        unlink(m_temporary.c_str());
    m_temporary.clear();
    m_target.clear();
}

bool CFileWriter::Open(const std::string &path) {
    Abandon();
    m_failed = false;
    m_error.clear();
    if (path.empty() || path.back() == '/')
        return Fail("not a file name");
    try {
        std::string target;
        if (!ResolveTarget(path, target))
            return FailWithSystemError();
        struct stat old;
        const bool exists = stat(target.c_str(), &old) == 0;
        if (!exists && errno != ENOENT)
            return FailWithSystemError();
        if (exists) {
            if (const char *refusal = RefusalOf(target, old))
                return Fail(refusal);
        }
        // A random name in the target's folder, so that the rename stays on one file system;
        // an existing name is never reused. 0666 lets the umask decide, as for any new file.
        const std::string folder = FolderOf(target);
        std::random_device random;
        int fd = -1;
        for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
            char name[32];
            std::snprintf(name, sizeof name, ".vexogeo-%08x.tmp", static_cast<unsigned>(random()));
            m_temporary = folder + name;
            fd = open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0) {
                const int error = errno;
                m_temporary.clear();
                if (error != EEXIST) {
                    errno = error;
                    return FailWithSystemError();
                }
            }
        }
        if (fd < 0)
            return Fail("no unused temporary file name");
        m_handle = fd;
        m_target = target;
        if (exists) {
            // The owner is kept where the caller may set it (root may; others only their own
            // groups), then the permission bits, which a change of owner may have cleared.
            if (fchown(fd, old.st_uid, old.st_gid) != 0 &&
                fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
                // The new file stays the caller's: it may not give it away.
            }
            if (fchmod(fd, old.st_mode & 07777) != 0)
                return FailWithSystemError();
        }
        return true;
    } catch (...) {
        // std::random_device and the string operations may throw.
        return Fail("out of memory");
    }
}

bool IsOutputStream(const std::string &path) {
    struct stat status;
    return !path.empty() && stat(path.c_str(), &status) == 0 &&
           (IsStreamType(status.st_mode) || StandardDescriptorOf(status) >= 0);
}

bool CFileWriter::OpenStream(const std::string &path) {
    Abandon();
    m_failed = false;
    m_error.clear();
    struct stat status;
    if (path.empty() || stat(path.c_str(), &status) != 0)
        return path.empty() ? Fail("not a file name") : FailWithSystemError();
    const int standard = StandardDescriptorOf(status);
    if (standard < 0 && !IsStreamType(status.st_mode))
        return Fail("not a character device or named pipe");
    std::fflush(nullptr); // what the C library holds for standard output goes first
    // A named pipe is opened as any writer opens one: waiting for its reader.
    const int fd = standard >= 0 ? fcntl(standard, F_DUPFD_CLOEXEC, 0)
                                 : open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return FailWithSystemError();
    m_handle = fd;
    // Decided on the stream actually opened: something else may have taken the path meanwhile.
    struct stat opened;
    if (standard < 0 && (fstat(fd, &opened) != 0 || !IsStreamType(opened.st_mode)))
        return Fail("not a character device or named pipe");
    return true;
}

bool CFileWriter::OpenStandardOutput() {
    Abandon();
    m_failed = false;
    m_error.clear();
    std::fflush(stdout);
    const int fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        return FailWithSystemError();
    m_handle = fd;
    return true;
}

bool CFileWriter::Write(const char *data, std::size_t size) {
    if (m_failed)
        return false;
    if (m_handle < 0)
        return Fail("nothing open");
    const CWriteSignalBlock signalBlock;
    while (size > 0) {
        const ssize_t written = write(static_cast<int>(m_handle), data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? FailWithSystemError() : Fail("nothing written");
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool CFileWriter::Commit() {
    if (m_failed)
        return false;
    if (m_handle < 0)
        return Fail("nothing open");
    const int fd = static_cast<int>(m_handle);
    if (m_target.empty()) {
        // A stream: what was written is gone already; closing only lets it go.
        m_handle = -1;
        if (close(fd) != 0 && errno != EINTR)
            return FailWithSystemError();
        return true;
    }
    // fsync before the rename: the rename may reach the disk before the data otherwise.
    if (fsync(fd) != 0)
        return FailWithSystemError();
    m_handle = -1;
    if (close(fd) != 0)
        return FailWithSystemError();
    // Checked again just before the rename: something else may have taken the path while the
    // file was written. What remains is the short moment between check and rename.
    struct stat now;
    if (stat(m_target.c_str(), &now) == 0) {
        if (const char *refusal = RefusalOf(m_target, now))
            return Fail(refusal);
    } else if (errno != ENOENT) {
        return FailWithSystemError();
    }
    if (rename(m_temporary.c_str(), m_target.c_str()) != 0)
        return FailWithSystemError();
    m_temporary.clear();
    // Makes the rename itself durable. The new file is already in place, so a folder that
    // cannot be synced does not turn the write into a failure.
    const std::string folder = FolderOf(m_target);
    const int folderFd =
        open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        fsync(folderFd);
        close(folderFd);
    }
    m_target.clear();
    return true;
}

} // namespace Geo::Platform
