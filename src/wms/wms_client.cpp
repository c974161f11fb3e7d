// CWmsClient: the HTTP(S) transfers of GetCapabilities and GetMap through the transport.
#include <vexogeo/wms/wms_client.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <stdexcept>

#include "net/transfer.h"
#include "platform/file_writer.h"
#include "platform/regular_file.h"
#include "text/ascii.h"
#include "text/server_text.h"
#include "text/url_text.h"
#include "wms/image_format.h"
#include "wms/xml_reading.h"
#include "xml/xml_access.h"

namespace Geo {

namespace {

// The first bytes of an answer are kept to tell an XML exception from an image.
constexpr std::size_t kSniffBytes = 256;
// A service exception is read back from a file only up to this size.
constexpr std::size_t kMaxExceptionBytes = 1u << 20;

bool LooksLikeXml(const std::string &head) {
    std::size_t i = 0;
    if (head.compare(0, 3, "\xEF\xBB\xBF") == 0)
        i = 3;
    while (i < head.size() &&
           (head[i] == ' ' || head[i] == '\t' || head[i] == '\r' || head[i] == '\n'))
        ++i;
    return i < head.size() && head[i] == '<' && head.compare(i, 5, "<html") != 0 &&
           head.compare(i, 5, "<HTML") != 0 && head.compare(i, 9, "<!DOCTYPE") != 0 &&
           head.compare(i, 9, "<!doctype") != 0;
}

// A 1.1.1 exception may carry a document type declaration; "<!DOCTYPE" then starts it.
bool MayBeException(const std::string &head) {
    return LooksLikeXml(head) || head.find("ServiceExceptionReport") != std::string::npos;
}

// Passes the answer straight through to memory or to a file writer, keeping its first bytes. An
// answer written to a file is also kept in memory while it may be a service exception (small, to
// be read); an image is not copied.
class CAnswerSink : public Net::CSink {
  public:
    explicit CAnswerSink(Platform::CFileWriter *file = nullptr) : m_file(file) {}
    bool Expect(std::size_t length) override { return m_file || m_memory.Expect(length); }
    bool Write(const char *data, std::size_t size) override {
        if (m_head.size() < kSniffBytes)
            m_head.append(data, std::min(size, kSniffBytes - m_head.size()));
        if (!m_file)
            return m_memory.Write(data, size);
        m_received += size;
        if (m_keepsException && ((m_head.size() >= kSniffBytes && !MayBeException(m_head)) ||
                                 m_received > kMaxExceptionBytes)) {
            m_keepsException = false;
            std::string().swap(m_exception);
        }
        if (m_keepsException)
            m_exception.append(data, size);
        if (!m_file->Write(data, size)) {
            m_writeFailed = true;
            return false;
        }
        return true;
    }
    std::string &Body() { return m_memory.m_body; }
    const std::string &Head() const { return m_head; }
    /// The answer written to the file, while it may still be a service exception.
    const std::string *Exception() const { return m_keepsException ? &m_exception : nullptr; }
    bool WriteFailed() const { return m_writeFailed; }

