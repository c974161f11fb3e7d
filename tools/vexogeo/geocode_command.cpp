// vexogeo geocode: free-text search of places with the library's geocoding service.
#include "commands.h"
#include "geocode_format.h"

#include <vexogeo/vexogeo.h>

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace VexoGeoCli {
namespace {

struct GeocodeOptions {
    std::string m_query;
    int m_limit = 10;
    std::string m_viewbox;
    std::string m_format = "text";
};

int RunGeocode(const GeocodeOptions &options) {
    const std::string context = "geocode";
    GeocodeFormat format = GeocodeFormat::Text;
    if (!ParseGeocodeFormat(options.m_format, format)) {
        PrintError(context,
                   "--format: expected text, json or geojson, not " + QuoteText(options.m_format));
        return kExitUsage;
    }
    std::vector<double> box;
    if (!options.m_viewbox.empty() && !ParseNumberList(options.m_viewbox, 4, box)) {
        PrintError(context, "--viewbox: expected four numbers 'x1,y1,x2,y2', not " +
                                QuoteText(options.m_viewbox));
        return kExitUsage;
    }
    std::vector<Geo::Nominatim::SearchOutput> results;
    try {
        results = box.empty() ? Geo::Nominatim::Search(options.m_query, options.m_limit)
                              : Geo::Nominatim::Search(options.m_query, box[0], box[1], box[2],
                                                       box[3], options.m_limit);
    } catch (const std::invalid_argument &e) {
        // The library checks the range of the limit: a value outside it is a usage error.
        PrintError(context, "--limit " + std::to_string(options.m_limit) + ": " + e.what());
        return kExitUsage;
    } catch (const std::exception &e) {
        PrintError(context, std::string("the search failed: ") + e.what());
        return kExitFailure;
    }
    const std::string text = FormatSearchResults(results, format);
    std::fputs(text.c_str(), stdout);
    if (results.empty())
        PrintError(context, "no places found");
    return kExitSuccess;
}

} // namespace

Command AddGeocodeCommand(CLI::App &app) {
    auto options = std::make_shared<GeocodeOptions>();
    CLI::App *sub = app.add_subcommand("geocode", "Search places by name");
    sub->add_option("QUERY", options->m_query, "Free text, e.g. a place or an address")->required();
    sub->add_option("--limit", options->m_limit, "Largest number of places (default 10)");
    sub->add_option("--viewbox", options->m_viewbox,
                    "Only places in the box with corners x1,y1 and x2,y2 (longitude, latitude)");
    sub->add_option("--format", options->m_format, "text (default), json or geojson");
    sub->footer("Text output: one line per place with its box as south north west east "
                "(degrees), a tab and the name. GeoJSON output: a FeatureCollection of the "
                "boxes as polygons with the name as property. The search waits as long as the "
                "service takes.\n\n"
                "Examples:\n"
                "  vexogeo geocode 'Brandenburger Tor'\n"
                "  vexogeo geocode Berlin --limit 3 --format json\n"
                "  vexogeo geocode Bahnhof --viewbox 13.0,52.3,13.8,52.7 --format geojson");
    return {sub, [options] { return RunGeocode(*options); }};
}

} // namespace VexoGeoCli
