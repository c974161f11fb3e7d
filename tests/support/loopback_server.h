// An HTTP or HTTPS server on 127.0.0.1, run in the test process, recording what it receives.
#ifndef VEXOGEO_TESTS_SUPPORT_LOOPBACK_SERVER_H
#define VEXOGEO_TESTS_SUPPORT_LOOPBACK_SERVER_H

#include <httplib.h>
#ifndef _WIN32 // the POSIX tests link OpenSSL for the TLS server; the Windows ones serve HTTP only
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

namespace VexoGeoTest {

/// What the server saw of the last request: the target as sent, the decoded "q", the User-Agent.
struct ReceivedRequest {
    std::string m_target, m_query, m_userAgent;
};

/// A handler that answers every request with `status`, `body` as JSON and, when it is not empty,
/// a Retry-After header.
inline std::function<void(const httplib::Request &, httplib::Response &)>
Answering(int status, std::string body, std::string retryAfter = "") {
    return [=](const httplib::Request &, httplib::Response &response) {
        response.status = status;
        if (!retryAfter.empty())
            response.set_header("Retry-After", retryAfter);
        response.set_content(body, "application/json; charset=utf-8");
    };
}

/// Serves every GET with `handler` on an ephemeral loopback port until destroyed, one request
/// a connection. With TLS it presents a self-signed certificate for IP 127.0.0.1, made on the
/// spot, whose PEM file CaFile() names; on Windows asking for TLS throws.
class LoopbackServer {
  public:
    using Handler = std::function<void(const httplib::Request &, httplib::Response &)>;

    explicit LoopbackServer(Handler handler, bool selfSignedTls = false)
        : m_scheme(selfSignedTls ? "https" : "http") {
        m_server = selfSignedTls ? MakeTlsServer() : std::make_unique<httplib::Server>();
        m_server->set_keep_alive_max_count(1);
        m_server->Get(
            ".*", [this, handler](const httplib::Request &request, httplib::Response &response) {
                {
                    const std::lock_guard<std::mutex> lock(m_mutex);
                    ++m_count;
                    m_last = {request.target, request.get_param_value("q"),
                              request.get_header_value("User-Agent")};
                }
                handler(request, response);
            });
        m_port = m_server->bind_to_any_port("127.0.0.1");
        if (m_port <= 0)
            throw std::runtime_error("cannot bind a loopback port");
        m_thread = std::thread([this] { m_server->listen_after_bind(); });
        while (!m_server->is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~LoopbackServer() {
        m_server->stop();
        m_thread.join();
        if (!m_caFile.empty())
            std::remove(m_caFile.c_str());
    }

    std::string Url(const std::string &path) const {
        return m_scheme + "://127.0.0.1:" + std::to_string(m_port) + path;
    }
    std::string SearchUrl() const { return Url("/search"); }
    int Port() const { return m_port; }
    const std::string &CaFile() const { return m_caFile; }
    int RequestCount() const {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_count;
    }
    ReceivedRequest LastRequest() const {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_last;
    }

  private:
#ifdef _WIN32
    std::unique_ptr<httplib::Server> MakeTlsServer() {
        throw std::runtime_error("no TLS loopback server on Windows");
    }
#else
    std::unique_ptr<httplib::Server> MakeTlsServer() {
        const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"),
                                                                      EVP_PKEY_free);
        const std::unique_ptr<X509, decltype(&X509_free)> cert(X509_new(), X509_free);
        X509_set_version(cert.get(), 2);
        ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
        X509_gmtime_adj(X509_getm_notBefore(cert.get()), -60);
        X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3600);
        X509_set_pubkey(cert.get(), key.get());
        X509_NAME *name = X509_get_subject_name(cert.get());
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char *>("127.0.0.1"), -1, -1, 0);
        X509_set_issuer_name(cert.get(), name);
        X509V3_CTX context;
        X509V3_set_ctx_nodb(&context);
        X509V3_set_ctx(&context, cert.get(), cert.get(), nullptr, nullptr, 0);
        X509_EXTENSION *san =
            X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, "IP:127.0.0.1");
        X509_add_ext(cert.get(), san, -1);
        X509_EXTENSION_free(san);
        if (X509_sign(cert.get(), key.get(), EVP_sha256()) == 0)
            throw std::runtime_error("cannot make a self-signed certificate");
        char path[] = "/tmp/vexogeo_loopback_ca_XXXXXX";
        const int fd = ::mkstemp(path);
        FILE *file = fd < 0 ? nullptr : ::fdopen(fd, "w");
        if (file == nullptr || PEM_write_X509(file, cert.get()) != 1 || std::fclose(file) != 0)
            throw std::runtime_error("cannot write the certificate");
        m_caFile = path;
        return std::make_unique<httplib::SSLServer>(cert.get(), key.get()); // takes references
    }
#endif

    std::string m_scheme;
    std::string m_caFile;
    std::unique_ptr<httplib::Server> m_server;
    int m_port = 0;
    mutable std::mutex m_mutex;
    int m_count = 0;
    ReceivedRequest m_last;
    std::thread m_thread;
};

} // namespace VexoGeoTest

#endif
