// The geocoding client's transfer: libcurl's multi interface polled in short steps, so that a
// cancellation from another thread ends the transfer quickly.
#include "geocoding/http_get.h"

#include <vexogeo/geocoding/geocoder.h>

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <ctime>
#include <memory>
#include <mutex>

namespace Geo {
namespace {

constexpr int kPollMilliseconds = 25;

struct EasyCleanup {
    void operator()(CURL *handle) const { curl_easy_cleanup(handle); }
};
struct MultiCleanup {
    void operator()(CURLM *handle) const { curl_multi_cleanup(handle); }
};

// libcurl's global state, set up once for the process the first time a client sends: its
// initialisation is not thread-safe before 7.84, so this runs under a one-time guard.
void InitialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_ALL); });
}

// Removes the easy handle from the multi handle before either is cleaned up.
class MultiMembership {
  public:
    MultiMembership(CURLM *multi, CURL *easy) : m_multi(multi), m_easy(easy) {
        m_added = curl_multi_add_handle(multi, easy) == CURLM_OK;
    }
    ~MultiMembership() {
        if (m_added)
            curl_multi_remove_handle(m_multi, m_easy);
    }
    MultiMembership(const MultiMembership &) = delete;
    MultiMembership &operator=(const MultiMembership &) = delete;
    bool IsAdded() const { return m_added; }

  private:
    CURLM *m_multi;
    CURL *m_easy;
    bool m_added = false;
};

struct TransferState {
    HttpGetAnswer *m_answer;
    std::size_t m_maxBodyBytes;
    bool m_tooLarge = false;
};

std::size_t WriteBody(char *data, std::size_t size, std::size_t count, void *userData) {
    auto *state = static_cast<TransferState *>(userData);
    const std::size_t total = size * count;
    if (state->m_answer->m_body.size() + total > state->m_maxBodyBytes) {
        state->m_tooLarge = true;
        return 0;
    }
    try {
        state->m_answer->m_body.append(data, total);
    } catch (const std::bad_alloc &) {
        return 0;
    }
    return total;
}

std::size_t ReadHeader(char *data, std::size_t size, std::size_t count, void *userData) {
    auto *state = static_cast<TransferState *>(userData);
    const std::size_t total = size * count;
    static const std::string kName = "retry-after:";
    if (total > kName.size()) {
        std::string line(data, total);
        std::string start = line.substr(0, kName.size());
        std::transform(start.begin(), start.end(), start.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (start == kName) {
            state->m_answer->m_retryAfterSeconds = ParseRetryAfter(
                line.substr(kName.size()), static_cast<long long>(std::time(nullptr)));
        }
    }
    return total;
}

[[noreturn]] void ThrowTransfer(CURLcode code) {
    throw GeocodingError(GeocodingErrorKind::Transfer,
                         std::string("the transfer failed: ") + curl_easy_strerror(code));
}

void Check(CURLcode code) {
    if (code != CURLE_OK)
        ThrowTransfer(code);
}

} // namespace

double ParseRetryAfter(const std::string &value, long long now) {
    std::size_t first = value.find_first_not_of(" \t");
    std::size_t last = value.find_last_not_of(" \t\r\n");
    if (first == std::string::npos || last == std::string::npos || last < first)
        return -1;
    const std::string text = value.substr(first, last - first + 1);
    long long seconds = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (result.ec == std::errc() && result.ptr == text.data() + text.size())
        return seconds >= 0 ? static_cast<double>(seconds) : -1;
    const time_t date = curl_getdate(text.c_str(), nullptr);
    if (date < 0)
        return -1;
    return static_cast<double>(std::max<long long>(0, static_cast<long long>(date) - now));
}

