// Nominatim search: limit checks, request URL, and the HTTPS transfer through libcurl.
#include "geocoding/nominatim_request.h"

#include "geocoding/geocoding_settings.h"
#include "geocoding/http_get.h"
#include "geocoding/request_gate.h"
#include "module/localization.h"
#include "text/code_page.h"

#include <curl/curl.h>

#include <locale>
#include <cctype>
#include <ctime>
#include <memory>
#include <sstream>

namespace Geo {
namespace {

constexpr unsigned kWindows1252 = 1252;
constexpr int kMaxViewBoxLimit = 50;
constexpr const char kHexDigits[] = "0123456789ABCDEF";

// A table text (Windows-1252) as the caller's code page has it; unchanged if it cannot be
// converted, which is the right answer in a Windows-1252 process anyway.
std::string ToProcessCodePage(const char *text) {
    std::vector<wchar_t> wide;
    std::vector<char> narrow;
    if (ConvertToWide(kWindows1252, text, wide) &&
        ConvertToMultiByte(CP_ACP, wide.data(), narrow)) {
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

// libcurl's header callback: the seconds of a Retry-After header into the double at `userData`.
std::size_t ReadRetryAfter(char *data, std::size_t size, std::size_t count, void *userData) {
    const std::size_t total = size * count;
    static const char kName[] = "retry-after:";
    constexpr std::size_t kLength = sizeof kName - 1;
    if (total <= kLength)
        return total;
    for (std::size_t i = 0; i < kLength; ++i) {
        if (std::tolower(static_cast<unsigned char>(data[i])) != kName[i])
            return total;
    }
    try {
        *static_cast<double *>(userData) =
            ParseRetryAfter(std::string(data + kLength, total - kLength),
                            static_cast<long long>(std::time(nullptr)));
    } catch (const std::bad_alloc &) {
        return 0;
    }
    return total;
}

struct EasyCleanup {
    void operator()(CURL *handle) const { curl_easy_cleanup(handle); }
};
struct UrlCleanup {
    void operator()(CURLU *handle) const { curl_url_cleanup(handle); }
};
struct CurlFree {
    void operator()(char *text) const { curl_free(text); }
};

// Undoes the global initialisation of one transfer on every way out of it.
class GlobalCleanup {
  public:
    GlobalCleanup() = default;
    ~GlobalCleanup() { curl_global_cleanup(); }
    GlobalCleanup(const GlobalCleanup &) = delete;
    GlobalCleanup &operator=(const GlobalCleanup &) = delete;
};

void Check(CURLcode code) {
    if (code != CURLE_OK) {
        throw TransferError(curl_easy_strerror(code));
    }
}

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
    std::string escaped;
    escaped.reserve(query.size());
    for (const char c : query) {
        const auto byte = static_cast<unsigned char>(c);
        // These bytes would end the query value, start a fragment, read as a blank, start an
        // escape, or make the URL API refuse the whole URL.
        if (byte == '%' || byte == '&' || byte == '#' || byte == '+' || byte < 0x20 ||
            byte == 0x7F) {
            escaped += '%';
            escaped += kHexDigits[byte >> 4];
            escaped += kHexDigits[byte & 0x0F];
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::string ToQueryText(const std::string &query) {
    std::vector<char> utf8;
    {
        std::vector<wchar_t> wide;
        if (!ConvertToWide(CP_ACP, query.c_str(), wide) ||
            !ConvertToMultiByte(CP_UTF8, wide.data(), utf8)) {
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

std::size_t WriteToString(char *data, std::size_t size, std::size_t count, void *userData) {
    const std::size_t total = size * count;
    try {
        static_cast<std::string *>(userData)->append(data, total);
    } catch (const std::bad_alloc &) {
        // No exception may cross libcurl; a short count makes it end the transfer with an error.
        return 0;
    }
    return total;
}

std::vector<Nominatim::SearchOutput> ExecuteQuery(std::string url) {
    curl_global_init(CURL_GLOBAL_ALL);
    const GlobalCleanup globalCleanup;
    const std::unique_ptr<CURL, EasyCleanup> easy(curl_easy_init());
    if (!easy) {
        throw TransferError("curl_easy_init failed.");
    }
    url = NormaliseUrl(url);

    std::string body;
    Check(curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str()));
    Check(curl_easy_setopt(easy.get(), CURLOPT_USERAGENT, GetUserAgent().c_str()));
    Check(curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, &WriteToString));
    Check(curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, static_cast<void *>(&body)));
    // Only read, never sent: a Retry-After of the answer holds every request of the process.
    double retryAfter = -1;
    Check(curl_easy_setopt(easy.get(), CURLOPT_HEADERFUNCTION, &ReadRetryAfter));
    Check(curl_easy_setopt(easy.get(), CURLOPT_HEADERDATA, static_cast<void *>(&retryAfter)));
    Check(curl_easy_perform(easy.get()));
    long status = 0;
    Check(curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status));
    if (retryAfter >= 0)
        HoldGateFor(retryAfter);
    if (status != 200) {
        throw TransferError(body);
    }
    return ParseSearchResults(body);
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
