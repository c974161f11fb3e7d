// Where geocoding requests go and how often they may go there, read at run time from the
// environment and the settings store, so that a change needs no rebuild.
#ifndef VEXOGEO_GEOCODING_GEOCODING_SETTINGS_H
#define VEXOGEO_GEOCODING_GEOCODING_SETTINGS_H

#include <string>

namespace Geo {

/// The search URL ("…/search"): $VEXOGEO_NOMINATIM_URL, else the value "NominatimUrl" of the
/// settings store (per user before per machine, key SOFTWARE\Vexo\Kalvo), else the one built in.
/// Empty texts count as unset. Read afresh on every call.
std::string GetConfiguredSearchUrl();

/// The sibling of a search URL: its last path segment "search" (or "search.php") replaced by
/// `name`, keeping any query; a URL whose path ends otherwise gets "/`name`" appended to it.
std::string GetSiblingUrl(const std::string &searchUrl, const std::string &name);

/// Requests per second that the process may send: $VEXOGEO_NOMINATIM_REQUESTS_PER_SECOND, else
/// the value "NominatimRequestsPerSecond", else 1. Texts that are not a positive finite number
/// count as unset.
double GetConfiguredRequestsPerSecond();

/// How long an answer is reused (seconds): $VEXOGEO_NOMINATIM_CACHE_SECONDS, else the value
/// "NominatimCacheSeconds", else 86400. 0 switches the cache off; negative or unreadable texts
/// count as unset.
double GetConfiguredCacheSeconds();

/// One value of the geocoding settings: the environment variable `environmentName` if set and
/// non-empty, else the per-user value `settingName`, else the per-machine one.
/// @return the empty text when none of them is set.
std::string ReadGeocodingSetting(const char *environmentName, const char *settingName);

/// Reads a whole decimal number such as "1.5" or "2e3", surrounding blanks allowed, independent
/// of the locale. @return false for any other text.
bool ParseDecimal(const std::string &text, double &value);

} // namespace Geo

#endif
