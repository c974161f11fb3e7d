// The transfer: one libcurl easy handle per GET, driven through a multi handle in short steps so
// that a cancellation from another thread is seen within milliseconds, not libcurl's second.
#include "net/transfer.h"

#include "text/ascii.h"

#include <curl/curl.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <new>
#include <string_view>

namespace Geo::Net {
namespace {

constexpr int kPollMilliseconds = 25;

[[noreturn]] void ThrowSetup(CURLcode code) {
    throw CTransferFailure(FailureKind::Setup, curl_easy_strerror(code));
}

// libcurl's global state, set up once for the process and kept: its initialisation is not
// thread-safe before 7.84, and a clean-up while another thread transfers would pull it away.
void InitialiseCurl() {
    static std::once_flag once;
    static CURLcode result = CURLE_OK;
    std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_ALL); });
    if (result != CURLE_OK)
        ThrowSetup(result);
}

struct EasyCleanup {
    void operator()(CURL *handle) const { curl_easy_cleanup(handle); }
};
struct MultiCleanup {
    void operator()(CURLM *handle) const { curl_multi_cleanup(handle); }
};

// One easy handle with its error buffer; every option goes through `Set`, which checks it.
class CEasyHandle {
  public:
    CEasyHandle() : m_handle(curl_easy_init()) {
        if (!m_handle)
            throw CTransferFailure(FailureKind::Setup, "curl_easy_init failed.");
        Set(CURLOPT_ERRORBUFFER, m_error);
    }
    CEasyHandle(const CEasyHandle &) = delete;
    CEasyHandle &operator=(const CEasyHandle &) = delete;

    CURL *Get() const { return m_handle.get(); }
    const char *GetErrorText() const { return m_error; }
    template <typename Value> void Set(CURLoption option, Value value) {
        const CURLcode code = curl_easy_setopt(m_handle.get(), option, value);
        if (code != CURLE_OK)
            ThrowSetup(code);
    }

  private:
    std::unique_ptr<CURL, EasyCleanup> m_handle;
    char m_error[CURL_ERROR_SIZE] = {}; // libcurl writes into it until the handle is cleaned up
};

// Removes the easy handle from the multi handle before either is cleaned up.
class CMultiMembership {
  public:
    CMultiMembership(CURLM *multi, CURL *easy) : m_multi(multi), m_easy(easy) {
        const CURLMcode code = curl_multi_add_handle(multi, easy);
        if (code != CURLM_OK)
            throw CTransferFailure(FailureKind::Setup, curl_multi_strerror(code));
    }
    ~CMultiMembership() { curl_multi_remove_handle(m_multi, m_easy); }
    CMultiMembership(const CMultiMembership &) = delete;
    CMultiMembership &operator=(const CMultiMembership &) = delete;

  private:
    CURLM *m_multi;
    CURL *m_easy;
};

// What the callbacks share with `Get`; no exception may cross libcurl, so they leave marks.
struct State {
    const Request &m_request;
    CSink &m_sink;
    Answer &m_answer;
    CURL *m_handle;
    std::size_t m_received = 0;
    bool m_started = false;
    bool m_secure = false; ///< a step of the transfer went over https
    bool m_tooLarge = false;
    bool m_sinkFailed = false;
    bool m_cancelled = false;
    bool m_steppedDown = false;
};

std::size_t WriteBody(char *data, std::size_t size, std::size_t count, void *userData) {
    State &state = *static_cast<State *>(userData);
    const std::size_t bytes = size * count;
    if (bytes > state.m_request.m_maxBytes - state.m_received) {
        state.m_tooLarge = true;
        return 0;
    }
    try {
        if (!state.m_started) {
            state.m_started = true;
            curl_off_t length = -1;
            if (curl_easy_getinfo(state.m_handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) ==
                    CURLE_OK &&
                length > 0 && static_cast<std::uint64_t>(length) <= state.m_request.m_maxBytes &&
                !state.m_sink.Expect(static_cast<std::size_t>(length))) {
                state.m_sinkFailed = true;
                return 0;
            }
        }
        if (!state.m_sink.Write(data, bytes)) {
            state.m_sinkFailed = true;
            return 0;
        }
    } catch (...) {
        state.m_sinkFailed = true;
        return 0;
    }
    state.m_received += bytes;
    return bytes;
}

