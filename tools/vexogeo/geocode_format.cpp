// Places as text, JSON and GeoJSON.
#include "geocode_format.h"

#include "common.h"

#include <cstdio>

namespace VexoGeoCli {
namespace {

// Place texts are in the process code page; JSON wants UTF-8.
std::string JsonText(const std::string &text) { return JsonString(ToTerminalText(text)); }

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
        return "\"display_name\": " + JsonText(place.m_displayName) +
               ", \"class\": " + JsonText(place.m_class) + ", \"type\": " + JsonText(place.m_type) +
               ", \"importance\": " + JsonNumber(place.m_importance) +
               ", \"osm_type\": " + JsonText(place.m_osmType) +
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
