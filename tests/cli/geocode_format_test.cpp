// The three output forms of `vexogeo geocode` and `reverse`, from places the service could send.
#include "geocode_format.h"

#include <gtest/gtest.h>

namespace {

using VexoGeoCli::FormatPlaces;
using VexoGeoCli::GeocodeFormat;

const std::array<double, 4> kTorBox{52.5159, 52.5164, 13.3772, 13.3782},
    kBox{-0.5, 0.25, -1e-7, 180};
const Geo::Place kTor{52.5163,   13.3777,      kTorBox, "Brandenburger Tor, Pariser Platz, Berlin",
                      "tourism", "attraction", 0.6,     "way",
                      518071791};
const std::vector<Geo::Place> kPlaces = {kTor,
                                         {0.25, -1e-7, kBox,
                                          "A \"quoted\"\tname\\ with \x01 and \xC3\xA4", "", "",
                                          std::nullopt, std::nullopt, std::nullopt}};
// A name no terminal should act on, not UTF-8 throughout, and a ranking with all its digits.
const Geo::Place kHostile{1,
                          2,
                          kBox,
                          "A\xE9"
                          "B \xC3\xA9\x1b[2J\x07\n\xC2\x9B",
                          "",
                          "",
                          0.9744633789338841,
                          "node",
                          std::nullopt};

TEST(GeocodeFormat, WritesTextJsonAndGeoJson) {
    const struct {
        GeocodeFormat format;
        std::vector<Geo::Place> places;
        const char *text;
    } cases[] = {
        {GeocodeFormat::Text, kPlaces,
         "13.3777 52.5163\t52.5159 52.5164 13.3772 13.3782\tBrandenburger Tor, Pariser Platz, "
         "Berlin\n"
         "-1e-07 0.25\t-0.5 0.25 -1e-07 180\tA \"quoted\"\\tname\\\\ with \\x01 and \xC3\xA4\n"},
        // One place, one line: every control character is escaped visibly, a byte that is not
        // UTF-8 is U+FFFD and the characters around it stay.
        {GeocodeFormat::Text,
         {kHostile},
         "2 1\t-0.5 0.25 -1e-07 180\tA\xEF\xBF\xBD"
         "B \xC3\xA9\\x1b[2J\\x07\\n\\u009b\n"},
        // JSON keeps the name exactly and leaves out what the service did not send.
        {GeocodeFormat::Json,
         {kHostile},
         "[\n  {\"display_name\": \"A\xEF\xBF\xBD"
         "B \xC3\xA9\\u001b[2J\\u0007\\n\\u009b\", "
         "\"importance\": 0.9744633789338841, \"osm_type\": \"node\", \"lat\": 1, \"lon\": 2, "
         "\"boundingbox\": [-0.5, 0.25, -1e-07, 180]}\n]\n"},
        {GeocodeFormat::Json,
         {kTor},
         "[\n  {\"display_name\": \"Brandenburger Tor, Pariser Platz, Berlin\", \"class\": "
         "\"tourism\", \"type\": \"attraction\", \"importance\": 0.6, \"osm_type\": \"way\", "
         "\"osm_id\": 518071791, \"lat\": 52.5163, \"lon\": 13.3777, \"boundingbox\": "
         "[52.5159, 52.5164, 13.3772, 13.3782]}\n]\n"},
        // The box goes west, south, east, north; the point longitude first.
        {GeocodeFormat::GeoJson,
         {kPlaces[1]},
         "{\"type\": \"FeatureCollection\", \"features\": [\n"
         "  {\"type\": \"Feature\", \"bbox\": [-1e-07, -0.5, 180, 0.25], \"properties\": "
         "{\"display_name\": \"A \\\"quoted\\\"\\tname\\\\ with \\u0001 and \xC3\xA4\"}, "
         "\"geometry\": {\"type\": \"Point\", \"coordinates\": [-1e-07, "
         "0.25]}}\n]}\n"},
        {GeocodeFormat::Text, {}, ""},
        {GeocodeFormat::Json, {}, "[]\n"},
        {GeocodeFormat::GeoJson, {}, "{\"type\": \"FeatureCollection\", \"features\": []}\n"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FormatPlaces(c.places, c.format), c.text) << static_cast<int>(c.format);
}

} // namespace
