// The PROJ resource folder of an installation: Resources/Proj beside the host executable.
#ifndef VEXOGEO_MODULE_PROJ_SEARCH_PATH_H
#define VEXOGEO_MODULE_PROJ_SEARCH_PATH_H

#include <string>

namespace Geo::Module {

/// The parent folder of `executable` followed by `separator`, "Resources", `separator`, "Proj",
/// `separator`. The parent is everything before the last '\\' or '/', with a run of separators
/// before the file name dropped and a root (a drive's "C:\\", a leading separator) kept; a path
/// without any separator has an empty parent.
std::string DeriveProjSearchPath(const std::string &executable, char separator);

} // namespace Geo::Module

#endif
