// An HTTP or HTTPS server on 127.0.0.1, run in the test process, recording what it receives.
#ifndef VEXOGEO_TESTS_GEOCODING_LOOPBACK_SERVER_H
#define VEXOGEO_TESTS_GEOCODING_LOOPBACK_SERVER_H

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <chrono>
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

/// Serves every GET with `handler` on an ephemeral loopback port until destroyed.
class LoopbackServer {
  public:
    using Handler = std::function<void(const httplib::Request &, httplib::Response &)>;

    /// Plain HTTP, or HTTPS with a self-signed certificate for 127.0.0.1 made on the spot.
    explicit LoopbackServer(Handler handler, bool selfSignedTls = false)
        : m_server(selfSignedTls ? MakeTlsServer() : std::make_unique<httplib::Server>()),
          m_scheme(selfSignedTls ? "https" : "http") {
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
    }

    std::string SearchUrl() const {
        return m_scheme + "://127.0.0.1:" + std::to_string(m_port) + "/search";
    }
    int RequestCount() const {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_count;
    }
    ReceivedRequest LastRequest() const {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_last;
    }

  private:
    static std::unique_ptr<httplib::Server> MakeTlsServer() {
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
        if (X509_sign(cert.get(), key.get(), EVP_sha256()) == 0)
            throw std::runtime_error("cannot make a self-signed certificate");
        return std::make_unique<httplib::SSLServer>(cert.get(), key.get()); // takes references
    }

    std::unique_ptr<httplib::Server> m_server;
    std::string m_scheme;
    int m_port = 0;
    mutable std::mutex m_mutex;
    int m_count = 0;
    ReceivedRequest m_last;
    std::thread m_thread;
};

} // namespace VexoGeoTest

#endif
