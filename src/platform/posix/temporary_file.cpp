// Temporary files on POSIX: mkstemp in the target's folder, fsync, then rename over the target.
#include "platform/temporary_file.h"

#include <cerrno>
#include <cstdio>

#include <stdlib.h>
#include <unistd.h>

namespace Geo::Platform {

CTemporaryFile::~CTemporaryFile() {
    if (m_handle >= 0)
        ::close(static_cast<int>(m_handle));
    if (!m_path.empty() && !m_committed)
        ::unlink(m_path.c_str());
}

bool CTemporaryFile::Create(const std::string &target) {
    if (m_handle >= 0 || !m_path.empty())
        return false;
    std::string path = target + ".XXXXXX";
    const int fd = ::mkstemp(&path[0]);
    if (fd < 0)
        return false;
    m_path = std::move(path);
    m_handle = fd;
    return true;
}

bool CTemporaryFile::Write(const char *data, std::size_t size) {
    if (m_handle < 0)
        return false;
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(static_cast<int>(m_handle), data + written, size - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

bool CTemporaryFile::Commit(const std::string &target) {
    if (m_handle < 0)
        return false;
    const int fd = static_cast<int>(m_handle);
    m_handle = -1;
    const bool synced = ::fsync(fd) == 0;
    if (::close(fd) != 0 || !synced || std::rename(m_path.c_str(), target.c_str()) != 0)
        return false;
    m_committed = true;
    return true;
}

} // namespace Geo::Platform