  private:
    Platform::CFileWriter *m_file;
    Net::CMemorySink m_memory;
    std::string m_head;
    std::string m_exception;
    std::size_t m_received = 0;
    bool m_keepsException = true;
    bool m_writeFailed = false;
};

Net::Answer Transfer(const WmsClientOptions &options, const std::string &url, CAnswerSink &sink,
                     const std::function<bool()> &cancelled) {
    Net::Request request;
    request.m_url = url;
    request.m_userAgent = options.userAgent;
    request.m_connectTimeout = std::chrono::milliseconds(options.connectTimeoutMs);
    request.m_totalTimeout = std::chrono::milliseconds(options.totalTimeoutMs);
    request.m_maxBytes = options.maxBytes;
    request.m_maxRedirects = options.maxRedirects;
    request.m_caFile = options.caFile;
    request.m_acceptEncoding = true;
    request.m_cancelled = cancelled;
    try {
        return Net::Get(request, sink);
    } catch (const Net::CTransferFailure &failure) {
        switch (failure.GetKind()) {
        case Net::FailureKind::TooLarge:
            throw CWmsError(WmsErrorKind::TooLarge, "",
                            "The answer of " + url + " is larger than " +
                                std::to_string(options.maxBytes) + " bytes.");
        case Net::FailureKind::SinkFailed:
            throw CWmsError(WmsErrorKind::File, "", "The answer could not be stored.");
        case Net::FailureKind::Cancelled:
            throw CWmsError(WmsErrorKind::Cancelled, "",
                            "The request for " + url + " was cancelled.");
        default:
            break;
        }
        std::string text = failure.what();
        if (!failure.GetDetail().empty())
            text += ": " + failure.GetDetail();
        throw CWmsError(WmsErrorKind::Transfer, "", text + " (" + url + ")");
    }
}

// True once `Cancel` has been called after this moment.
std::function<bool()> CancelledSince(const std::atomic<unsigned long long> &generation) {
    const unsigned long long start = generation.load();
    return [&generation, start] { return generation.load() != start; };
}

// Throws the server's exception when `body` is a ServiceExceptionReport.
void ThrowServiceException(const std::string &body) {
    const Xml::DocumentPtr document = Xml::ParseXmlBytes(body);
    std::string code, text;
    if (document && Wms::ReadServiceException(document.get(), code, text))
        throw CWmsError(WmsErrorKind::ServiceException, code, text);
}

void CheckStatus(const Net::Answer &answer, const std::string &url) {
    if (answer.m_status < 200 || answer.m_status > 299)
        throw CWmsError(WmsErrorKind::HttpStatus, std::to_string(answer.m_status),
                        "The server answered HTTP " + std::to_string(answer.m_status) + " to " +
                            url);
}

// The answer is taken for the image asked for when its content type names a format of the same
// family (a server asked for image/png8 answers image/png) and its first bytes carry that
// family's signature; an HTML page or an XML document never does. Formats outside the raster
// families (SVG, PDF) need their own content type.
void CheckImage(const Net::Answer &answer, const std::string &head, const CWmsUrl &request,
                const std::string &url) {
    CheckStatus(answer, url);
    const std::string format = request.GetFormat();
    const std::string got(Wms::MediaType(answer.m_contentType));
    const unsigned wanted = Wms::FormatFamilies(format);
    const unsigned announced = Wms::FormatFamilies(answer.m_contentType);
    const bool sameType = wanted == Wms::kNoFamily
                              ? EqualsIgnoringAsciiCase(Wms::MediaType(format), got)
                              : (announced & wanted) != 0;
    if (!sameType)
        throw CWmsError(WmsErrorKind::WrongContentType, ToValidUtf8(got),
                        "The server answered with content type \"" +
                            ToValidUtf8(answer.m_contentType) + "\" instead of \"" + format +
                            "\".");
    if (wanted != Wms::kNoFamily && (Wms::SignatureFamily(head) & announced & wanted) == 0)
        throw CWmsError(WmsErrorKind::WrongContentType, ToValidUtf8(got),
                        "The answer announced as \"" + ToValidUtf8(answer.m_contentType) +
                            "\" does not begin as such an image does.");
}

WmsCapabilities ReadCapabilities(const std::string &bytes) {
    WmsCapabilities capabilities;
    std::string error;
    if (ParseWmsCapabilities(bytes, capabilities, error))
        return capabilities;
    // Only a refused document is parsed again, for a service exception's code and text: a
    // large capabilities document is parsed once.
    ThrowServiceException(bytes);
    throw CWmsError(WmsErrorKind::InvalidDocument, "", error);
}

} // namespace

CWmsError::CWmsError(WmsErrorKind kind, std::string code, std::string text)
    : std::runtime_error(
          code.empty() || kind != WmsErrorKind::ServiceException ? text : code + ": " + text),
      m_kind(kind), m_code(std::move(code)), m_text(std::move(text)) {}

CWmsClient::CWmsClient(WmsClientOptions options) : m_options(std::move(options)) {}

CWmsClient::CWmsClient(const CWmsClient &other) : m_options(other.m_options) {}

CWmsClient &CWmsClient::operator=(const CWmsClient &other) {
    m_options = other.m_options;
    return *this;
}

void CWmsClient::Cancel() const noexcept { ++m_generation; }

std::string CWmsClient::CapabilitiesUrl(const std::string &address) {
    return CapabilitiesUrl(address, "1.3.0");
}

std::string CWmsClient::CapabilitiesUrl(const std::string &address, const std::string &version) {
    if (version != "1.3.0" && version != "1.1.1")
        throw std::invalid_argument("WMS version \"" + version +
                                    "\" is not one this client speaks (1.1.1 or 1.3.0).");
    // An address copied from a browser may carry a request of its own; servers read the first
    // VERSION they find, so the address's go.
    std::string url = AddressWithoutParameters(address, [](std::string_view name) {
        return EqualsIgnoringAsciiCase(name, "service") ||
               EqualsIgnoringAsciiCase(name, "request") || EqualsIgnoringAsciiCase(name, "version");
    });
    AppendQuerySeparator(url);
    return url + "SERVICE=WMS&REQUEST=GetCapabilities&VERSION=" + version;
}

WmsCapabilities CWmsClient::GetCapabilities(const std::string &address) const {
    return GetCapabilities(address, "1.3.0");
}

WmsCapabilities CWmsClient::GetCapabilities(const std::string &address,
                                            const std::string &version) const {
    const std::string url = CapabilitiesUrl(address, version);
    CAnswerSink sink;
    const Net::Answer answer = Transfer(m_options, url, sink, CancelledSince(m_generation));
    if (MayBeException(sink.Head()))
        ThrowServiceException(sink.Body());
    CheckStatus(answer, url);
    return ReadCapabilities(sink.Body());
}

WmsCapabilities CWmsClient::LoadCapabilitiesFile(const std::string &path) const {
    std::string bytes;
    if (!Platform::ReadRegularFile(path, m_options.maxBytes, bytes))
        throw CWmsError(WmsErrorKind::File, "",
                        "The file " + path + " cannot be read or is larger than " +
                            std::to_string(m_options.maxBytes) + " bytes.");
    return ReadCapabilities(bytes);
}

std::string CWmsClient::GetMap(const CWmsUrl &request) const {
    const std::string url = request.GetRequestUrl();
    CAnswerSink sink;
    const Net::Answer answer = Transfer(m_options, url, sink, CancelledSince(m_generation));
    if (MayBeException(sink.Head()))
        ThrowServiceException(sink.Body());
    CheckImage(answer, sink.Head(), request, url);
    return std::move(sink.Body());
}

void CWmsClient::GetMapToFile(const CWmsUrl &request, const std::string &path) const {
    const std::string url = request.GetRequestUrl();
    // Opened before the transfer: a target that may not be replaced is refused before any
    // request is sent. A writer left without a commit leaves the target as it was.
    Platform::CFileWriter file;
    if (!file.Open(path))
        throw CWmsError(WmsErrorKind::File, "",
                        "The image cannot be written to " + path + ": " + file.GetErrorText());
    CAnswerSink sink(&file);
    Net::Answer answer;
    try {
        answer = Transfer(m_options, url, sink, CancelledSince(m_generation));
    } catch (const CWmsError &error) {
        if (sink.WriteFailed())
            throw CWmsError(WmsErrorKind::File, "",
                            "The image could not be written: " + file.GetErrorText());
        throw;
    }
    if (sink.Exception() && MayBeException(sink.Head()))
        ThrowServiceException(*sink.Exception());
    CheckImage(answer, sink.Head(), request, url);
    if (!file.Commit())
        throw CWmsError(WmsErrorKind::File, "",
                        "The image could not be written to " + path + ": " + file.GetErrorText());
}

} // namespace Geo
