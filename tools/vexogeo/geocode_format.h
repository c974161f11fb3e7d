// The three ways `vexogeo geocode` writes search results.
#ifndef VEXOGEO_TOOLS_VEXOGEO_GEOCODE_FORMAT_H
#define VEXOGEO_TOOLS_VEXOGEO_GEOCODE_FORMAT_H

#include <vexogeo/geocoding/nominatim.h>

#include <string>
#include <vector>

namespace VexoGeoCli {

enum class GeocodeFormat { Text, Json, GeoJson };

/// @return false for a name other than "text", "json" and "geojson".
bool ParseGeocodeFormat(const std::string &name, GeocodeFormat &format);

/// The results as text (one line each: south north west east, a tab, the name), as a JSON array
/// of {"display_name", "boundingbox"} objects, or as a GeoJSON FeatureCollection of box
/// polygons (longitude, latitude) with the name as property. Every form ends in a line break;
/// no results give no text, "[]" or an empty collection.
std::string FormatSearchResults(const std::vector<Geo::Nominatim::SearchOutput> &results,
                                GeocodeFormat format);

} // namespace VexoGeoCli

#endif
