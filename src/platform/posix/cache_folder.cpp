// The user's cache folder after the XDG base directory rules.
#include "platform/cache_folder.h"

#include <cstdlib>

namespace Geo::Platform {

std::string GetUserCacheFolder() {
    // Relative values are ignored, as the XDG rules ask.
    if (const char *cache = std::getenv("XDG_CACHE_HOME"); cache != nullptr && *cache == '/')
        return std::string(cache) + "/vexogeo/";
    if (const char *home = std::getenv("HOME"); home != nullptr && *home == '/')
        return std::string(home) + "/.cache/vexogeo/";
    return std::string();
}

} // namespace Geo::Platform
