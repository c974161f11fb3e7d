// CWmsClient: GetCapabilities and GetMap over HTTP(S) against a WMS server.
#ifndef VEXOGEO_WMS_WMS_CLIENT_H
#define VEXOGEO_WMS_WMS_CLIENT_H

#include <atomic>
#include <cstddef>
#include <stdexcept>
#include <string>

#include <vexogeo/export.h>
#include <vexogeo/wms/wms_capabilities.h>
#include <vexogeo/wms/wms_url.h>

namespace Geo {

/// Limits of one transfer. The defaults suit an interactive map client.
struct WmsClientOptions {
    long connectTimeoutMs = 10000;    ///< giving up on connecting after this
    long totalTimeoutMs = 60000;      ///< giving up on the whole transfer after this
    std::size_t maxBytes = 64u << 20; ///< an answer longer than this is refused
    long maxRedirects = 5;            ///< redirects followed; never from https to http
    std::string userAgent = "VexoGeo-WMS/1";
    /// PEM file of the certificate authorities to trust instead of the system's (empty: the
    /// system's); verification itself is never switched off.
    std::string caFile;
};

/// What went wrong with a WMS request.
enum class WmsErrorKind {
    Transfer,         ///< no answer: connection, TLS, time-out, redirect limit or https->http
    TooLarge,         ///< the answer exceeds `WmsClientOptions::maxBytes`
    HttpStatus,       ///< an HTTP status other than 2xx without a service exception
    ServiceException, ///< the server answered with a ServiceExceptionReport
    /// a GetMap answer whose content type is not of the family of the format asked for (PNG for
    /// image/png8, PNG or JPEG for image/vnd.jpeg-png), or whose bytes do not begin as an image
    /// of that family does (an HTML page, XML, text)
    WrongContentType,
    InvalidDocument, ///< capabilities that do not read
    File,            ///< a local file could not be read or written
    Cancelled        ///< `CWmsClient::Cancel` ended the request
};

/// The error every request of `CWmsClient` throws. For a service exception `GetCode` is the
/// server's exception code (e.g. "LayerNotDefined", possibly empty) and `GetText` its text.
class VEXOGEO_API CWmsError : public std::runtime_error {
  public:
    CWmsError(WmsErrorKind kind, std::string code, std::string text);
    WmsErrorKind GetKind() const { return m_kind; }
    const std::string &GetCode() const { return m_code; }
    const std::string &GetText() const { return m_text; }

  private:
    WmsErrorKind m_kind;
    std::string m_code;
    std::string m_text;
};

/// A WMS client over libcurl. Holds its options: one object may serve several threads at once;
/// each request has its own libcurl handle. Certificates are always verified.
class VEXOGEO_API CWmsClient {
  public:
    explicit CWmsClient(WmsClientOptions options = WmsClientOptions());
    /// Copies the options; a copy is not cancelled by the original's `Cancel`, nor it by the
    /// copy's.
    CWmsClient(const CWmsClient &other);
    CWmsClient &operator=(const CWmsClient &other);

    /// @return the capabilities URL for `address`: the address without its "#fragment" and
    /// without SERVICE, REQUEST and VERSION parameters of its own (in any case; others such as
    /// "map=..." stay in place), joined with "?" or "&" as it needs, then
    /// SERVICE=WMS&REQUEST=GetCapabilities&VERSION=1.3.0.
    static std::string CapabilitiesUrl(const std::string &address);
    /// As above, asking for `version`. @throws std::invalid_argument unless `version` is
    /// "1.1.1" or "1.3.0".
    static std::string CapabilitiesUrl(const std::string &address, const std::string &version);
    /// Asks the server for version 1.3.0 and accepts the version it answers with (1.1.1 too).
    /// @throws CWmsError (any kind but WrongContentType and File).
    WmsCapabilities GetCapabilities(const std::string &address) const;
    /// Asks the server for `version` ("1.1.1" or "1.3.0") and accepts the version it answers
    /// with. @throws std::invalid_argument for another version; else as above.
    WmsCapabilities GetCapabilities(const std::string &address, const std::string &version) const;
    /// Reads a capabilities document from a local file.
    /// @throws CWmsError of kind File (also for a file beyond maxBytes), ServiceException or
    /// InvalidDocument.
    WmsCapabilities LoadCapabilitiesFile(const std::string &path) const;

    /// Fetches `request.GetRequestUrl()`. @return the image bytes exactly as sent.
    /// @throws CWmsError; std::invalid_argument as `GetRequestUrl`.
    std::string GetMap(const CWmsUrl &request) const;
    /// As `GetMap`, streaming the bytes into a new file beside `path` that replaces `path` only
    /// when the answer is a complete image; on any error `path` is unchanged and no new file
    /// remains. A link is written through; an existing file keeps its permissions, a new one
    /// gets 0666 less the umask. Only a regular file its owner may write is replaced.
    /// @throws CWmsError of kind File before any request when `path` names a folder, a device,
    /// a named pipe, a socket or a read-only file, or lies in a folder that does not exist; of
    /// kind File when writing fails (a full disk, the file-size limit); else as `GetMap`.
    void GetMapToFile(const CWmsUrl &request, const std::string &path) const;

    /// Ends the requests of this client that are running now, from any thread: within a few
    /// milliseconds they throw CWmsError of kind Cancelled. Later requests run normally.
    void Cancel() const noexcept;

  private:
    WmsClientOptions m_options;
    mutable std::atomic<unsigned long long> m_generation{0};
};

} // namespace Geo

#endif
