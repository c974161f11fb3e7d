// CGeocoder: search, structured search and reverse geocoding with time-outs, cancellation,
// a shared cache and typed errors.
#ifndef VEXOGEO_GEOCODING_GEOCODER_H
#define VEXOGEO_GEOCODING_GEOCODER_H

#include <array>
#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <vexogeo/export.h>

namespace Geo {

/// One place of a geocoding answer. Texts are the service's, as well-formed UTF-8: a sequence
/// that is not UTF-8 (or an escaped lone surrogate) became U+FFFD, the rest is kept. Members
/// the service did not send are absent, never made up.
struct VEXOGEO_API Place {
    double m_latitude = 0;  ///< the place's point (degrees)
    double m_longitude = 0; ///< the place's point (degrees)
    /// Its bounding box as the service orders it: south, north, west, east (degrees).
    std::array<double, 4> m_boundingBox{};
    std::string m_displayName; ///< the full name (UTF-8)
    std::string m_class;       ///< main OSM tag key, e.g. "boundary"; empty when not sent
    std::string m_type;        ///< main OSM tag value, e.g. "administrative"; empty when not sent
    std::optional<double> m_importance;   ///< the service's ranking; none when not sent
    std::optional<std::string> m_osmType; ///< "node", "way" or "relation"; none when not sent
    std::optional<std::uint64_t> m_osmId; ///< none when not sent (or not a whole number)

    /// The display name in the process code page; characters it lacks become '?'.
    /// @return the empty text when the name cannot be converted.
    std::string GetDisplayNameInProcessCodePage() const;
};

/// The fields of a structured search; empty fields are not sent. Texts are UTF-8.
struct StructuredQuery {
    std::string m_street; ///< house number and street name
    std::string m_city;
    std::string m_county;
    std::string m_state;
    std::string m_country;
    std::string m_postalCode;
};

/// What a host should do about a failed geocoding request.
enum class GeocodingErrorKind {
    InvalidArgument, ///< refused before any request: empty query, non-finite number, bad option
    TimedOut,        ///< no complete answer within the time-out (or the gate's wait exceeds it)
    Cancelled,       ///< `CGeocoder::Cancel` ended the request
    Blocked,         ///< status 403: the service refuses this application or address
    RateLimited,     ///< status 429: too many requests; see `GetRetryAfterSeconds`
    HttpStatus,      ///< any other status than 200
    NotNominatim,    ///< a 200 answer that is no Nominatim result (HTML, truncated JSON, …)
    Transfer         ///< the connection failed: name resolution, refused connection, TLS, …
};

/// A failed geocoding request. `what()` is one line of printable text: server texts are cut
/// and their control bytes escaped. Never an honest empty answer, which is an empty list.
class VEXOGEO_API GeocodingError : public std::exception {
  public:
    GeocodingError(GeocodingErrorKind kind, std::string message, long status = 0,
                   double retryAfterSeconds = -1);
    /// @return the one-line text; never null.
    const char *what() const noexcept override;
    GeocodingErrorKind GetKind() const noexcept { return m_kind; }
    /// @return the HTTP status for Blocked, RateLimited and HttpStatus, else 0.
    long GetStatus() const noexcept { return m_status; }
    /// @return the seconds the service asked to wait (Retry-After), or -1 when it named none.
    double GetRetryAfterSeconds() const noexcept { return m_retryAfterSeconds; }

  private:
    GeocodingErrorKind m_kind;
    std::shared_ptr<const std::string> m_message; ///< shared, so copying never throws
    long m_status;
    double m_retryAfterSeconds;
};

/// How a `CGeocoder` asks. Defaults suit the public service.
struct GeocoderOptions {
    /// The search URL ("…/search"); reverse requests go to its sibling "…/reverse". Empty: the
    /// configured endpoint ($VEXOGEO_NOMINATIM_URL, the setting NominatimUrl, or the built-in).
    std::string m_endpoint;
    std::chrono::milliseconds m_connectTimeout{5000}; ///< for the connection only
    std::chrono::milliseconds m_totalTimeout{30000};  ///< whole request, gate wait included
    std::string m_language;                  ///< "accept-language", e.g. "de,en"; empty: not sent
    std::vector<std::string> m_countryCodes; ///< ISO 3166-1 alpha-2, e.g. {"de", "at"}
    bool m_hasViewBox = false;
    /// The preferred area as west, south, east, north (degrees), used when `m_hasViewBox`.
    std::array<double, 4> m_viewBox{};
    bool m_bounded = false; ///< with a view box: only places inside it
    int m_limit = 10;       ///< 1 to 50 places per search
    std::string m_email;    ///< a contact address for the service's operators; empty: not sent
    bool m_useCache = true; ///< answer repeated requests from the cache (memory and disk)
};

/// A geocoding client. Every request passes the process-wide gate (by default one request per
/// second) and, unless switched off, the cache. Calls may come from several threads at once;
/// `Cancel` may be called from any thread. Results are © OpenStreetMap contributors (ODbL).
class VEXOGEO_API CGeocoder {
  public:
    /// @throw GeocodingError (InvalidArgument) for a limit outside 1 to 50, a non-finite or
    /// reversed view box, or non-positive time-outs.
    explicit CGeocoder(GeocoderOptions options = GeocoderOptions());
    ~CGeocoder();
    CGeocoder(CGeocoder &&) noexcept;
    CGeocoder &operator=(CGeocoder &&) noexcept;
    CGeocoder(const CGeocoder &) = delete;
    CGeocoder &operator=(const CGeocoder &) = delete;

    /// Free-text search for `query` (UTF-8).
    /// @return the places in the service's order; empty when it found none.
    /// @throw GeocodingError for an empty query (before any request) and every failed request.
    std::vector<Place> Search(const std::string &query) const;
    /// Structured search. @throw GeocodingError as above; all fields empty is InvalidArgument.
    std::vector<Place> Search(const StructuredQuery &query) const;
    /// The place at `longitude`, `latitude` (degrees) at detail `zoom` (0 country to 18
    /// building). @return no place where the service has none.
    /// @throw GeocodingError for a non-finite coordinate, a longitude outside -180 to 180, a
    /// latitude outside -90 to 90 or a zoom outside 0 to 18 (before any request) and every
    /// failed request.
    std::optional<Place> Reverse(double longitude, double latitude, int zoom = 18) const;

    /// Ends the requests of this geocoder running now, on any thread, within about 100 ms;
    /// they throw Cancelled. Later requests run normally.
    void Cancel() const noexcept;

    /// The UTF-8 form of `text` in the process code page. @return empty if it cannot convert.
    static std::string ToUtf8(const std::string &text);

    /// @return the options in force, with the endpoint resolved.
    const GeocoderOptions &GetOptions() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace Geo

#endif
