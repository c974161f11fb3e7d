// The user's cache folder in the local (not roaming) application data of the user's profile.
#include "platform/cache_folder.h"

#include <cstdlib>

namespace Geo::Platform {

std::string GetUserCacheFolder() {
    const char *local = std::getenv("LOCALAPPDATA");
    if (local == nullptr)
        return std::string();
    const std::string folder(local);
    // Only an absolute path: a drive ("C:\...") or a share ("\\server\...").
    const bool drive = folder.size() >= 3 && folder[1] == ':' &&
                       (folder[2] == '\\' || folder[2] == '/');
    const bool share = folder.size() >= 3 && folder[0] == '\\' && folder[1] == '\\';
    if (!drive && !share)
        return std::string();
    const char last = folder.back();
    return folder + (last == '\\' || last == '/' ? "" : "\\") + "VexoGeo\\cache\\";
}

} // namespace Geo::Platform
