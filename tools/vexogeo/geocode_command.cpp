// vexogeo geocode: search places by name or by address fields with the geocoding client.
#include "commands.h"
#include "geocode_batch.h"
#include "geocode_format.h"
#include "geocoding_options.h"

#include <vexogeo/vexogeo.h>

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <sstream>

namespace VexoGeoCli {
namespace {

struct GeocodeOptions {
    std::string m_query;
    int m_limit = 10;
    std::string m_viewbox;
    bool m_bounded = false;
    std::string m_countries;
    std::vector<std::string> m_structured;
    SharedGeocodingOptions m_shared;
    std::string m_batch;       ///< the file of queries; empty or "-": standard input
    bool m_isBatch = false;    ///< --batch was given
    bool m_limitGiven = false; ///< --limit was given
};

// "de,at" as {"de", "at"}; empty pieces are refused by the client as country codes.
std::vector<std::string> SplitCommas(const std::string &text) {
    std::vector<std::string> pieces;
    std::stringstream stream(text);
    std::string piece;
    while (std::getline(stream, piece, ','))
        pieces.push_back(piece);
    if (!text.empty() && text.back() == ',')
        pieces.emplace_back();
    return pieces;
}

// Reads FIELD=VALUE into `query`. @return false for an unknown field or a missing "=".
bool AddStructuredField(const std::string &text, Geo::StructuredQuery &query) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos)
        return false;
    const std::string name = text.substr(0, equals);
    const std::string value = Geo::CGeocoder::ToUtf8(text.substr(equals + 1));
    std::string *field = name == "street"       ? &query.m_street
                         : name == "city"       ? &query.m_city
                         : name == "county"     ? &query.m_county
                         : name == "state"      ? &query.m_state
                         : name == "country"    ? &query.m_country
                         : name == "postalcode" ? &query.m_postalCode
                                                : nullptr;
    if (field == nullptr)
        return false;
    *field = value;
    return true;
}

int RunGeocode(const GeocodeOptions &options) {
    // What the client takes is the client's to judge: its refusals exit with 2 as these do.
    Geo::GeocoderOptions geocoderOptions;
    GeocodeFormat format = GeocodeFormat::Text;
    ReadSharedGeocodingOptions(options.m_shared, geocoderOptions, format);
    geocoderOptions.m_limit = options.m_limit;
    std::vector<double> box;
    if (!options.m_viewbox.empty()) {
        if (!ParseNumberList(options.m_viewbox, 4, box))
            ThrowUsage("--viewbox: expected four numbers 'west,south,east,north', not " +
                       QuoteText(options.m_viewbox));
        geocoderOptions.m_hasViewBox = true;
        std::copy(box.begin(), box.end(), geocoderOptions.m_viewBox.begin());
    }
    if (options.m_bounded && box.empty())
        ThrowUsage("--bounded needs --viewbox");
    geocoderOptions.m_bounded = options.m_bounded;
    if (!options.m_countries.empty())
        geocoderOptions.m_countryCodes = SplitCommas(options.m_countries);
    Geo::StructuredQuery structured;
    for (const auto &field : options.m_structured) {
        if (!AddStructuredField(field, structured))
            ThrowUsage("--structured: expected street=, city=, county=, state=, country= or "
                       "postalcode= followed by a value, not " +
                       QuoteText(field));
    }
    if (options.m_isBatch) {
        if (!options.m_query.empty() || !options.m_structured.empty())
            ThrowUsage("--batch reads the queries from its input: give no QUERY or --structured");
        if (format == GeocodeFormat::GeoJson)
            ThrowUsage("--batch writes text or json lines, not geojson");
        // One place per line is all a batch writes: the service need not look for more.
        if (!options.m_limitGiven)
            geocoderOptions.m_limit = 1;
        return RunGeocodeBatch(options.m_batch, geocoderOptions, format);
    }
    if (options.m_structured.empty() == options.m_query.empty())
        ThrowUsage(options.m_structured.empty()
                       ? "give a QUERY or --structured fields"
                       : "give either a QUERY or --structured fields, not both");
    const Geo::CGeocoder geocoder(geocoderOptions);
    const std::vector<Geo::Place> places =
        options.m_structured.empty() ? geocoder.Search(Geo::CGeocoder::ToUtf8(options.m_query))
                                     : geocoder.Search(structured);
    std::fputs(FormatPlaces(places, format).c_str(), stdout);
    if (places.empty())
        PrintError("geocode", "no places found");
    return kExitSuccess;
}

} // namespace

Command AddGeocodeCommand(CLI::App &app) {
    auto options = std::make_shared<GeocodeOptions>();
    CLI::App *sub = app.add_subcommand("geocode", "Search places by name or address");
    sub->add_option("QUERY", options->m_query, "Free text, e.g. a place or an address");
    sub->add_option("--limit", options->m_limit, "Largest number of places, 1 to 50 (default 10)");
    sub->add_option("--viewbox", options->m_viewbox,
                    "Prefer places in the box west,south,east,north (longitude, latitude)");
    sub->add_flag("--bounded", options->m_bounded, "Only places inside --viewbox");
    sub->add_option("--country", options->m_countries,
                    "Only places in these countries, e.g. de,at");
    sub->add_option("--structured", options->m_structured,
                    "An address field instead of QUERY: street=, city=, county=, state=, "
                    "country= or postalcode= with its value; repeatable")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->allow_extra_args(false);
    sub->add_option("--batch", options->m_batch,
                    "Search each line of FILE (none or '-': standard input); one answer line per "
                    "input line, in order")
        ->expected(0, 1)
        ->type_name("[FILE|-]");
    AddSharedGeocodingOptions(*sub, options->m_shared);
    sub->footer(
        "Text output: one line per place with its point as longitude latitude, a tab, "
        "its box as south north west east (degrees), a tab and the name. JSON output: "
        "the places with the service's member names. GeoJSON output: a "
        "FeatureCollection of points with a bbox. Requests are spaced out (one per "
        "second by default, shared by all your vexogeo processes and programs using the "
        "library; the wait counts against --timeout) and answers are cached for a day. Results are "
        "(c) "
        "OpenStreetMap contributors, ODbL.\n\n"
        "--batch: one query per line; one line per input line, in input order: the first "
        "place, or '-<TAB>-<TAB>no result', '-<TAB>-<TAB>no query' (a blank line), "
        "'-<TAB>-<TAB>failed' (the reason on stderr). With --format json, one object per "
        "line: {\"query\": ..., \"place\": {...} or null}, and \"error\" for a failed line. "
        "A rerun is answered from the cache. Exit 0 when every line was answered, 1 when "
        "a line failed (the others are still answered) or the service blocks the client "
        "(HTTP 403 stops the batch).\n\n"
        "Examples:\n"
        "  vexogeo geocode 'Brandenburger Tor'\n"
        "  vexogeo geocode Berlin --limit 3 --format json --language en\n"
        "  vexogeo geocode Bahnhof --viewbox 13.0,52.3,13.8,52.7 --bounded --format geojson\n"
        "  vexogeo geocode --structured city=Wien --structured country=Austria\n"
        "  vexogeo geocode Hauptbahnhof --country de,at --timeout 10\n"
        "  vexogeo geocode --batch places.txt --format json > places.jsonl");
    return {sub, [options, sub] {
                options->m_isBatch = sub->count("--batch") > 0;
                options->m_limitGiven = sub->count("--limit") > 0;
                return RunGeocode(*options);
            }};
}

} // namespace VexoGeoCli
