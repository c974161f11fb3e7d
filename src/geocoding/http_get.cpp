// The geocoding client's edge on the transport: its failures become typed geocoding errors.
#include "geocoding/http_get.h"

#include <vexogeo/geocoding/geocoder.h>

#include "net/transfer.h"

#include <algorithm>

namespace Geo {

HttpGetAnswer HttpGet(const HttpGetRequest &request) {
    const auto now = std::chrono::steady_clock::now();
    if (request.m_deadline <= now)
        throw GeocodingError(GeocodingErrorKind::TimedOut, "timed out before the request was sent");
    const auto total =
        std::max(std::chrono::milliseconds(1),
                 std::chrono::duration_cast<std::chrono::milliseconds>(request.m_deadline - now));
    Net::Request get;
    get.m_url = request.m_url;
    get.m_userAgent = request.m_userAgent;
    get.m_connectTimeout = std::max(std::chrono::milliseconds(1), request.m_connectTimeout);
    get.m_totalTimeout = total;
    get.m_maxBytes = request.m_maxBodyBytes;
    get.m_acceptEncoding = true;
    get.m_cancelled = request.m_cancelled;
    Net::CMemorySink body;
    HttpGetAnswer answer;
    try {
        const Net::Answer got = Net::Get(get, body);
        answer.m_status = got.m_status;
        answer.m_retryAfterSeconds = got.m_retryAfterSeconds;
    } catch (const Net::CTransferFailure &failure) {
        switch (failure.GetKind()) {
        case Net::FailureKind::Cancelled:
            throw GeocodingError(GeocodingErrorKind::Cancelled, "the request was cancelled");
        case Net::FailureKind::TooLarge:
            throw GeocodingError(GeocodingErrorKind::NotNominatim,
                                 "the answer is not a Nominatim result: longer than " +
                                     std::to_string(request.m_maxBodyBytes) + " bytes");
        case Net::FailureKind::TimedOut:
            throw GeocodingError(GeocodingErrorKind::TimedOut,
                                 "timed out: no complete answer within " +
                                     std::to_string((total.count() + 999) / 1000) + " s");
        default:
            throw GeocodingError(GeocodingErrorKind::Transfer,
                                 std::string("the transfer failed: ") + failure.what());
        }
    }
    answer.m_body = std::move(body.m_body);
    return answer;
}

} // namespace Geo
