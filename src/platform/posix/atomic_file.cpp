// Atomic file replacement on POSIX: temporary file, fsync, rename, fsync of the folder.
#include "platform/atomic_file.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <random>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Geo::Platform {

namespace {

// Closes the descriptor and removes the temporary file unless the rename has taken it over.
class CTemporaryFile {
  public:
    CTemporaryFile() = default;
    CTemporaryFile(const CTemporaryFile &) = delete;
    CTemporaryFile &operator=(const CTemporaryFile &) = delete;
    ~CTemporaryFile() {
        if (m_fd >= 0)
            close(m_fd);
        if (!m_path.empty())
            unlink(m_path.c_str());
    }

    // Creates a new file with a random name in `folder`; an existing name is never reused.
    bool Create(const std::string &folder) {
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            char name[32];
            std::snprintf(name, sizeof name, ".vexogeo-%08x.tmp", static_cast<unsigned>(random()));
            const std::string path = folder + name;
            // 0666 lets the umask decide, as for any newly created file.
            const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                m_fd = fd;
                m_path = path;
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }

    bool Write(const std::string &bytes) {
        const char *data = bytes.data();
        std::size_t left = bytes.size();
        while (left > 0) {
            const ssize_t written = write(m_fd, data, left);
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            data += written;
            left -= static_cast<std::size_t>(written);
        }
        return true;
    }

    // fsync before close: a rename may reach the disk before the data otherwise.
    bool SyncAndClose() {
        const bool synced = fsync(m_fd) == 0;
        const bool closed = close(m_fd) == 0;
        m_fd = -1;
        return synced && closed;
    }

    bool RenameTo(const std::string &target) {
        if (rename(m_path.c_str(), target.c_str()) != 0)
            return false;
        m_path.clear();
        return true;
    }

    int GetDescriptor() const { return m_fd; }

  private:
    int m_fd = -1;
    std::string m_path;
};

// Holds back the file-size-limit signal on the calling thread while a save writes. The kernel
// raises SIGXFSZ for the thread whose write crosses the limit, and its default action ends the
// process before the temporary file can be removed; blocked, the write fails with EFBIG instead.
// Only this thread's mask changes, so other threads of the host keep their own disposition. A
// signal the write raised is taken back before the old mask returns; one that was pending
// before the save belongs to the host and stays pending.
class CFileSizeSignalBlock {
  public:
    CFileSizeSignalBlock() {
        sigemptyset(&m_signal);
        sigaddset(&m_signal, SIGXFSZ);
        m_blocked = pthread_sigmask(SIG_BLOCK, &m_signal, &m_previous) == 0;
        m_wasPending = IsPending();
    }
    ~CFileSizeSignalBlock() {
        if (!m_blocked)
            return;
        if (!m_wasPending && IsPending()) {
            const timespec now{0, 0};
            while (sigtimedwait(&m_signal, nullptr, &now) < 0 && errno == EINTR) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
    CFileSizeSignalBlock(const CFileSizeSignalBlock &) = delete;
    CFileSizeSignalBlock &operator=(const CFileSizeSignalBlock &) = delete;

  private:
    static bool IsPending() {
        sigset_t pending;
        return sigpending(&pending) == 0 && sigismember(&pending, SIGXFSZ) == 1;
    }

    sigset_t m_signal{};
    sigset_t m_previous{};
    bool m_blocked = false;
    bool m_wasPending = false;
};

// Whether a save may replace the existing file `status` describes. Only a regular file is
// replaced: renaming over a device, a named pipe or a socket would put a regular file in its
// place. A file whose owner may not write it was made read-only on purpose; root could rename
// over it all the same, so the owner's write bit is asked, not the access check alone.
bool MayReplace(const std::string &target, const struct stat &status) {
    return S_ISREG(status.st_mode) && (status.st_mode & S_IWUSR) != 0 &&
           faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0;
}

// Whether `target` names nothing, or a file a save may replace, at this moment.
bool MayReplaceNow(const std::string &target) {
    struct stat now;
    if (stat(target.c_str(), &now) != 0)
        return errno == ENOENT;
    return MayReplace(target, now);
}

// The file a save really replaces: the target of a symbolic link, else the path itself.
std::string ResolveTarget(const std::string &path) {
    struct stat status;
    if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
        return path;
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr),
                                                         &std::free);
    return resolved ? std::string(resolved.get()) : path;
}

// The folder part of `path` with its trailing slash; "" (the working folder) when it has none.
std::string FolderOf(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

} // namespace

bool WriteFileAtomically(const std::string &path, const std::string &bytes) {
    if (path.empty() || path.back() == '/')
        return false;
    try {
        const std::string target = ResolveTarget(path);
        struct stat old;
        const bool exists = stat(target.c_str(), &old) == 0;
        if (!exists && errno != ENOENT)
            return false;
        if (exists && !MayReplace(target, old))
            return false;

        const std::string folder = FolderOf(target);
        const CFileSizeSignalBlock signalBlock;
        CTemporaryFile temporary;
        if (!temporary.Create(folder))
            return false;
        if (exists) {
            // The owner is kept where the caller may set it (root may; others only their own
            // groups), then the permission bits, which a change of owner may have cleared.
            const int fd = temporary.GetDescriptor();
            if (fchown(fd, old.st_uid, old.st_gid) != 0 &&
                fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
                // The new file stays the caller's: it may not give it away.
            }
            if (fchmod(fd, old.st_mode & 07777) != 0)
                return false;
        }
        if (!temporary.Write(bytes) || !temporary.SyncAndClose())
            return false;
        // Checked again just before the rename: something else may have taken the path while
        // the file was written. What remains is the short moment between check and rename.
        if (!MayReplaceNow(target))
            return false;
        if (!temporary.RenameTo(target))
            return false;

        // Makes the rename itself durable. The new file is already in place, so a folder that
        // cannot be synced does not turn the save into a failure.
        const int folderFd =
            open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folderFd >= 0) {
            fsync(folderFd);
            close(folderFd);
        }
        return true;
    } catch (...) {
        // std::random_device and the string operations may throw; a save only answers false.
        return false;
    }
}

} // namespace Geo::Platform
