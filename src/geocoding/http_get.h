// The geocoding client's GET: the library's transport, its failures as geocoding errors.
#ifndef VEXOGEO_GEOCODING_HTTP_GET_H
#define VEXOGEO_GEOCODING_HTTP_GET_H

#include <chrono>
#include <functional>
#include <string>

namespace Geo {

struct HttpGetRequest {
    std::string m_url; ///< already escaped
    std::string m_userAgent;
    std::chrono::milliseconds m_connectTimeout{5000};
    std::chrono::steady_clock::time_point m_deadline; ///< the whole transfer ends by then
    std::function<bool()> m_cancelled;                ///< asked every few ms; may be empty
    std::size_t m_maxBodyBytes = 16u << 20;           ///< a longer body ends the transfer
};

struct HttpGetAnswer {
    long m_status = 0;
    std::string m_body;
    double m_retryAfterSeconds = -1; ///< from a Retry-After header (seconds or a date), else -1
};

/// Sends the GET through the transport; redirects are not followed, certificates are verified.
/// @throw GeocodingError: TimedOut past the deadline, Cancelled, NotNominatim for a body over
/// the cap, Transfer for any other failure (with libcurl's text).
HttpGetAnswer HttpGet(const HttpGetRequest &request);

} // namespace Geo

#endif
