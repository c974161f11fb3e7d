// CWmsClient: the HTTP(S) transfers of GetCapabilities and GetMap through libcurl.
#include <vexogeo/wms/wms_client.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include <curl/curl.h>

#include "platform/regular_file.h"
#include "platform/temporary_file.h"
#include "wms/request_encoding.h"
#include "wms/xml_reading.h"
#include "xml/xml_access.h"

namespace Geo {

namespace {

struct EasyCleanup {
    void operator()(CURL *handle) const { curl_easy_cleanup(handle); }
};

// Pairs libcurl's global initialisation with its clean-up on every way out of a transfer
// (reference-counted and thread-safe in the libcurl versions the library builds against).
class CCurlGlobal {
  public:
    CCurlGlobal() {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
            throw CWmsError(WmsErrorKind::Transfer, "", "libcurl could not be initialised.");
    }
    ~CCurlGlobal() { curl_global_cleanup(); }
    CCurlGlobal(const CCurlGlobal &) = delete;
    CCurlGlobal &operator=(const CCurlGlobal &) = delete;
};

// The first bytes of an answer are kept to tell an XML exception from an image.
constexpr std::size_t kSniffBytes = 256;
// A service exception is read back from a file only up to this size.
constexpr std::size_t kMaxExceptionBytes = 1u << 20;

// Where the answer goes: a string, or a temporary file. Counts the bytes against the cap.
struct Sink {
    std::string *memory = nullptr;
    Platform::CTemporaryFile *file = nullptr; ///< where the answer goes when not to `memory`
    CURL *handle = nullptr;
    std::size_t limit = 0;
    std::size_t received = 0;
    std::string head;
    bool tooLarge = false;
    bool writeFailed = false;
};

std::size_t Write(char *data, std::size_t size, std::size_t count, void *context) {
    auto *sink = static_cast<Sink *>(context);
    const std::size_t bytes = size * count;
    if (bytes > sink->limit - sink->received) {
        sink->tooLarge = true;
        return 0;
    }
    if (sink->received == 0 && sink->memory) {
        // One buffer of the announced size: the image is not copied while it grows.
        curl_off_t length = -1;
        if (curl_easy_getinfo(sink->handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) ==
                CURLE_OK &&
            length > 0 && static_cast<std::size_t>(length) <= sink->limit) {
            try {
                sink->memory->reserve(static_cast<std::size_t>(length));
            } catch (...) {
                sink->writeFailed = true;
                return 0;
            }
        }
    }
    sink->received += bytes;
    if (sink->head.size() < kSniffBytes)
        sink->head.append(data, std::min(bytes, kSniffBytes - sink->head.size()));
    try {
        if (sink->memory) {
            sink->memory->append(data, bytes);
        } else {
            if (!sink->file->Write(data, bytes)) {
                sink->writeFailed = true;
                return 0;
            }
        }
    } catch (...) {
        sink->writeFailed = true;
        return 0;
    }
    return bytes;
}

struct Answer {
    long status = 0;
    std::string contentType;
};

Answer Transfer(const WmsClientOptions &options, const std::string &url, Sink &sink) {
    const CCurlGlobal global;
    const std::unique_ptr<CURL, EasyCleanup> curl(curl_easy_init());
    if (!curl)
        throw CWmsError(WmsErrorKind::Transfer, "", "libcurl could not create a transfer.");
    CURL *handle = curl.get();
    char errorBuffer[CURL_ERROR_SIZE] = {};
    const bool https = url.compare(0, 8, "https://") == 0 || url.compare(0, 8, "HTTPS://") == 0;
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    // Once on https, a redirect may never leave it.
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, https ? "https" : "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, options.maxRedirects > 0 ? 1L : 0L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, options.maxRedirects);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!options.caFile.empty())
        curl_easy_setopt(handle, CURLOPT_CAINFO, options.caFile.c_str());
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, options.connectTimeoutMs);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, options.totalTimeoutMs);
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(std::min<std::size_t>(options.maxBytes, INT64_MAX)));
    curl_easy_setopt(handle, CURLOPT_USERAGENT, options.userAgent.c_str());
    curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, ""); // whatever libcurl can decode
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, Write);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &sink);
    sink.limit = options.maxBytes;
    sink.handle = handle;
    const CURLcode code = curl_easy_perform(handle);
    if (sink.tooLarge || code == CURLE_FILESIZE_EXCEEDED)
        throw CWmsError(WmsErrorKind::TooLarge, "",
                        "The answer of " + url + " is larger than " +
                            std::to_string(options.maxBytes) + " bytes.");
    if (sink.writeFailed)
        throw CWmsError(WmsErrorKind::File, "", "The answer could not be stored.");
    if (code != CURLE_OK) {
        std::string text = curl_easy_strerror(code);
        if (errorBuffer[0])
            text += std::string(": ") + errorBuffer;
        throw CWmsError(WmsErrorKind::Transfer, "", text + " (" + url + ")");
    }
    Answer answer;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &answer.status);
    const char *type = nullptr;
    if (curl_easy_getinfo(handle, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type)
        answer.contentType = type;
    return answer;
}

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

