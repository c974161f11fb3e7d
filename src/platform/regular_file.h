// Reading a whole file only when it is a regular file, decided on the file actually opened.
#ifndef VEXOGEO_PLATFORM_REGULAR_FILE_H
#define VEXOGEO_PLATFORM_REGULAR_FILE_H

#include <cstddef>
#include <string>

namespace Geo::Platform {

/// Appends the whole content of the regular file at `path` to `bytes`. A path that names
/// anything else is not opened; whether the file opened is still a regular one is then asked of
/// the file itself, and opening never waits, so that a named pipe or a device put in its place
/// meanwhile is refused at once.
/// @return false when the path cannot be opened, names anything but a regular file, a read
/// fails, or `bytes` would exceed `limit` bytes; `bytes` may then hold part of the content.
bool ReadRegularFile(const std::string &path, std::size_t limit, std::string &bytes);

} // namespace Geo::Platform

#endif
