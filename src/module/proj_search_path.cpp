// Derives the PROJ resource folder from the host executable's path.
#include "module/proj_search_path.h"

namespace Geo::Module {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Length of the root name: a drive letter and its colon ("C:"), or nothing.
std::size_t RootNameLength(const std::string &path) {
    const bool drive = path.size() >= 2 && path[1] == ':' &&
                       ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    return drive ? 2 : 0;
}

std::string ParentOf(const std::string &path) {
    const std::size_t last = path.find_last_of("\\/");
    if (last == std::string::npos)
        return path.substr(0, RootNameLength(path)); // "C:host.exe" keeps its drive
    std::size_t end = last;
    while (end > 0 && IsSeparator(path[end - 1]))
        --end;
    const std::size_t rootName = RootNameLength(path);
    // Nothing but the root left: keep the root name and the root separator ("C:\", "/").
    if (end <= rootName && rootName < path.size() && IsSeparator(path[rootName]))
        return path.substr(0, rootName + 1);
    return path.substr(0, end);
}

} // namespace

std::string DeriveProjSearchPath(const std::string &executable, char separator) {
    std::string path = ParentOf(executable);
    path += separator;
    path += "Resources";
    path += separator;
    path += "Proj";
    path += separator;
    return path;
}

} // namespace Geo::Module