std::string CleanServerText(const std::string &text, std::size_t maxBytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string clean;
    const std::size_t kept = std::min(text.size(), maxBytes);
    clean.reserve(kept + 8);
    for (std::size_t i = 0; i < kept; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\t' || byte == '\n' || byte == '\r') {
            clean += ' ';
        } else if (byte == '\\') {
            clean += "\\\\";
        } else if (byte < 0x20 || byte == 0x7F) {
            clean += "\\x";
            clean += kHex[byte >> 4];
            clean += kHex[byte & 0x0F];
        } else {
            clean += static_cast<char>(byte);
        }
    }
    // A cut through a UTF-8 sequence leaves its lead bytes; drop them so the line stays valid.
    if (kept < text.size()) {
        std::size_t end = clean.size();
        std::size_t back = 0;
        while (back < 3 && back < end &&
               (static_cast<unsigned char>(clean[end - 1 - back]) & 0xC0) == 0x80)
            ++back;
        if (back < end && static_cast<unsigned char>(clean[end - 1 - back]) >= 0xC0)
            clean.resize(end - 1 - back);
        clean += "...";
    }
    return clean;
}

HttpGetAnswer HttpGet(const HttpGetRequest &request) {
    InitialiseCurlOnce();
    const std::unique_ptr<CURL, EasyCleanup> easy(curl_easy_init());
    const std::unique_ptr<CURLM, MultiCleanup> multi(curl_multi_init());
    if (!easy || !multi)
        ThrowTransfer(CURLE_OUT_OF_MEMORY);

    HttpGetAnswer answer;
    TransferState state{&answer, request.m_maxBodyBytes};
    const auto now = std::chrono::steady_clock::now();
    if (request.m_deadline <= now)
        throw GeocodingError(GeocodingErrorKind::TimedOut, "timed out before the request was sent");
    const auto total = std::max<long long>(
        1, std::chrono::duration_cast<std::chrono::milliseconds>(request.m_deadline - now).count());
    CURL *handle = easy.get();
    Check(curl_easy_setopt(handle, CURLOPT_URL, request.m_url.c_str()));
    Check(curl_easy_setopt(handle, CURLOPT_USERAGENT, request.m_userAgent.c_str()));
    Check(curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &WriteBody));
    Check(curl_easy_setopt(handle, CURLOPT_WRITEDATA, static_cast<void *>(&state)));
    Check(curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &ReadHeader));
    Check(curl_easy_setopt(handle, CURLOPT_HEADERDATA, static_cast<void *>(&state)));
    Check(curl_easy_setopt(
        handle, CURLOPT_CONNECTTIMEOUT_MS,
        static_cast<long>(std::max<long long>(1, request.m_connectTimeout.count()))));
    Check(curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(total)));
    Check(curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L));
    Check(curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, ""));
#if LIBCURL_VERSION_NUM >= 0x075500
    Check(curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https"));
#else
    Check(curl_easy_setopt(handle, CURLOPT_PROTOCOLS, CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif

    const MultiMembership membership(multi.get(), handle);
    if (!membership.IsAdded())
        ThrowTransfer(CURLE_FAILED_INIT);
    CURLcode result = CURLE_OK;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK)
            ThrowTransfer(CURLE_FAILED_INIT);
        if (running == 0) {
            int left = 0;
            CURLMsg *message = nullptr;
            while ((message = curl_multi_info_read(multi.get(), &left)) != nullptr) {
                if (message->msg == CURLMSG_DONE)
                    result = message->data.result;
            }
            break;
        }
        if (request.m_cancelled && request.m_cancelled())
            throw GeocodingError(GeocodingErrorKind::Cancelled, "the request was cancelled");
        curl_multi_poll(multi.get(), nullptr, 0, kPollMilliseconds, nullptr);
    }
    if (state.m_tooLarge) {
        throw GeocodingError(GeocodingErrorKind::NotNominatim,
                             "the answer is not a Nominatim result: longer than " +
                                 std::to_string(request.m_maxBodyBytes) + " bytes");
    }
    if (result == CURLE_OPERATION_TIMEDOUT) {
        throw GeocodingError(GeocodingErrorKind::TimedOut,
                             "timed out: no complete answer within " +
                                 std::to_string((total + 999) / 1000) + " s");
    }
    Check(result);
    Check(curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &answer.m_status));
    return answer;
}

} // namespace Geo
