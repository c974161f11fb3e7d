// The three ways `vexogeo geocode` and `vexogeo reverse` write places.
#ifndef VEXOGEO_TOOLS_VEXOGEO_GEOCODE_FORMAT_H
#define VEXOGEO_TOOLS_VEXOGEO_GEOCODE_FORMAT_H

#include <vexogeo/geocoding/geocoder.h>

#include <string>
#include <vector>

namespace VexoGeoCli {

enum class GeocodeFormat { Text, Json, GeoJson };

/// @return false for a name other than "text", "json" and "geojson".
bool ParseGeocodeFormat(const std::string &name, GeocodeFormat &format);

/// The places as text (one line each: the point as longitude latitude, a tab, the box as south
/// north west east, a tab, the name as one escaped line), as a JSON array of objects with the
/// service's member names, or as a GeoJSON FeatureCollection of points with a "bbox" (west,
/// south, east, north) and the other members as properties. JSON strings are the names
/// exactly; members the service did not send are left out. Numbers are the shortest text that
/// reads back as the same double. Every form ends in a line break; no places give no text, "[]"
/// or an empty collection.
std::string FormatPlaces(const std::vector<Geo::Place> &places, GeocodeFormat format);

} // namespace VexoGeoCli

#endif