std::size_t ReadHeader(char *data, std::size_t size, std::size_t count, void *userData) {
    State &state = *static_cast<State *>(userData);
    const std::size_t bytes = size * count;
    const std::string_view line(data, bytes);
    constexpr std::string_view kRetryAfter = "retry-after:";
    if (StartsWithIgnoringAsciiCase(line, "HTTP/")) {
        state.m_answer.m_retryAfterSeconds = -1; // every answer of a redirect chain starts afresh
    } else if (StartsWithIgnoringAsciiCase(line, kRetryAfter)) {
        try {
            state.m_answer.m_retryAfterSeconds =
                ParseRetryAfter(std::string(line.substr(kRetryAfter.size())),
                                static_cast<long long>(std::time(nullptr)));
        } catch (const std::bad_alloc &) {
            // Without memory for a header line there is no delay to read; the answer goes on.
        }
    }
    return bytes;
}

// Called at least once per step of the transfer loop, whether bytes move or not.
int CheckCancelled(void *userData, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    State &state = *static_cast<State *>(userData);
    try {
        state.m_cancelled = state.m_request.m_cancelled && state.m_request.m_cancelled();
    } catch (...) {
        state.m_cancelled = true;
    }
    return state.m_cancelled ? 1 : 0;
}

#if LIBCURL_VERSION_NUM >= 0x075000
// Called before each request of a redirect chain is sent: once a step went over https, no later
// one may go over http (an http start may still be redirected to https).
int CheckStep(void *userData, char *, char *, int, int) {
    State &state = *static_cast<State *>(userData);
    char *url = nullptr;
    curl_easy_getinfo(state.m_handle, CURLINFO_EFFECTIVE_URL, &url);
    const bool https = url != nullptr && StartsWithIgnoringAsciiCase(url, "https:");
    if (state.m_secure && !https) {
        state.m_steppedDown = true;
        return CURL_PREREQFUNC_ABORT;
    }
    state.m_secure = state.m_secure || https;
    return CURL_PREREQFUNC_OK;
}
#endif

long Milliseconds(std::chrono::milliseconds duration) {
    // libcurl reads a negative time-out as none at all.
    if (duration.count() < 0) {
        throw CTransferFailure(FailureKind::Setup, curl_easy_strerror(CURLE_BAD_FUNCTION_ARGUMENT),
                               "a negative time-out");
    }
    return static_cast<long>(std::min<long long>(duration.count(), LONG_MAX));
}

