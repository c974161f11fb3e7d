// A single HTTP(S) GET for the geocoding client, with time-outs, cancellation and a size cap.
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

/// Sends the GET; redirects are not followed, certificates are verified.
/// @throw GeocodingError: TimedOut past the deadline, Cancelled, NotNominatim for a body over
/// the cap, Transfer for any other libcurl failure (with libcurl's text).
HttpGetAnswer HttpGet(const HttpGetRequest &request);

/// Seconds from a Retry-After value: a whole number of seconds, or an HTTP date relative to
/// `now` (seconds since 1970). @return -1 for anything else.
double ParseRetryAfter(const std::string &value, long long now);

/// `text` cut to `maxBytes` (with "…" appended when cut) on one line: control bytes and
/// backslashes written as \xNN and \\, tabs and line breaks as blanks.
std::string CleanServerText(const std::string &text, std::size_t maxBytes = 200);

} // namespace Geo

#endif
