// The three output forms of `vexogeo geocode`, from search results the service could send.
#include "geocode_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

namespace {

using VexoGeoCli::FormatSearchResults;
using VexoGeoCli::GeocodeFormat;
using Place = Geo::Nominatim::SearchOutput;

const std::vector<Place> kPlaces = {
    {{52.5159, 52.5164, 13.3772, 13.3782}, "Brandenburger Tor, Pariser Platz, Berlin"},
    {{-0.5, 0.25, -1e-7, 180}, "A \"quoted\"\tname\\ with \x01 and \xC3\xA4"},
};

TEST(GeocodeFormat, WritesTextJsonAndGeoJson) {
    const struct {
        GeocodeFormat format;
        std::vector<Place> places;
        const char *text;
    } cases[] = {
        {GeocodeFormat::Text, kPlaces,
         "52.5159 52.5164 13.3772 13.3782\tBrandenburger Tor, Pariser Platz, Berlin\n"
         "-0.5 0.25 -1e-07 180\tA \"quoted\"\tname\\ with \x01 and \xC3\xA4\n"},
        {GeocodeFormat::Json, kPlaces,
         "[\n  {\"display_name\": \"Brandenburger Tor, Pariser Platz, Berlin\", \"boundingbox\": "
         "[52.5159, 52.5164, 13.3772, 13.3782]},\n"
         "  {\"display_name\": \"A \\\"quoted\\\"\\tname\\\\ with \\u0001 and \xC3\xA4\", "
         "\"boundingbox\": [-0.5, 0.25, -1e-07, 180]}\n]\n"},
        {GeocodeFormat::GeoJson,
         {kPlaces[0]},
         "{\"type\": \"FeatureCollection\", \"features\": [\n"
         "  {\"type\": \"Feature\", \"properties\": {\"display_name\": \"Brandenburger Tor, "
         "Pariser Platz, Berlin\"}, \"geometry\": {\"type\": \"Polygon\", \"coordinates\": "
         "[[[13.3772, 52.5159], [13.3782, 52.5159], [13.3782, 52.5164], [13.3772, 52.5164], "
         "[13.3772, 52.5159]]]}}\n]}\n"},
        {GeocodeFormat::Text, {}, ""},
        {GeocodeFormat::Json, {}, "[]\n"},
        {GeocodeFormat::GeoJson, {}, "{\"type\": \"FeatureCollection\", \"features\": []}\n"},
        // Names in a single-byte code page still give valid UTF-8 JSON; NaN has no JSON number.
        {GeocodeFormat::Json,
         {{{0, 1, 2, std::nan("")}, "M\xFCnchen"}},
         "[\n  {\"display_name\": \"M\xC3\xBCnchen\", \"boundingbox\": [0, 1, 2, null]}\n]\n"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FormatSearchResults(c.places, c.format), c.text) << static_cast<int>(c.format);
}

TEST(GeocodeFormat, KnowsItsThreeNames) {
    using Name = std::pair<const char *, GeocodeFormat>;
    GeocodeFormat format = GeocodeFormat::Text;
    for (const Name &c : {Name{"geojson", GeocodeFormat::GeoJson},
                          Name{"text", GeocodeFormat::Text}, Name{"json", GeocodeFormat::Json}}) {
        EXPECT_TRUE(VexoGeoCli::ParseGeocodeFormat(c.first, format)) << c.first;
        EXPECT_EQ(format, c.second) << c.first;
    }
    // Names are case-sensitive; a rejected one leaves the format as it was.
    EXPECT_FALSE(VexoGeoCli::ParseGeocodeFormat("JSON", format));
    EXPECT_EQ(format, GeocodeFormat::Json);
}

} // namespace
