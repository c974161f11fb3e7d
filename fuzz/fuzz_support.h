// Helpers shared by the fuzz targets: a property check that stops the run, and a temporary
// folder made on first use and removed at exit.
#ifndef VEXOGEO_FUZZ_FUZZ_SUPPORT_H
#define VEXOGEO_FUZZ_FUZZ_SUPPORT_H

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace VexoGeoFuzz {

/// Aborts with `what` on standard error when a property of the system does not hold.
inline void Check(bool condition, const char *what) {
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

/// A folder of this process's own below /tmp, named after `purpose`, removed at exit.
inline const std::filesystem::path &TemporaryFolder(const char *purpose) {
    static std::filesystem::path folder;
    if (folder.empty()) {
        std::string pattern = std::string("/tmp/vexogeo-") + purpose + "-XXXXXX";
        Check(mkdtemp(pattern.data()) != nullptr, "temporary folder");
        folder = pattern;
        std::atexit([] { std::filesystem::remove_all(folder); });
    }
    return folder;
}

} // namespace VexoGeoFuzz

#endif
