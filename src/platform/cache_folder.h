// Where the library keeps what it caches for the user (the geocoding answers).
#ifndef VEXOGEO_PLATFORM_CACHE_FOLDER_H
#define VEXOGEO_PLATFORM_CACHE_FOLDER_H

#include <string>

namespace Geo::Platform {

/// The user's cache folder of the library, ending in the path separator; it need not exist yet.
/// POSIX: `$XDG_CACHE_HOME/vexogeo/`, else `$HOME/.cache/vexogeo/` (absolute paths only).
/// Windows: `%LOCALAPPDATA%\VexoGeo\cache\`.
/// @return the empty string when the environment names no such folder: nothing is cached on disk.
std::string GetUserCacheFolder();

} // namespace Geo::Platform

#endif
