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
    std::string m_format;
    bool m_noCache = false;
};

/// Adds --timeout, --endpoint, --language, --email, --no-cache and --format to `app`.
void AddSharedGeocodingOptions(CLI::App &app, SharedGeocodingOptions &options);

/// Fills `geocoder` and `format` from the shared options, which the parser has checked; the
/// geocoder's constructor refuses what the service cannot take.
void ReadSharedGeocodingOptions(const SharedGeocodingOptions &options,
                                Geo::GeocoderOptions &geocoder, GeocodeFormat &format);

} // namespace VexoGeoCli

#endif
