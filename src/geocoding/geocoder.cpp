// CGeocoder: request composition, validation, the cache, the gate and the typed failures.
#include <vexogeo/geocoding/geocoder.h>

#include "geocoding/geocoding_settings.h"
#include "geocoding/http_get.h"
#include "geocoding/nominatim_request.h"
#include "geocoding/place_cache.h"
#include "geocoding/place_parser.h"
#include "geocoding/request_gate.h"
#include "text/ascii.h"
#include "text/code_page.h"
#include "text/server_text.h"
#include "text/url_text.h"

#include <atomic>
#include <charconv>
#include <cmath>

namespace Geo {
namespace {

constexpr int kMaxLimit = 50;
constexpr int kMaxZoom = 18;
// Bytes of a failed answer's body quoted in the error's text.
constexpr std::size_t kMaxQuotedAnswer = 200;

[[noreturn]] void ThrowInvalid(const std::string &message) {
    throw GeocodingError(GeocodingErrorKind::InvalidArgument, message);
}

void AppendParameter(std::string &url, const char *name, const std::string &value) {
    url += '&';
    url += name;
    url += '=';
    AppendPercentEncoded(url, value);
}

// The shortest text that reads back as exactly `value`, whatever the locale.
std::string FormatNumber(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

// The endpoint with its first parameter started: "?", or "&" after a query of its own.
std::string StartQuery(std::string endpoint) {
    AppendQuerySeparator(endpoint);
    return endpoint;
}

bool IsCountryCode(const std::string &code) {
    return code.size() == 2 && IsAsciiLetter(code[0]) && IsAsciiLetter(code[1]);
}

std::string DescribeStatus(long status) {
    switch (status) {
    case 403:
        return "HTTP 403: the service refuses this application or address (blocked)";
    case 429:
        return "HTTP 429: too many requests (rate limited)";
    default:
        return "HTTP " + std::to_string(status);
    }
}

} // namespace

std::string Place::GetDisplayNameInProcessCodePage() const {
    std::vector<wchar_t> wide;
    std::vector<char> narrow;
    if (ConvertToWide(kCodePageUtf8, m_displayName.c_str(), wide) &&
        ConvertToMultiByte(kCodePageAnsi, wide.data(), narrow)) {
        return narrow.data();
    }
    return std::string();
}

GeocodingError::GeocodingError(GeocodingErrorKind kind, std::string message, long status,
                               double retryAfterSeconds)
    : m_kind(kind), m_message(std::make_shared<const std::string>(std::move(message))),
      m_status(status), m_retryAfterSeconds(retryAfterSeconds) {}

const char *GeocodingError::what() const noexcept { return m_message->c_str(); }

struct CGeocoder::Impl {
    GeocoderOptions m_options;
    std::string m_reverseUrl;
    std::atomic<unsigned long long> m_generation{0};

