// Nominatim search: limit checks, request URL, and the HTTPS transfer through the transport.
#include "geocoding/nominatim_request.h"

#include "geocoding/geocoding_settings.h"
#include "geocoding/request_gate.h"
#include "module/localization.h"
#include "net/transfer.h"
#include "text/code_page.h"
#include "text/url_text.h"

#include <curl/curl.h>

#include <locale>
#include <memory>
#include <sstream>

namespace Geo {
namespace {

constexpr unsigned kWindows1252 = 1252;
constexpr int kMaxViewBoxLimit = 50;
// The search has no size limit of its own; this one only keeps a hostile server from
// exhausting the host's memory, far above any list of places.
constexpr std::size_t kMaxAnswerBytes = 256u << 20;

// A table text (Windows-1252) as the caller's code page has it; unchanged if it cannot be
// converted, which is the right answer in a Windows-1252 process anyway.
std::string ToProcessCodePage(const char *text) {
    std::vector<wchar_t> wide;
    std::vector<char> narrow;
    if (ConvertToWide(kWindows1252, text, wide) &&
        ConvertToMultiByte(kCodePageAnsi, wide.data(), narrow)) {
        return narrow.data();
    }
    return text;
}

[[noreturn]] void ThrowInvalidLimit() {
    throw std::invalid_argument(
        ToProcessCodePage(Localization::Instance().GetText(MessageId::InvalidLimit)));
}

// Every request of the process waits for its turn; this search has no deadline to give up at.
void PassGate() {
    RequestGate::Process().Pass(GetConfiguredRequestsPerSecond(),
                                RequestGate::Clock::time_point::max(), {});
}

struct UrlCleanup {
    void operator()(CURLU *handle) const { curl_url_cleanup(handle); }
};
struct CurlFree {
    void operator()(char *text) const { curl_free(text); }
};

void Check(CURLUcode code) {
    if (code != CURLUE_OK) {
#if LIBCURL_VERSION_NUM >= 0x075000
        throw TransferError(curl_url_strerror(code));
#else
        throw TransferError("URL API error " + std::to_string(static_cast<int>(code)));
#endif
    }
}

// The URL as libcurl's URL API writes it: blanks become "+" in the query and non-ASCII bytes
// %xx escapes. A URL the API refuses ends the search; there is nothing to send.
std::string NormaliseUrl(const std::string &url) {
    const std::unique_ptr<CURLU, UrlCleanup> handle(curl_url());
    if (!handle) {
        Check(CURLUE_OUT_OF_MEMORY);
    }
    Check(curl_url_set(handle.get(), CURLUPART_URL, url.c_str(),
                       CURLU_URLENCODE | CURLU_ALLOW_SPACE));
    char *text = nullptr;
    const CURLUcode code = curl_url_get(handle.get(), CURLUPART_URL, &text, 0);
    const std::unique_ptr<char, CurlFree> owner(text);
    Check(code);
    if (text == nullptr) {
        Check(CURLUE_OUT_OF_MEMORY);
    }
    return text;
}

} // namespace

TransferError::TransferError(const std::string &message) : m_message(message.c_str()) {}

const char *TransferError::what() const noexcept { return m_message.what(); }

const std::string &GetUserAgent() {
    static const std::string userAgent = [] {
        std::ostringstream text;
        text.imbue(std::locale::classic());
        text << "Kalvo/" << VEXOGEO_VERSION_MAJOR << "." << VEXOGEO_VERSION_MINOR << "."
             << VEXOGEO_VERSION_PATCH << " VexoGeo/" << VEXOGEO_VERSION_MAJOR << "."
             << VEXOGEO_VERSION_MINOR << "." << VEXOGEO_VERSION_PATCH;
        return text.str();
    }();
    return userAgent;
}

std::string EscapeQuery(const std::string &query) {
    // These bytes would end the query value, start a fragment, read as a blank, start an
    // escape, or make the URL API refuse the whole URL; the rest is left to the URL API.
    std::string escaped;
    escaped.reserve(query.size());
    AppendPercentEncoded(escaped, query, [](unsigned char byte) {
        return byte != '%' && byte != '&' && byte != '#' && byte != '+' && byte >= 0x20 &&
               byte != 0x7F;
    });
    return escaped;
}

std::string ToQueryText(const std::string &query) {
    std::vector<char> utf8;
    {
        std::vector<wchar_t> wide;
        if (!ConvertToWide(kCodePageAnsi, query.c_str(), wide) ||
            !ConvertToMultiByte(kCodePageUtf8, wide.data(), utf8)) {
            return std::string();
        }
    }
    return EscapeQuery(utf8.data());
}

std::string ComposeSearchUrl(const std::string &baseUrl, const std::string &query, int limit,
                             const ViewBox *viewBox) {
    // The classic locale: a host's global locale would write "1.000" or "16,2" into the URL.
    std::stringstream url;
    url.imbue(std::locale::classic());
    url << baseUrl << "?q=" << ToQueryText(query)
        << "&accept-language=" << Localization::Instance().GetText(MessageId::LanguageCode)
        << "&format=json"
        << "&limit=" << limit;
    if (viewBox != nullptr) {
        url << "&viewbox=" << viewBox->m_x1 << "," << viewBox->m_y1 << "," << viewBox->m_x2 << ","
            << viewBox->m_y2 << "&bounded=1";
    }
    return url.str();
}

std::vector<Nominatim::SearchOutput> SearchAt(const std::string &baseUrl, const std::string &query,
                                              const int &limit) {
    if (limit < 1) {
        ThrowInvalidLimit();
    }
    PassGate();
    return ExecuteQuery(ComposeSearchUrl(baseUrl, query, limit));
}

std::vector<Nominatim::SearchOutput> SearchAt(const std::string &baseUrl, const std::string &query,
                                              const ViewBox &viewBox, const int &limit) {
    if (limit < 1 || limit > kMaxViewBoxLimit) {
        ThrowInvalidLimit();
    }
    PassGate();
    return ExecuteQuery(ComposeSearchUrl(baseUrl, query, limit, &viewBox));
}

std::vector<Nominatim::SearchOutput> ExecuteQuery(std::string url) {
    url = NormaliseUrl(url);
    Net::Request request;
    request.m_url = url;
    request.m_userAgent = GetUserAgent();
    request.m_maxBytes = kMaxAnswerBytes;
    Net::CMemorySink body;
    Net::Answer answer;
    try {
        answer = Net::Get(request, body);
    } catch (const Net::CTransferFailure &failure) {
        throw TransferError(failure.what());
    }
    // A Retry-After of the answer holds every request of the process.
    if (answer.m_retryAfterSeconds >= 0)
        HoldGateFor(answer.m_retryAfterSeconds);
    if (answer.m_status != 200) {
        throw TransferError(body.m_body);
    }
    return ParseSearchResults(body.m_body);
}

std::vector<Nominatim::SearchOutput> Nominatim::Search(const std::string &query, const int &limit) {
    return SearchAt(GetConfiguredSearchUrl(), query, limit);
}

std::vector<Nominatim::SearchOutput> Nominatim::Search(const std::string &query, const double &x1,
                                                       const double &y1, const double &x2,
                                                       const double &y2, const int &limit) {
    return SearchAt(GetConfiguredSearchUrl(), query, ViewBox{x1, y1, x2, y2}, limit);
}

} // namespace Geo
