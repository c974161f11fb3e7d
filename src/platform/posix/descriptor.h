// Owner of one POSIX file descriptor, shared by the platform's file code.
#ifndef VEXOGEO_PLATFORM_POSIX_DESCRIPTOR_H
#define VEXOGEO_PLATFORM_POSIX_DESCRIPTOR_H

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

} // namespace Geo::Platform

#endif
