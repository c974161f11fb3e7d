// Options and diagnostics shared by the geocoding commands.
#include "geocoding_options.h"

#include "common.h"

#include <CLI/CLI.hpp>

#include <algorithm>

namespace VexoGeoCli {

void AddSharedGeocodingOptions(CLI::App &app, SharedGeocodingOptions &options) {
    AddTimeoutOption(app, options.m_timeout);
    app.add_option("--endpoint", options.m_endpoint,
                   "The service's search URL (…/search); default $VEXOGEO_NOMINATIM_URL, the "
                   "setting NominatimUrl or the built-in one");
    app.add_option("--language", options.m_language, "Language of the names, e.g. en or de,en");
    app.add_option("--email", options.m_email, "Contact address sent to the service's operators");
    app.add_flag("--no-cache", options.m_noCache, "Ask the service even for a repeated request");
    AddFormatOption(app, options.m_format, {"text", "json", "geojson"});
}

void ReadSharedGeocodingOptions(const SharedGeocodingOptions &options,
                                Geo::GeocoderOptions &geocoder, GeocodeFormat &format) {
    // The parser let only the three names through.
    if (!ParseGeocodeFormat(options.m_format, format))
        ThrowUsage("--format: expected text, json or geojson, not " + QuoteText(options.m_format));
    const std::chrono::milliseconds milliseconds = TimeoutMilliseconds(options.m_timeout);
    geocoder.m_totalTimeout = milliseconds;
    geocoder.m_connectTimeout = std::min(geocoder.m_connectTimeout, milliseconds);
    geocoder.m_endpoint = options.m_endpoint;
    geocoder.m_language = options.m_language;
    geocoder.m_email = options.m_email;
    geocoder.m_useCache = !options.m_noCache;
}

} // namespace VexoGeoCli
