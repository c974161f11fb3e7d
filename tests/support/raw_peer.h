// A raw TCP peer on 127.0.0.1 for one connection, able to do what no HTTP server library would.
#ifndef VEXOGEO_TESTS_SUPPORT_RAW_PEER_H
#define VEXOGEO_TESTS_SUPPORT_RAW_PEER_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

namespace VexoGeoTest {

/// A TCP socket on an ephemeral port of 127.0.0.1. Listening, it takes connections into its
/// backlog and never answers; otherwise it is bound only, and connections to it are refused.
class LoopbackSocket {
  public:
    explicit LoopbackSocket(bool listening, int backlog = 8)
        : m_socket(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_socket < 0 || bind(m_socket, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
            (listening && listen(m_socket, backlog) != 0) ||
            getsockname(m_socket, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
            close(m_socket);
            throw std::runtime_error("cannot bind a loopback port");
        }
        m_url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    }
    ~LoopbackSocket() { close(m_socket); }
    LoopbackSocket(const LoopbackSocket &) = delete;
    LoopbackSocket &operator=(const LoopbackSocket &) = delete;

    int Handle() const { return m_socket; }

    /// "http://127.0.0.1:PORT", without a path.
    std::string m_url;

  private:
    int m_socket;
};

/// A whole "200 OK" reply of `body`, with its Content-Type and Content-Length.
inline std::string HttpAnswer(const std::string &body, const std::string &type = "text/plain") {
    return "HTTP/1.1 200 OK\r\nContent-Type: " + type +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

/// How a RawPeer ends the connection after its reply; NeverListen binds a port that refuses.
enum class End { Close, Reset, HoldThenClose, NeverListen };

/// Reads the request head of one connection, sends `reply` (one byte per `drip` when that is
/// not zero) and ends as told.
class RawPeer {
  public:
    explicit RawPeer(std::string reply, End end = End::Close,
                     std::chrono::milliseconds drip = std::chrono::milliseconds(0))
        : m_listener(end != End::NeverListen, 1) {
        m_url = m_listener.m_url + "/search";
        m_thread = std::thread([this, reply, end, drip] {
            const int connection = accept(m_listener.Handle(), nullptr, nullptr);
            if (connection < 0)
                return; // not listening, or stopped before any request came
            std::string head;
            for (char byte;
                 head.find("\r\n\r\n") == std::string::npos && recv(connection, &byte, 1, 0) == 1;)
                head += byte;
            const std::size_t step = drip.count() > 0 ? 1 : reply.size();
            for (std::size_t sent = 0; sent < reply.size();) {
                const ssize_t count = send(connection, reply.data() + sent,
                                           std::min(step, reply.size() - sent), MSG_NOSIGNAL);
                if (count <= 0)
                    break; // the client has gone; nothing more to say
                sent += static_cast<std::size_t>(count);
                std::this_thread::sleep_for(drip);
            }
            const linger abort{1, 0}; // closing with no linger time sends a reset
            if (end == End::Reset)
                setsockopt(connection, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            if (end == End::HoldThenClose)
                std::this_thread::sleep_for(std::chrono::seconds(2));
            close(connection);
        });
    }
    ~RawPeer() {
        shutdown(m_listener.Handle(), SHUT_RDWR); // ends a pending accept
        m_thread.join();
    }
    RawPeer(const RawPeer &) = delete;
    RawPeer &operator=(const RawPeer &) = delete;

    std::string m_url;

  private:
    LoopbackSocket m_listener;
    std::thread m_thread;
};

} // namespace VexoGeoTest

#endif
