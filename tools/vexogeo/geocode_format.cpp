// Places as text, JSON and GeoJSON.
#include "geocode_format.h"

#include "common.h"

#include <cstdint>
#include <optional>

namespace VexoGeoCli {
namespace {

// ", "name": value" for a member the service sent; nothing for one it did not.
template <typename T>
std::string OptionalMember(const char *name, const std::optional<T> &value,
                           std::string (*write)(const T &)) {
    return value ? std::string(", \"") + name + "\": " + write(*value) : std::string();
}

std::string WriteText(const std::string &text) { return JsonString(text); }
std::string WriteNumber(const double &value) { return JsonNumber(value); }
std::string WriteId(const std::uint64_t &value) { return std::to_string(value); }

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
                   " " + FormatNumber(box[3]) + "\t" + ServerLine(place.m_displayName) + "\n";
        }
        return out;
    }
    // Members the service did not send are left out (an empty class or type counts as not
    // sent); none is made up.
    const auto members = [](const Geo::Place &place) {
        const auto text = [](const std::string &value) {
            return value.empty() ? std::optional<std::string>() : std::optional<std::string>(value);
        };
        return "\"display_name\": " + JsonString(place.m_displayName) +
               OptionalMember("class", text(place.m_class), WriteText) +
               OptionalMember("type", text(place.m_type), WriteText) +
               OptionalMember("importance", place.m_importance, WriteNumber) +
               OptionalMember("osm_type", place.m_osmType, WriteText) +
               OptionalMember("osm_id", place.m_osmId, WriteId);
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
