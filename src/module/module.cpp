// Module start-up and shut-down: point PROJ's default context at the installation's resources.
#include "module/module_hooks.h"
#include "module/proj_search_path.h"
#include "crs/proj_log_sink.h"
#include "platform/executable_path.h"

#include <proj.h>

namespace Geo::Module {

void OnLoad() {
    // The library writes no log: what PROJ would print on standard error is kept for the host
    // (CProjMessages), which shows it when a call failed.
    RouteProjLog(nullptr);
    // Every code lookup (EPSG, ESRI, ...) of the library depends on this path; a host without
    // Resources/Proj beside it gets no lookups, and no other folder is tried.
    UseProjSearchPath(
        DeriveProjSearchPath(Platform::GetExecutablePath(), Platform::kPathSeparator));
}

void UseProjSearchPath(const std::string &folder) {
    const char *paths[] = {folder.c_str()};
    proj_context_set_search_paths(nullptr, 1, paths);
}

void OnUnload() { proj_context_set_search_paths(nullptr, 0, nullptr); }

} // namespace Geo::Module
