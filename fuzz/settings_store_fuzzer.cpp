// Fuzz target: a settings value of arbitrary bytes read back through RegistryLocation, and
// arbitrary value names looked up in a key holding exactly one value.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "module/registry_location.h"

#include "fuzz_support.h"

namespace {

namespace fs = std::filesystem;

using VexoGeoFuzz::Check;

// A per-user hive in a temporary folder, made on first use.
const fs::path &KeyFolder() {
    static const fs::path key = [] {
        const fs::path &root = VexoGeoFuzz::TemporaryFolder("settings-fuzz");
        setenv("XDG_CONFIG_HOME", root.c_str(), 1);
        const fs::path folder = root / "SOFTWARE" / "Vexo" / "Kalvo";
        fs::create_directories(folder);
        return folder;
    }();
    return key;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string input(reinterpret_cast<const char *>(data), size);
    const fs::path &key = KeyFolder();
    std::ofstream(key / "Language", std::ios::binary | std::ios::trunc) << input;

    const Geo::RegistryLocation location{Geo::Platform::SettingsHive::CurrentUser, "SOFTWARE\\",
                                         "Vexo\\Kalvo"};
    // The text is the bytes up to the first NUL, without one trailing line feed.
    std::string expected = input.substr(0, input.find('\0'));
    if (!expected.empty() && expected.back() == '\n') {
        expected.pop_back();
    }
    Check(location.ValueExists("Language"), "value exists");
    Check(location.ReadString("Language", "\x01") == expected, "value text");

    // Only the one value's own name finds it; any other name reads as the default.
    const bool isLanguage = input == "Language";
    Check(location.ValueExists(input) == isLanguage, "value name lookup");
    Check(location.ReadString(input, "\x01") == (isLanguage ? expected : "\x01"), "default value");
    return 0;
}