// Throws the server's exception when `body` is a ServiceExceptionReport.
void ThrowServiceException(const std::string &body) {
    const Xml::DocumentPtr document = Xml::ParseXmlBytes(body);
    std::string code, text;
    if (document && Wms::ReadServiceException(document.get(), code, text))
        throw CWmsError(WmsErrorKind::ServiceException, code, text);
}

// A 1.1.1 exception may carry a document type declaration; "<!DOCTYPE" then starts it.
bool MayBeException(const std::string &head) {
    return LooksLikeXml(head) || head.find("ServiceExceptionReport") != std::string::npos;
}

std::string MediaType(const std::string &contentType) {
    std::string type = contentType.substr(0, contentType.find(';'));
    while (!type.empty() && type.back() == ' ')
        type.pop_back();
    std::size_t first = 0;
    while (first < type.size() && type[first] == ' ')
        ++first;
    return type.substr(first);
}

void CheckStatus(const Answer &answer, const std::string &url) {
    if (answer.status < 200 || answer.status > 299)
        throw CWmsError(WmsErrorKind::HttpStatus, std::to_string(answer.status),
                        "The server answered HTTP " + std::to_string(answer.status) + " to " + url);
}

void CheckImage(const Answer &answer, const CWmsUrl &request, const std::string &url) {
    CheckStatus(answer, url);
    const std::string wanted = MediaType(request.GetFormat());
    const std::string got = MediaType(answer.contentType);
    if (!Wms::EqualsIgnoringAsciiCase(wanted, got))
        throw CWmsError(WmsErrorKind::WrongContentType, got,
                        "The server answered with content type \"" + answer.contentType +
                            "\" instead of \"" + request.GetFormat() + "\".");
}

WmsCapabilities ReadCapabilities(const std::string &bytes) {
    ThrowServiceException(bytes);
    WmsCapabilities capabilities;
    std::string error;
    if (!ParseWmsCapabilities(bytes, capabilities, error))
        throw CWmsError(WmsErrorKind::InvalidDocument, "", error);
    return capabilities;
}

} // namespace

CWmsError::CWmsError(WmsErrorKind kind, std::string code, std::string text)
    : std::runtime_error(
          code.empty() || kind != WmsErrorKind::ServiceException ? text : code + ": " + text),
      m_kind(kind), m_code(std::move(code)), m_text(std::move(text)) {}

CWmsClient::CWmsClient(WmsClientOptions options) : m_options(std::move(options)) {}

std::string CWmsClient::CapabilitiesUrl(const std::string &address) {
    std::string url = address;
    if (url.find('?') == std::string::npos)
        url += '?';
    else if (url.back() != '?' && url.back() != '&')
        url += '&';
    return url + "SERVICE=WMS&REQUEST=GetCapabilities&VERSION=1.3.0";
}

WmsCapabilities CWmsClient::GetCapabilities(const std::string &address) const {
    const std::string url = CapabilitiesUrl(address);
    std::string body;
    Sink sink;
    sink.memory = &body;
    const Answer answer = Transfer(m_options, url, sink);
    if (MayBeException(sink.head))
        ThrowServiceException(body);
    CheckStatus(answer, url);
    return ReadCapabilities(body);
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
    std::string image;
    Sink sink;
    sink.memory = &image;
    const Answer answer = Transfer(m_options, url, sink);
    if (MayBeException(sink.head))
        ThrowServiceException(image);
    CheckImage(answer, request, url);
    return image;
}

void CWmsClient::GetMapToFile(const CWmsUrl &request, const std::string &path) const {
    const std::string url = request.GetRequestUrl();
    Platform::CTemporaryFile file;
    if (!file.Create(path))
        throw CWmsError(WmsErrorKind::File, "",
                        "No temporary file can be created beside " + path + ".");
    Sink sink;
    sink.file = &file;
    const Answer answer = Transfer(m_options, url, sink);
    if (MayBeException(sink.head)) {
        std::string body;
        if (Platform::ReadRegularFile(file.GetPath(), kMaxExceptionBytes, body))
            ThrowServiceException(body);
    }
    CheckImage(answer, request, url);
    if (!file.Commit(path))
        throw CWmsError(WmsErrorKind::File, "", "The image could not be written to " + path);
}

} // namespace Geo
