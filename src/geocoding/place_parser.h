// Reading the geocoding client's answers ("format=json") into places.
#ifndef VEXOGEO_GEOCODING_PLACE_PARSER_H
#define VEXOGEO_GEOCODING_PLACE_PARSER_H

#include <vexogeo/geocoding/geocoder.h>

#include <optional>
#include <string>
#include <vector>

namespace Geo {

/// A search answer: a JSON array of place objects. Elements without a readable "lat", "lon"
/// and four-number "boundingbox" are left out; the other members are optional.
/// @throw GeocodingError (NotNominatim) for a body that is not JSON (HTML, truncated text) or
/// whose root is not an array.
std::vector<Place> ParsePlaces(const std::string &body);

/// A reverse answer: one place object, or an object with "error" for no place there.
/// @return no place for the "error" object.
/// @throw GeocodingError (NotNominatim) for anything else.
std::optional<Place> ParseReversePlace(const std::string &body);

} // namespace Geo

#endif
