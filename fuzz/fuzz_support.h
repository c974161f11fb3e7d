// Helpers shared by the fuzz targets: a property check that stops the run, and a temporary
// folder made on first use and removed at exit.
#ifndef VEXOGEO_FUZZ_FUZZ_SUPPORT_H
#define VEXOGEO_FUZZ_FUZZ_SUPPORT_H

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

namespace VexoGeoFuzz {

/// Aborts with `what` on standard error when a property of the system does not hold.
inline void Check(bool condition, const char *what) {
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

/// A new folder of this process's own in the system's temporary folder, named after `purpose`,
/// removed at exit.
inline const std::filesystem::path &TemporaryFolder(const char *purpose) {
    static std::filesystem::path folder;
    if (folder.empty()) {
        std::random_device random;
        std::error_code error;
        for (int attempt = 0; attempt < 100 && folder.empty(); ++attempt) {
            const auto candidate = std::filesystem::temp_directory_path(error) /
                                   ("vexogeo-" + std::string(purpose) + "-" +
                                    std::to_string(random()));
            if (!error && std::filesystem::create_directory(candidate, error))
                folder = candidate;
        }
        Check(!folder.empty(), "temporary folder");
        std::atexit([] { std::filesystem::remove_all(folder); });
    }
    return folder;
}

} // namespace VexoGeoFuzz

#endif
