// An HTTP or HTTPS server on 127.0.0.1, run in the test process, recording what it receives.
#ifndef VEXOGEO_TESTS_SUPPORT_LOOPBACK_SERVER_H
#define VEXOGEO_TESTS_SUPPORT_LOOPBACK_SERVER_H

#include <httplib.h>

#include <chrono>
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
/// a connection. With TLS it presents the self-signed certificate for IP 127.0.0.1 of
/// tests/data/tls, whose PEM file CaFile() names; on Windows asking for TLS throws.
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
    // The certificate and key of tests/data/tls, made for 127.0.0.1.
    std::unique_ptr<httplib::Server> MakeTlsServer() {
#ifdef _WIN32
        throw std::runtime_error("no TLS loopback server on Windows");
#else
        const std::string folder = std::string(VEXOGEO_TEST_SOURCE_DIR) + "/tests/data/tls/";
        m_caFile = folder + "loopback.crt";
        auto server = std::make_unique<httplib::SSLServer>(m_caFile.c_str(),
                                                           (folder + "loopback.key").c_str());
        if (!server->is_valid())
            throw std::runtime_error("cannot read the certificate of " + folder);
        return server;
#endif
    }

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
