// Places as text, JSON and GeoJSON.
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

std::string FormatPlaces(const std::vector<Geo::Place> &places, GeocodeFormat format) {
    std::string out;
    if (format == GeocodeFormat::Text) {
        for (const auto &place : places) {
            const auto &box = place.m_boundingBox;
            out += FormatNumber(place.m_longitude) + " " + FormatNumber(place.m_latitude) + "\t" +
                   FormatNumber(box[0]) + " " + FormatNumber(box[1]) + " " + FormatNumber(box[2]) +
                   " " + FormatNumber(box[3]) + "\t" + ToTerminalText(place.m_displayName) + "\n";
        }
        return out;
    }
    const auto members = [](const Geo::Place &place) {
        return "\"display_name\": " + JsonString(place.m_displayName) +
               ", \"class\": " + JsonString(place.m_class) +
               ", \"type\": " + JsonString(place.m_type) +
               ", \"importance\": " + JsonNumber(place.m_importance) +
               ", \"osm_type\": " + JsonString(place.m_osmType) +
               ", \"osm_id\": " + std::to_string(place.m_osmId);
    };
    if (format == GeocodeFormat::Json) {
        out = "[";
        for (std::size_t i = 0; i < places.size(); ++i) {
            const auto &box = places[i].m_boundingBox;
            out += (i == 0 ? "\n  {" : ",\n  {");
            out += members(places[i]) + ", \"lat\": " + JsonNumber(places[i].m_latitude) +
                   ", \"lon\": " + JsonNumber(places[i].m_longitude) + ", \"boundingbox\": [" +
                   JsonNumber(box[0]) + ", " + JsonNumber(box[1]) + ", " + JsonNumber(box[2]) +
                   ", " + JsonNumber(box[3]) + "]}";
        }
        return out + (places.empty() ? "]\n" : "\n]\n");
    }
    out = "{\"type\": \"FeatureCollection\", \"features\": [";
    for (std::size_t i = 0; i < places.size(); ++i) {
        // The service sends south, north, west, east; GeoJSON wants west, south, east, north.
        const auto &box = places[i].m_boundingBox;
        out += (i == 0 ? "\n  " : ",\n  ");
        out += "{\"type\": \"Feature\", \"bbox\": [" + JsonNumber(box[2]) + ", " +
               JsonNumber(box[0]) + ", " + JsonNumber(box[3]) + ", " + JsonNumber(box[1]) +
               "], \"properties\": {" + members(places[i]) +
               "}, \"geometry\": {\"type\": \"Point\", \"coordinates\": " +
               Position(places[i].m_longitude, places[i].m_latitude) + "}}";
    }
    return out + (places.empty() ? "]}\n" : "\n]}\n");
}

} // namespace VexoGeoCli
