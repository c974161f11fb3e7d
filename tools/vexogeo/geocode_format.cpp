// Search results as text, JSON and GeoJSON.
#include "geocode_format.h"

#include "common.h"

#include <cstdio>

namespace VexoGeoCli {
namespace {

std::string JsonString(const std::string &text) {
    const std::string utf8 = ToTerminalText(text);
    std::string out = "\"";
    for (const char c : utf8) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

// JSON has no infinities or NaN: such a number becomes null.
std::string JsonNumber(double value) {
    const std::string text = FormatNumber(value);
    return text.find_first_of("in") == std::string::npos ? text : "null";
}

std::string Position(double longitude, double latitude) {
    return "[" + JsonNumber(longitude) + ", " + JsonNumber(latitude) + "]";
}

} // namespace

bool ParseGeocodeFormat(const std::string &name, GeocodeFormat &format) {
    if (name == "text")
        format = GeocodeFormat::Text;
    else if (name == "json")
        format = GeocodeFormat::Json;
    else if (name == "geojson")
        format = GeocodeFormat::GeoJson;
    else
        return false;
    return true;
}

std::string FormatSearchResults(const std::vector<Geo::Nominatim::SearchOutput> &results,
                                GeocodeFormat format) {
    std::string out;
    if (format == GeocodeFormat::Text) {
        for (const auto &result : results) {
            const auto &box = result.m_boundingBox;
            out += FormatNumber(box[0]) + " " + FormatNumber(box[1]) + " " + FormatNumber(box[2]) +
                   " " + FormatNumber(box[3]) + "\t" + ToTerminalText(result.m_displayName) + "\n";
        }
        return out;
    }
    if (format == GeocodeFormat::Json) {
        out = "[";
        for (std::size_t i = 0; i < results.size(); ++i) {
            const auto &box = results[i].m_boundingBox;
            out += (i == 0 ? "\n  " : ",\n  ");
            out += "{\"display_name\": " + JsonString(results[i].m_displayName) +
                   ", \"boundingbox\": [" + JsonNumber(box[0]) + ", " + JsonNumber(box[1]) + ", " +
                   JsonNumber(box[2]) + ", " + JsonNumber(box[3]) + "]}";
        }
        return out + (results.empty() ? "]\n" : "\n]\n");
    }
    out = "{\"type\": \"FeatureCollection\", \"features\": [";
    for (std::size_t i = 0; i < results.size(); ++i) {
        // The service sends south, north, west, east.
        const auto &box = results[i].m_boundingBox;
        const double south = box[0], north = box[1], west = box[2], east = box[3];
        out += (i == 0 ? "\n  " : ",\n  ");
        out += "{\"type\": \"Feature\", \"properties\": {\"display_name\": " +
               JsonString(results[i].m_displayName) +
               "}, \"geometry\": {\"type\": \"Polygon\", \"coordinates\": [[" +
               Position(west, south) + ", " + Position(east, south) + ", " + Position(east, north) +
               ", " + Position(west, north) + ", " + Position(west, south) + "]]}}";
    }
    return out + (results.empty() ? "]}\n" : "\n]}\n");
}

} // namespace VexoGeoCli