    std::vector<Place> Fetch(const std::string &url, AnswerKind kind) const;
    std::string AppendCommon(std::string url, bool forSearch) const;
};

std::string CGeocoder::Impl::AppendCommon(std::string url, bool forSearch) const {
    url += "&format=json";
    if (forSearch)
        url += "&limit=" + std::to_string(m_options.m_limit);
    if (!m_options.m_language.empty())
        AppendParameter(url, "accept-language", m_options.m_language);
    if (forSearch && !m_options.m_countryCodes.empty()) {
        url += "&countrycodes=";
        for (std::size_t i = 0; i < m_options.m_countryCodes.size(); ++i) {
            if (i > 0)
                url += ',';
            AppendPercentEncoded(url, m_options.m_countryCodes[i]);
        }
    }
    if (forSearch && m_options.m_hasViewBox) {
        const auto &box = m_options.m_viewBox;
        url += "&viewbox=" + FormatNumber(box[0]) + "," + FormatNumber(box[1]) + "," +
               FormatNumber(box[2]) + "," + FormatNumber(box[3]);
        if (m_options.m_bounded)
            url += "&bounded=1";
    }
    if (!m_options.m_email.empty())
        AppendParameter(url, "email", m_options.m_email);
    return url;
}

std::vector<Place> CGeocoder::Impl::Fetch(const std::string &url, AnswerKind kind) const {
    const double lifetime = m_options.m_useCache ? GetConfiguredCacheSeconds() : 0;
    CPlaceCache &cache = CPlaceCache::Process();
    if (auto places = cache.Find(url, kind, lifetime))
        return std::move(*places);

    const unsigned long long generation = m_generation.load();
    const auto cancelled = [this, generation] { return m_generation.load() != generation; };
    const auto start = RequestGate::Clock::now();
    const auto deadline = start + m_options.m_totalTimeout;
    RequestGate::Clock::time_point sendTime;
    switch (RequestGate::Process().Pass(GetConfiguredRequestsPerSecond(), deadline, cancelled,
                                        &sendTime)) {
    case RequestGate::Outcome::Cancelled:
        throw GeocodingError(GeocodingErrorKind::Cancelled, "the request was cancelled");
    case RequestGate::Outcome::TooLate: {
        const double wait = std::chrono::duration<double>(sendTime - start).count();
        throw GeocodingError(GeocodingErrorKind::TimedOut,
                             "timed out: the request would have to wait " +
                                 FormatNumber(std::ceil(wait)) +
                                 " s for its turn, longer than the time-out",
                             0, std::ceil(wait));
    }
    case RequestGate::Outcome::Passed:
        break;
    }

    HttpGetRequest request;
    request.m_url = url;
    request.m_userAgent = GetUserAgent();
    request.m_connectTimeout = m_options.m_connectTimeout;
    request.m_deadline = deadline;
    request.m_cancelled = cancelled;
    const HttpGetAnswer answer = HttpGet(request);
    if (answer.m_retryAfterSeconds >= 0)
        HoldGateFor(answer.m_retryAfterSeconds);
    if (answer.m_status != 200) {
        const GeocodingErrorKind errorKind = answer.m_status == 403 ? GeocodingErrorKind::Blocked
                                             : answer.m_status == 429
                                                 ? GeocodingErrorKind::RateLimited
                                                 : GeocodingErrorKind::HttpStatus;
        std::string message = DescribeStatus(answer.m_status);
        if (answer.m_retryAfterSeconds >= 0)
            message += ", retry after " + FormatNumber(answer.m_retryAfterSeconds) + " s";
        const std::string text = ToSafeLine(answer.m_body, kMaxQuotedAnswer);
        if (!text.empty())
            message += ": " + text;
        throw GeocodingError(errorKind, message, answer.m_status, answer.m_retryAfterSeconds);
    }
    std::vector<Place> places;
    if (kind == AnswerKind::Search) {
        places = ParsePlaces(answer.m_body);
    } else if (auto place = ParseReversePlace(answer.m_body)) {
        places.push_back(std::move(*place));
    }
    if (lifetime > 0)
        cache.Store(url, answer.m_body, places);
    return places;
}

CGeocoder::CGeocoder(GeocoderOptions options) : m_impl(std::make_unique<Impl>()) {
    if (options.m_limit < 1 || options.m_limit > kMaxLimit)
        ThrowInvalid("the limit must lie between 1 and 50, not " + std::to_string(options.m_limit));
    if (options.m_connectTimeout.count() <= 0 || options.m_totalTimeout.count() <= 0)
        ThrowInvalid("the time-outs must be positive");
    if (options.m_hasViewBox) {
        for (const double value : options.m_viewBox) {
            if (!std::isfinite(value))
                ThrowInvalid("the view box holds a number that is not finite");
        }
        if (options.m_viewBox[1] > options.m_viewBox[3])
            ThrowInvalid("the view box's south lies north of its north");
    }
    for (const auto &code : options.m_countryCodes) {
        if (!IsCountryCode(code))
            ThrowInvalid("'" + ToSafeLine(code, 20) + "' is not a two-letter country code");
    }
    if (options.m_endpoint.empty())
        options.m_endpoint = GetConfiguredSearchUrl();
    m_impl->m_reverseUrl = GetSiblingUrl(options.m_endpoint, "reverse");
    m_impl->m_options = std::move(options);
}

CGeocoder::~CGeocoder() = default;
CGeocoder::CGeocoder(CGeocoder &&) noexcept = default;
CGeocoder &CGeocoder::operator=(CGeocoder &&) noexcept = default;

std::vector<Place> CGeocoder::Search(const std::string &query) const {
    if (query.find_first_not_of(" \t\r\n") == std::string::npos)
        ThrowInvalid("the query is empty");
    std::string url = StartQuery(m_impl->m_options.m_endpoint) + "q=";
    AppendPercentEncoded(url, query);
    return m_impl->Fetch(m_impl->AppendCommon(std::move(url), true), AnswerKind::Search);
}

std::vector<Place> CGeocoder::Search(const StructuredQuery &query) const {
    const std::pair<const char *, const std::string *> fields[] = {
        {"street", &query.m_street},   {"city", &query.m_city},
        {"county", &query.m_county},   {"state", &query.m_state},
        {"country", &query.m_country}, {"postalcode", &query.m_postalCode}};
    std::string url = StartQuery(m_impl->m_options.m_endpoint);
    bool any = false;
    for (const auto &[name, value] : fields) {
        if (value->find_first_not_of(" \t\r\n") == std::string::npos)
            continue;
        if (any)
            url += '&';
        url += name;
        url += '=';
        AppendPercentEncoded(url, *value);
        any = true;
    }
    if (!any)
        ThrowInvalid("the structured query has no field");
    return m_impl->Fetch(m_impl->AppendCommon(std::move(url), true), AnswerKind::Search);
}

std::optional<Place> CGeocoder::Reverse(double longitude, double latitude, int zoom) const {
    if (!std::isfinite(longitude) || !std::isfinite(latitude))
        ThrowInvalid("the coordinate is not finite");
    if (latitude < -90 || latitude > 90)
        ThrowInvalid("the latitude " + FormatNumber(latitude) + " lies outside -90 to 90");
    if (longitude < -180 || longitude > 180)
        ThrowInvalid("the longitude " + FormatNumber(longitude) + " lies outside -180 to 180");
    if (zoom < 0 || zoom > kMaxZoom)
        ThrowInvalid("the zoom must lie between 0 and 18, not " + std::to_string(zoom));
    const std::string url = StartQuery(m_impl->m_reverseUrl) + "lat=" + FormatNumber(latitude) +
                            "&lon=" + FormatNumber(longitude) + "&zoom=" + std::to_string(zoom);
    auto places = m_impl->Fetch(m_impl->AppendCommon(url, false), AnswerKind::Reverse);
    if (places.empty())
        return std::nullopt;
    return std::move(places.front());
}

void CGeocoder::Cancel() const noexcept { ++m_impl->m_generation; }

std::string CGeocoder::ToUtf8(const std::string &text) {
    std::vector<wchar_t> wide;
    std::vector<char> utf8;
    if (ConvertToWide(kCodePageAnsi, text.c_str(), wide) &&
        ConvertToMultiByte(kCodePageUtf8, wide.data(), utf8))
        return utf8.data();
    return std::string();
}

const GeocoderOptions &CGeocoder::GetOptions() const { return m_impl->m_options; }

} // namespace Geo
