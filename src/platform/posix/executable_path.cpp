// The executable's path on Linux, from /proc/self/exe.
#include "platform/executable_path.h"

#include <unistd.h>

namespace Geo::Platform {

const char kPathSeparator = '/';

std::string GetExecutablePath() {
    // A zero-filled buffer of 1000 bytes holds at most 999 bytes of path; a longer path is cut
    // there, as a bounded module-path query would cut it.
    char buffer[1000] = {};
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0)
        return std::string();
    return std::string(buffer, static_cast<std::size_t>(length));
}

} // namespace Geo::Platform
