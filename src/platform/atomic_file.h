// Replacing a file's contents so that readers see either the old or the complete new file.
#ifndef VEXOGEO_PLATFORM_ATOMIC_FILE_H
#define VEXOGEO_PLATFORM_ATOMIC_FILE_H

#include <string>

namespace Geo::Platform {

/// Writes `bytes` to a new temporary file in the folder of `path`, flushes it to disk and only
/// then renames it over `path` (a symbolic link is followed, so the link itself stays). An
/// existing file keeps its permission bits and, where the caller may set them, its owner and
/// group. The file-size-limit signal is held back on the calling thread meanwhile, so a write
/// beyond the limit fails instead of ending the process.
/// @return false when the folder does not exist; when an existing `path` is not a regular file
/// (a folder, a device, a named pipe, a socket), its owner's write bit is clear or the caller
/// may not write it; or when creating, writing, flushing or renaming fails. The old file is then
/// unchanged and no temporary file remains.
bool WriteFileAtomically(const std::string &path, const std::string &bytes);

} // namespace Geo::Platform

#endif