void SetPolicy(CEasyHandle &easy, const Request &request, State &state) {
    const bool https = StartsWithIgnoringAsciiCase(request.m_url, "https://");
    easy.Set(CURLOPT_URL, request.m_url.c_str());
    // Time-outs must not raise SIGALRM in a host's process.
    easy.Set(CURLOPT_NOSIGNAL, 1L);
#if LIBCURL_VERSION_NUM >= 0x075500
    easy.Set(CURLOPT_PROTOCOLS_STR, "http,https");
    easy.Set(CURLOPT_REDIR_PROTOCOLS_STR, https ? "https" : "http,https");
#else
    easy.Set(CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
    easy.Set(CURLOPT_REDIR_PROTOCOLS,
             static_cast<long>(https ? CURLPROTO_HTTPS : CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
#if LIBCURL_VERSION_NUM >= 0x075000
    easy.Set(CURLOPT_PREREQFUNCTION, &CheckStep);
    easy.Set(CURLOPT_PREREQDATA, static_cast<void *>(&state));
#endif
    easy.Set(CURLOPT_FOLLOWLOCATION, request.m_maxRedirects > 0 ? 1L : 0L);
    if (request.m_maxRedirects > 0)
        easy.Set(CURLOPT_MAXREDIRS, request.m_maxRedirects);
    easy.Set(CURLOPT_SSL_VERIFYPEER, 1L);
    easy.Set(CURLOPT_SSL_VERIFYHOST, 2L);
    if (!request.m_caFile.empty())
        easy.Set(CURLOPT_CAINFO, request.m_caFile.c_str());
    if (request.m_connectTimeout.count() != 0)
        easy.Set(CURLOPT_CONNECTTIMEOUT_MS, Milliseconds(request.m_connectTimeout));
    if (request.m_totalTimeout.count() != 0)
        easy.Set(CURLOPT_TIMEOUT_MS, Milliseconds(request.m_totalTimeout));
    // An announced length beyond the cap ends the transfer before the body; the write callback
    // counts the rest (chunked, compressed, or lying about its length).
    easy.Set(CURLOPT_MAXFILESIZE_LARGE,
             static_cast<curl_off_t>(std::min<std::uint64_t>(request.m_maxBytes, INT64_MAX)));
    if (!request.m_userAgent.empty())
        easy.Set(CURLOPT_USERAGENT, request.m_userAgent.c_str());
    if (request.m_acceptEncoding)
        easy.Set(CURLOPT_ACCEPT_ENCODING, "");
    easy.Set(CURLOPT_WRITEFUNCTION, &WriteBody);
    easy.Set(CURLOPT_WRITEDATA, static_cast<void *>(&state));
    easy.Set(CURLOPT_HEADERFUNCTION, &ReadHeader);
    easy.Set(CURLOPT_HEADERDATA, static_cast<void *>(&state));
    easy.Set(CURLOPT_NOPROGRESS, 0L);
    easy.Set(CURLOPT_XFERINFOFUNCTION, &CheckCancelled);
    easy.Set(CURLOPT_XFERINFODATA, static_cast<void *>(&state));
}

// Runs the transfer to its end. @return libcurl's result for it.
CURLcode Perform(CURL *handle) {
    const std::unique_ptr<CURLM, MultiCleanup> multi(curl_multi_init());
    if (!multi)
        ThrowSetup(CURLE_OUT_OF_MEMORY);
    const CMultiMembership membership(multi.get(), handle);
    for (;;) {
        int running = 0;
        CURLMcode code = curl_multi_perform(multi.get(), &running);
        if (code == CURLM_OK && running == 0)
            break;
        if (code == CURLM_OK)
            code = curl_multi_poll(multi.get(), nullptr, 0, kPollMilliseconds, nullptr);
        if (code != CURLM_OK)
            throw CTransferFailure(FailureKind::Setup, curl_multi_strerror(code));
    }
    int left = 0;
    while (const CURLMsg *message = curl_multi_info_read(multi.get(), &left)) {
        if (message->msg == CURLMSG_DONE)
            return message->data.result;
    }
    return CURLE_FAILED_INIT; // libcurl reported no end: nothing can be said of the answer
}

[[noreturn]] void ThrowFailure(const State &state, CURLcode code, const char *errorText) {
    long status = 0;
    if (curl_easy_getinfo(state.m_handle, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK)
        status = 0;
    FailureKind kind = FailureKind::Transfer;
    std::string detail = errorText;
    if (code == CURLE_ABORTED_BY_CALLBACK && state.m_steppedDown) {
        code = CURLE_UNSUPPORTED_PROTOCOL; // as libcurl refuses a protocol it may not follow
        detail = "a redirect from https to http was refused";
    } else if (code == CURLE_ABORTED_BY_CALLBACK && state.m_cancelled) {
        kind = FailureKind::Cancelled;
    } else if (code == CURLE_FILESIZE_EXCEEDED || (code == CURLE_WRITE_ERROR && state.m_tooLarge)) {
        kind = FailureKind::TooLarge;
        code = CURLE_FILESIZE_EXCEEDED;
    } else if (code == CURLE_WRITE_ERROR && state.m_sinkFailed) {
        kind = FailureKind::SinkFailed;
    } else if (code == CURLE_OPERATION_TIMEDOUT) {
        kind = FailureKind::TimedOut;
    }
    throw CTransferFailure(kind, curl_easy_strerror(code), detail, status);
}

} // namespace

bool CMemorySink::Expect(std::size_t length) {
    m_body.reserve(m_body.size() + length);
    return true;
}

bool CMemorySink::Write(const char *data, std::size_t size) {
    m_body.append(data, size);
    return true;
}

CTransferFailure::CTransferFailure(FailureKind kind, const std::string &text, std::string detail,
                                   long status)
    : std::runtime_error(text), m_kind(kind), m_detail(std::move(detail)), m_status(status) {}

Answer Get(const Request &request, CSink &sink) {
    InitialiseCurl();
    CEasyHandle easy;
    Answer answer;
    State state{request, sink, answer, easy.Get()};
    SetPolicy(easy, request, state);
    const CURLcode result = Perform(easy.Get());
    if (result != CURLE_OK)
        ThrowFailure(state, result, easy.GetErrorText());
    CURLcode code = curl_easy_getinfo(easy.Get(), CURLINFO_RESPONSE_CODE, &answer.m_status);
    if (code != CURLE_OK)
        ThrowSetup(code);
    const char *type = nullptr;
    code = curl_easy_getinfo(easy.Get(), CURLINFO_CONTENT_TYPE, &type);
    if (code != CURLE_OK)
        ThrowSetup(code);
    if (type != nullptr)
        answer.m_contentType = type;
    return answer;
}

double ParseRetryAfter(const std::string &value, long long now) {
    const std::size_t first = value.find_first_not_of(" \t");
    const std::size_t last = value.find_last_not_of(" \t\r\n");
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

} // namespace Geo::Net
