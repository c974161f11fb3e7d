// Whole-file reads on POSIX: a non-blocking open, then fstat of the descriptor.
#include "platform/regular_file.h"

#include "platform/posix/descriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Geo::Platform {

bool ReadRegularFile(const std::string &path, std::size_t limit, std::string &bytes) {
    // A path that names something else is not even opened: opening a device may act on it.
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    // The path may name another file by now. O_NONBLOCK: opening a named pipe without a writer
    // would wait for one; on a regular file it changes nothing.
    const CDescriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.Get() < 0 || fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    return ReadWholeDescriptor(file.Get(), limit, bytes);
}

} // namespace Geo::Platform
