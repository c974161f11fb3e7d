// Atomic file replacement on POSIX: temporary file, fsync, rename, fsync of the folder.
#include "platform/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>

#include <fcntl.h>
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
        if (exists && S_ISDIR(old.st_mode))
            return false;

        const std::string folder = FolderOf(target);
        CTemporaryFile temporary;
        if (!temporary.Create(folder))
            return false;
        if (exists && fchmod(temporary.GetDescriptor(), old.st_mode & 07777) != 0)
            return false;
        if (!temporary.Write(bytes) || !temporary.SyncAndClose() || !temporary.RenameTo(target))
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
