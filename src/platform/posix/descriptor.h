// Owner of one POSIX file descriptor, shared by the platform's file code.
#ifndef VEXOGEO_PLATFORM_POSIX_DESCRIPTOR_H
#define VEXOGEO_PLATFORM_POSIX_DESCRIPTOR_H

#include <cerrno>
#include <cstddef>
#include <string>

#include <unistd.h>

namespace Geo::Platform {

/// Closes its descriptor when it goes out of scope; a negative one (a failed open) is held
/// and never closed.
class CDescriptor {
  public:
    explicit CDescriptor(int fd) : m_fd(fd) {}
    CDescriptor(const CDescriptor &) = delete;
    CDescriptor &operator=(const CDescriptor &) = delete;
    ~CDescriptor() {
        if (m_fd >= 0)
            close(m_fd);
    }
    /// @return the descriptor, still owned; negative when the open failed.
    int Get() const { return m_fd; }

  private:
    int m_fd;
};

/// Appends what `fd` holds from offset 0 to its end to `bytes`, reading with pread so that the
/// descriptor's own offset is neither used nor moved.
/// @return false when a read fails or `bytes` would exceed `limit` bytes; `bytes` may then hold
/// part of the content.
inline bool ReadWholeDescriptor(int fd, std::size_t limit, std::string &bytes) {
    char buffer[65536];
    for (off_t offset = 0;;) {
        const ssize_t count = pread(fd, buffer, sizeof buffer, offset);
        if (count == 0)
            return true;
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (bytes.size() > limit || static_cast<std::size_t>(count) > limit - bytes.size())
            return false;
        bytes.append(buffer, static_cast<std::size_t>(count));
        offset += count;
    }
}

} // namespace Geo::Platform

#endif
