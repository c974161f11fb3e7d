// Run-time geocoding settings: environment first, then the settings store, then built-in values.
#include "geocoding/geocoding_settings.h"

#include "module/registry_location.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace Geo {
namespace {

const char *const kKeyBase = "SOFTWARE\\";
const char *const kKeySub = "Vexo\\Kalvo";
constexpr double kDefaultRequestsPerSecond = 1.0;
constexpr double kDefaultCacheSeconds = 24.0 * 60.0 * 60.0;

} // namespace

std::string ReadGeocodingSetting(const char *environmentName, const char *settingName) {
    if (const char *fromEnvironment = std::getenv(environmentName);
        fromEnvironment != nullptr && *fromEnvironment != '\0') {
        return fromEnvironment;
    }
    // The per-user value wins whenever it exists, as for the installation language.
    const RegistryLocation user{Platform::SettingsHive::CurrentUser, kKeyBase, kKeySub};
    if (user.ValueExists(settingName)) {
        return user.ReadString(settingName, "");
    }
    const RegistryLocation machine{Platform::SettingsHive::LocalMachine, kKeyBase, kKeySub};
    return machine.ReadString(settingName, "");
}

bool ParseDecimal(const std::string &text, double &value) {
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && isBlank(text[first]))
        ++first;
    while (last > first && isBlank(text[last - 1]))
        --last;
    if (first == last)
        return false;
    const char *begin = text.data() + first;
    const char *end = text.data() + last;
    const auto result = std::from_chars(begin, end, value, std::chars_format::general);
    return result.ec == std::errc() && result.ptr == end;
}

std::string GetConfiguredSearchUrl() {
    std::string url = ReadGeocodingSetting("VEXOGEO_NOMINATIM_URL", "NominatimUrl");
    return url.empty() ? std::string(VEXOGEO_NOMINATIM_URL) : url;
}

std::string GetSiblingUrl(const std::string &searchUrl, const std::string &name) {
    const std::size_t queryStart = searchUrl.find_first_of("?#");
    const std::string path = searchUrl.substr(0, queryStart);
    const std::string rest = queryStart == std::string::npos ? "" : searchUrl.substr(queryStart);
    for (const char *segment : {"/search", "/search.php"}) {
        const std::string tail = segment;
        if (path.size() >= tail.size() &&
            path.compare(path.size() - tail.size(), tail.size(), tail) == 0) {
            return path.substr(0, path.size() - tail.size() + 1) + name + rest;
        }
    }
    const bool slash = !path.empty() && path.back() == '/';
    return path + (slash ? "" : "/") + name + rest;
}

double GetConfiguredRequestsPerSecond() {
    double rate = 0;
    if (ParseDecimal(ReadGeocodingSetting("VEXOGEO_NOMINATIM_REQUESTS_PER_SECOND",
                                          "NominatimRequestsPerSecond"),
                     rate) &&
        std::isfinite(rate) && rate > 0) {
        return rate;
    }
    return kDefaultRequestsPerSecond;
}

double GetConfiguredCacheSeconds() {
    double seconds = 0;
    if (ParseDecimal(
            ReadGeocodingSetting("VEXOGEO_NOMINATIM_CACHE_SECONDS", "NominatimCacheSeconds"),
            seconds) &&
        std::isfinite(seconds) && seconds >= 0) {
        return seconds;
    }
    return kDefaultCacheSeconds;
}

} // namespace Geo
