// The library's one way to talk to servers: an HTTP(S) GET through libcurl under one policy.
#ifndef VEXOGEO_NET_TRANSFER_H
#define VEXOGEO_NET_TRANSFER_H

#include <chrono>
#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>

namespace Geo::Net {

/// Where the body of an answer goes, as it arrives. Called on the transferring thread only.
class CSink {
  public:
    virtual ~CSink() = default;
    /// The body's length as the server announced it, before its first byte; not called when
    /// none was announced or it is beyond the size cap. @return false to end the transfer.
    virtual bool Expect(std::size_t /*length*/) { return true; }
    /// The next `size` bytes of the body. @return false to end the transfer (a failed write).
    virtual bool Write(const char *data, std::size_t size) = 0;
};

/// Keeps the body in memory, in one buffer of the announced length when one is announced.
class CMemorySink : public CSink {
  public:
    bool Expect(std::size_t length) override;
    bool Write(const char *data, std::size_t size) override;
    std::string m_body;
};

/// One GET. Fixed for every transfer: only http and https, certificates verified against the
/// system's authorities (or `m_caFile`), no signals, and no redirect from https to http.
struct Request {
    std::string m_url;                             ///< absolute, already encoded
    std::string m_userAgent;                       ///< empty: no User-Agent header
    std::chrono::milliseconds m_connectTimeout{0}; ///< 0: libcurl's own (300 s)
    std::chrono::milliseconds m_totalTimeout{0};   ///< the whole transfer; 0: none
    std::size_t m_maxBytes = 64u << 20;            ///< a longer body ends the transfer
    long m_maxRedirects = 0;                       ///< 0: a redirect is the answer itself
    std::string m_caFile;                          ///< PEM authorities instead of the system's
    bool m_acceptEncoding = false;                 ///< offer every encoding libcurl decodes
    std::function<bool()> m_cancelled;             ///< asked every few ms; may be empty
};

/// What came back besides the body, whatever the status.
struct Answer {
    long m_status = 0;               ///< the HTTP status of the last answer
    std::string m_contentType;       ///< its Content-Type as sent; empty when none
    double m_retryAfterSeconds = -1; ///< its Retry-After (seconds or a date) in seconds, else -1
};

/// Why a transfer ended without an answer.
enum class FailureKind {
    Setup,     ///< libcurl could not be set up: initialisation, a handle, an option
    Transfer,  ///< name, connection, TLS, protocol, redirects, a refused step down to http
    TimedOut,  ///< past the connect or total time-out
    TooLarge,  ///< the body exceeds `Request::m_maxBytes`
    Cancelled, ///< `Request::m_cancelled` answered true
    SinkFailed ///< the sink refused the bytes
};

/// A transfer that ended without an answer. `what()` is libcurl's text for its code (for
/// example "Timeout was reached"), or the failed call's name when libcurl made no handle.
class CTransferFailure : public std::runtime_error {
  public:
    CTransferFailure(FailureKind kind, const std::string &text, std::string detail = {},
                     long status = 0);
    FailureKind GetKind() const noexcept { return m_kind; }
    /// libcurl's own words on this transfer (its error buffer), or ours; may be empty.
    const std::string &GetDetail() const noexcept { return m_detail; }
    /// The status of an answer that had begun to arrive; 0 when none had.
    long GetStatus() const noexcept { return m_status; }

  private:
    FailureKind m_kind;
    std::string m_detail;
    long m_status;
};

/// Sends the GET and streams the body into `sink`. Thread-safe: each call has its own handles.
/// @return the answer of any status (redirects beyond the first `m_maxRedirects` included).
/// @throw CTransferFailure when no complete answer arrived.
Answer Get(const Request &request, CSink &sink);

/// Seconds from a Retry-After value: a whole number of seconds, or an HTTP date relative to
/// `now` (seconds since 1970). @return -1 for anything else.
double ParseRetryAfter(const std::string &value, long long now);

} // namespace Geo::Net

#endif
