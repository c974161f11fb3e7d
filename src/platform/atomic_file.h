// Replacing a file's contents so that readers see either the old or the complete new file.
#ifndef VEXOGEO_PLATFORM_ATOMIC_FILE_H
#define VEXOGEO_PLATFORM_ATOMIC_FILE_H

#include <string>

namespace Geo::Platform {

/// Writes `bytes` to a new temporary file in the folder of `path`, flushes it to disk and only
/// then renames it over `path` (a symbolic link is followed, so the link itself stays). An
/// existing file keeps its permission bits.
/// @return false when the folder does not exist, `path` names a folder, or creating, writing,
/// flushing or renaming fails; the old file is then unchanged and no temporary file remains.
bool WriteFileAtomically(const std::string &path, const std::string &bytes);

} // namespace Geo::Platform

#endif
