// vexogeo reverse: the place at a point, with the geocoding client.
#include "commands.h"
#include "geocode_format.h"
#include "geocoding_options.h"

#include <vexogeo/vexogeo.h>

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <optional>

namespace VexoGeoCli {
namespace {

struct ReverseOptions {
    std::string m_longitude;
    std::string m_latitude;
    int m_zoom = 18;
    SharedGeocodingOptions m_shared;
};

int RunReverse(const ReverseOptions &options) {
    Geo::GeocoderOptions geocoderOptions;
    GeocodeFormat format = GeocodeFormat::Text;
    ReadSharedGeocodingOptions(options.m_shared, geocoderOptions, format);
    // The ranges of the point and the zoom are the client's to check (exit 2 as well).
    double longitude = 0;
    double latitude = 0;
    if (!ParseNumber(options.m_longitude, longitude))
        ThrowUsage("LON: expected a number from -180 to 180, not " +
                   QuoteText(options.m_longitude));
    if (!ParseNumber(options.m_latitude, latitude))
        ThrowUsage("LAT: expected a number from -90 to 90, not " + QuoteText(options.m_latitude));
    const Geo::CGeocoder geocoder(geocoderOptions);
    const std::optional<Geo::Place> place = geocoder.Reverse(longitude, latitude, options.m_zoom);
    std::vector<Geo::Place> places;
    if (place)
        places.push_back(*place);
    std::fputs(FormatPlaces(places, format).c_str(), stdout);
    if (!place)
        PrintError("reverse", "no place there");
    return kExitSuccess;
}

} // namespace

Command AddReverseCommand(CLI::App &app) {
    auto options = std::make_shared<ReverseOptions>();
    CLI::App *sub = app.add_subcommand("reverse", "The place at a point (longitude, latitude)");
    sub->add_option("LON", options->m_longitude, "Longitude (degrees)")->required();
    sub->add_option("LAT", options->m_latitude, "Latitude (degrees)")->required();
    sub->add_option("--zoom", options->m_zoom,
                    "Detail from 0 (country) over 10 (city) to 18 (building, default)");
    AddSharedGeocodingOptions(*sub, options->m_shared);
    sub->footer("Output as for 'vexogeo geocode'; no place there is no error. Results are (c) "
                "OpenStreetMap contributors, ODbL.\n\n"
                "Examples:\n"
                "  vexogeo reverse 13.3777 52.5163\n"
                "  vexogeo reverse 16.3725 48.2084 --zoom 10 --format json");
    return {sub, [options] { return RunReverse(*options); }};
}

} // namespace VexoGeoCli
