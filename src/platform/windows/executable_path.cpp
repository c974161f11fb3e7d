// The executable's path on Windows: the file name of the process's main module.
#include "platform/executable_path.h"

#include <windows.h>

namespace Geo::Platform {

const char kPathSeparator = '\\';

std::string GetExecutablePath() {
    // A zero-filled buffer of 1000 bytes: a longer path is cut at 999 bytes and still ends.
    char buffer[1000] = {};
    const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer - 1);
    if (length == 0)
        return std::string();
    return std::string(buffer, length < sizeof buffer - 1 ? length : sizeof buffer - 1);
}

} // namespace Geo::Platform
