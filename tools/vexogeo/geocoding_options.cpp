// Options and diagnostics shared by the geocoding commands.
#include "geocoding_options.h"

#include "common.h"

#include <CLI/CLI.hpp>

#include <algorithm>

namespace VexoGeoCli {

void AddSharedGeocodingOptions(CLI::App &app, SharedGeocodingOptions &options) {
    AddTimeoutOption(app, options.m_timeout,
                     "Seconds to wait for the answer, the wait for the request's turn included "
                     "(default 30, at most 86400)");
    app.add_option("--endpoint", options.m_endpoint,
                   "The service's search URL (…/search); default $VEXOGEO_NOMINATIM_URL, the "
                   "setting NominatimUrl or the built-in one");
    app.add_option("--language", options.m_language, "Language of the names, e.g. en or de,en");
    app.add_option("--email", options.m_email, "Contact address sent to the service's operators");
    app.add_flag("--no-cache", options.m_noCache, "Ask the service even for a repeated request");
    app.add_option("--format", options.m_format, "text (default), json or geojson");
}

bool ReadSharedGeocodingOptions(const SharedGeocodingOptions &options,
                                Geo::GeocoderOptions &geocoder, GeocodeFormat &format,
                                std::string &error) {
    if (!ParseGeocodeFormat(options.m_format, format)) {
        error = "--format: expected text, json or geojson, not " + QuoteText(options.m_format);
        return false;
    }
    std::chrono::milliseconds milliseconds{0};
    if (!ReadTimeout(options.m_timeout, milliseconds, error))
        return false;
    geocoder.m_totalTimeout = milliseconds;
    geocoder.m_connectTimeout = std::min(geocoder.m_connectTimeout, milliseconds);
    geocoder.m_endpoint = options.m_endpoint;
    geocoder.m_language = options.m_language;
    geocoder.m_email = options.m_email;
    geocoder.m_useCache = !options.m_noCache;
    return true;
}

} // namespace VexoGeoCli
