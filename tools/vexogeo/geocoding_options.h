// The command-line options that `vexogeo geocode` and `vexogeo reverse` share.
#ifndef VEXOGEO_TOOLS_VEXOGEO_GEOCODING_OPTIONS_H
#define VEXOGEO_TOOLS_VEXOGEO_GEOCODING_OPTIONS_H

#include "geocode_format.h"

#include <vexogeo/geocoding/geocoder.h>

#include <string>

namespace CLI {
class App;
}

namespace VexoGeoCli {

struct SharedGeocodingOptions {
    double m_timeout = 30;
    std::string m_endpoint;
    std::string m_language;
    std::string m_email;
    std::string m_format = "text";
    bool m_noCache = false;
};

/// Adds --timeout, --endpoint, --language, --email, --no-cache and --format to `app`.
void AddSharedGeocodingOptions(CLI::App &app, SharedGeocodingOptions &options);

/// Checks the shared options and fills `geocoder` and `format`.
/// @return false with `error` set for a usage error.
bool ReadSharedGeocodingOptions(const SharedGeocodingOptions &options,
                                Geo::GeocoderOptions &geocoder, GeocodeFormat &format,
                                std::string &error);

} // namespace VexoGeoCli

#endif
