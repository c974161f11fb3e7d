// Where the host program's executable lies, and how the platform separates path components.
#ifndef VEXOGEO_PLATFORM_EXECUTABLE_PATH_H
#define VEXOGEO_PLATFORM_EXECUTABLE_PATH_H

#include <string>

namespace Geo::Platform {

/// The separator the platform writes between path components.
extern const char kPathSeparator;

/// The full path of the executable of the current process (not of the library), at most 999
/// bytes. @return the empty string when the path cannot be obtained.
std::string GetExecutablePath();

} // namespace Geo::Platform

#endif
