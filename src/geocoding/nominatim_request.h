// The steps of a geocoding search: URL composition, the transfer and the reading of the answer.
#ifndef VEXOGEO_GEOCODING_NOMINATIM_REQUEST_H
#define VEXOGEO_GEOCODING_NOMINATIM_REQUEST_H

#include <vexogeo/geocoding/nominatim.h>

#include <string>
#include <vector>

namespace Geo {

/// The service's viewbox: longitude and latitude of one corner, then of the opposite corner.
struct ViewBox {
    double m_x1;
    double m_y1;
    double m_x2;
    double m_y2;
};

/// The User-Agent of every request, built once: "Kalvo/7.6.3 VexoGeo/7.6.3".
const std::string &GetUserAgent();

/// Writes the bytes "%", "&", "#", "+" and the control bytes of UTF-8 `query` as %XX, so that
/// the service receives the query unchanged; all other bytes are left to libcurl's URL API.
std::string EscapeQuery(const std::string &query);

/// The UTF-8 form of `query` (process code page, up to its first NUL), escaped by `EscapeQuery`.
/// @return the empty text when the query cannot be converted.
std::string ToQueryText(const std::string &query);

/// The request URL for `baseUrl`: "?q=", the escaped query, "&accept-language=" with the
/// installation's language code, "&format=json&limit=" and `limit`, then with a box
/// "&viewbox=x1,y1,x2,y2&bounded=1" (numbers as "%g"). Does not check `limit`.
std::string ComposeSearchUrl(const std::string &baseUrl, const std::string &query, int limit,
                             const ViewBox *viewBox = nullptr);

/// `Nominatim::Search` against `baseUrl`, limit check included.
std::vector<Nominatim::SearchOutput> SearchAt(const std::string &baseUrl, const std::string &query,
                                              const int &limit);
/// The viewbox form of `Nominatim::Search` against `baseUrl`, limit check included.
std::vector<Nominatim::SearchOutput> SearchAt(const std::string &baseUrl, const std::string &query,
                                              const ViewBox &viewBox, const int &limit);

/// Fetches `url` (normalised by libcurl's URL API first) through the library's transport and
/// parses the body of a 200 answer. No time-out; redirects are not followed.
/// @throw TransferError with libcurl's text for a failed step, or with the body for another
/// status.
std::vector<Nominatim::SearchOutput> ExecuteQuery(std::string url);

/// Reads a JSON array of places (up to its first NUL): each object with a four-element
/// "boundingbox" and a string "display_name" gives one record, in array order.
/// @return empty for a body that is not JSON or whose root is not an array; never throws for
/// content.
std::vector<Nominatim::SearchOutput> ParseSearchResults(const std::string &body);

} // namespace Geo

#endif
