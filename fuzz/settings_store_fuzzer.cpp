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
    // The text is the bytes after a UTF-8 byte order mark up to the first NUL, without trailing
    // line feeds and carriage returns.
    std::string expected = input.substr(input.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0);
    expected = expected.substr(0, expected.find('\0'));
    expected.erase(expected.find_last_not_of("\r\n") + 1);
    Check(location.ValueExists("Language"), "value exists");
    Check(location.ReadString("Language", "\x01") == expected, "value text");

    // Only the one value's own name finds it; any other name reads as the default.
    const bool isLanguage = input == "Language";
    Check(location.ValueExists(input) == isLanguage, "value name lookup");
    Check(location.ReadString(input, "\x01") == (isLanguage ? expected : "\x01"), "default value");
    return 0;
}
