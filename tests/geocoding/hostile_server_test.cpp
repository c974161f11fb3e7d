// Searches against hostile and faulty peers: broken transfers, enormous, ill-encoded and deeply
// nested answers, and a peer that never answers.
#include "geocoding/loopback_server.h"
#include "geocoding/nominatim_request.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <future>
#include <thread>

namespace Geo {
namespace {

using namespace std::chrono_literals;
using VexoGeoTest::LoopbackServer;

// A TCP server on 127.0.0.1 for one connection: it reads the request head, plays `script` on
// the socket and closes it. Raw, so that it can do what no HTTP server library would.
class RawPeer {
  public:
    using Script = std::function<void(int socket)>;

    explicit RawPeer(Script script) : m_listener(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
            listen(m_listener, 1) != 0 ||
            getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            throw std::runtime_error("cannot listen on a loopback port");
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this, script] {
            const int connection = accept(m_listener, nullptr, nullptr);
            if (connection < 0)
                return; // stopped before any search came
            std::string head;
            char byte;
            while (head.find("\r\n\r\n") == std::string::npos && recv(connection, &byte, 1, 0) == 1)
                head += byte;
            script(connection);
            close(connection);
        });
    }
    ~RawPeer() {
        shutdown(m_listener, SHUT_RDWR); // ends a pending accept
        m_thread.join();
        close(m_listener);
    }

    std::string SearchUrl() const {
        return "http://127.0.0.1:" + std::to_string(m_port) + "/search";
    }

  private:
    int m_listener;
    int m_port = 0;
    std::thread m_thread;
};

void Send(int socket, const std::string &bytes) {
    for (std::size_t sent = 0; sent < bytes.size();) {
        const ssize_t count = send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count <= 0)
            return; // the client has gone; nothing more to say
        sent += static_cast<std::size_t>(count);
    }
}

// Closing with a zero linger time sends a reset instead of an orderly end.
void Reset(int socket) {
    const linger abort{1, 0};
    setsockopt(socket, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
}

// The what() of the TransferError a search answers, or "<n places>" when it succeeds.
std::string Outcome(const std::string &url) {
    try {
        return "<" + std::to_string(SearchAt(url, "Wien", 5).size()) + " places>";
    } catch (const TransferError &error) {
        return error.what();
    }
}

const std::string kHead = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n";
const std::string kChunked = kHead + "Transfer-Encoding: chunked\r\n\r\n";
const std::string kPlace = R"({"display_name":"A","boundingbox":["1","2","3","4"]})";

TEST(HostileServer, BrokenTransfersThrowLibcurlsText) {
    const std::string body = "[" + kPlace + "]";
    const std::string partial = curl_easy_strerror(CURLE_PARTIAL_FILE);
    const std::string received = curl_easy_strerror(CURLE_RECV_ERROR);
    const struct {
        const char *name;
        RawPeer::Script script;
        std::string outcome;
    } kCases[] = {
        {"reset mid-body",
         [&](int s) {
             Send(s, kHead + "Content-Length: 1000\r\n\r\n" + body);
             Reset(s);
         },
         received},
        {"reset after the head",
         [&](int s) {
             Send(s, kChunked);
             Reset(s);
         },
         received},
        {"reset before any answer", Reset, received},
        {"chunk cut short", [&](int s) { Send(s, kChunked + "40\r\n" + body); }, partial},
        {"last chunk missing", [&](int s) { Send(s, kChunked + "36\r\n" + body + "\r\n"); },
         partial},
        {"chunk size not hexadecimal", [&](int s) { Send(s, kChunked + "zz\r\n" + body); },
         received},
        {"chunk size beyond 64 bits",
         [&](int s) { Send(s, kChunked + "1" + std::string(16, '0') + "\r\n" + body); }, received},
        {"complete chunked answer",
         [&](int s) { Send(s, kChunked + "36\r\n" + body + "\r\n0\r\n\r\n"); }, "<1 places>"},
        {"hang-up before any answer", [](int) {}, curl_easy_strerror(CURLE_GOT_NOTHING)},
        {"garbage for a status line", [](int s) { Send(s, "\x16\x03\x01 not http\r\n\r\n"); },
         curl_easy_strerror(CURLE_UNSUPPORTED_PROTOCOL)},
    };
    ASSERT_EQ(body.size(), 0x36u);
    for (const auto &c : kCases) {
        const RawPeer peer(c.script);
        EXPECT_EQ(Outcome(peer.SearchUrl()), c.outcome) << c.name;
    }
}

TEST(HostileServer, EnormousAnswerIsReadWhole) {
    // 64 MiB of places of 1 KiB each: the transfer has no size limit and the answer is parsed.
    const std::string name(1024 - 16, 'n');
    std::string body = "[";
    int count = 0;
    while (body.size() < (64u << 20)) {
        body += (count ? ",{" : "{") + std::string(R"("boundingbox":[")") + std::to_string(count) +
                R"(","2","3","4"],"display_name":")" + name + "\"}";
        ++count;
    }
    body += "]";
    const RawPeer peer([&](int s) {
        Send(s, kHead + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    });
    const auto places = SearchAt(peer.SearchUrl(), "Wien", 5);
    ASSERT_EQ(places.size(), static_cast<std::size_t>(count));
    for (const int i : {0, count / 2, count - 1}) {
        EXPECT_EQ(places[i].m_boundingBox, (std::array<double, 4>{double(i), 2, 3, 4}));
        EXPECT_EQ(places[i].m_displayName, name);
    }
}

std::vector<std::string> Names(const std::string &body) {
    const LoopbackServer server([body](const httplib::Request &, httplib::Response &response) {
        response.set_content(body, "application/json; charset=utf-8");
    });
    std::vector<std::string> names;
    for (const auto &place : SearchAt(server.SearchUrl(), "Wien", 5))
        names.push_back(place.m_displayName);
    return names;
}

std::string Place(const std::string &name) {
    return R"({"boundingbox":["1","2","3","4"],"display_name":")" + name + "\"}";
}

TEST(HostileServer, InvalidUtf8NamesAreSubstitutedPerMaximalSubpart) {
    const std::string fffd = "\xEF\xBF\xBD";
    const std::pair<std::string, std::string> kNames[] = {
        // The example of U+FFFD substitution in chapter 3 of the Unicode Standard.
        {"\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
         "a" + fffd + fffd + fffd + "b" + fffd + "c" + fffd + fffd + "d"},
        {"K\xC3", "K" + fffd},                           // cut at the end
        {"\xC0\xAF", fffd + fffd},                       // overlong "/"
        {"\xED\xA0\x80x", fffd + fffd + fffd + "x"},     // a UTF-16 surrogate
        {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd}, // beyond U+10FFFF
        {"\xFE\xFF", fffd + fffd},                       // never in UTF-8
        {"\xEF\xBB\xBFWien", "\xEF\xBB\xBFWien"},        // a BOM is a character
        {"\\ud83d\\uddfa", "\xF0\x9F\x97\xBA"},          // an escaped pair
    };
    std::string body = "[";
    std::vector<std::string> expected;
    for (const auto &n : kNames) {
        body += (expected.empty() ? "" : ",") + Place(n.first);
        expected.push_back(n.second);
    }
    EXPECT_EQ(Names(body + "]"), expected);
    // Ill-formed bytes in a member name or a box number do not spoil the place.
    EXPECT_EQ(Names("[{\"\xFF\":1,\"boundingbox\":[\"1\xC3\",\"2\",\"3\",\"4\"],"
                    "\"display_name\":\"A\"}]"),
              std::vector<std::string>{"A"});
    // An escaped surrogate without its partner is no JSON: the whole answer gives no places.
    EXPECT_EQ(Names("[" + Place("\\ud800") + "," + Place("B") + "]"), std::vector<std::string>{});
}

TEST(HostileServer, DeeplyNestedAnswersParseWithoutExhaustingTheStack) {
    const auto nested = [](std::size_t depth, const std::string &open, const std::string &close) {
        std::string text;
        text.reserve(depth * (open.size() + close.size()));
        for (std::size_t i = 0; i < depth; ++i)
            text += open;
        for (std::size_t i = 0; i < depth; ++i)
            text += close;
        return text;
    };
    const std::vector<std::string> none, one{"A"};
    const struct {
        std::string body;
        const std::vector<std::string> &names;
    } kCases[] = {
        {nested(100000, "[", "]"), none},
        {nested(1000000, "[", "]"), none},
        {nested(1000000, "[", ""), none},
        {nested(300000, R"({"a":)", "}"), none},
        {"[" + kPlace + "," + nested(1000000, "[", "]") + "]", one},
        {"[" + nested(200000, "{\"x\":[", "]}") + "," + kPlace + "]", one},
    };
    for (const auto &c : kCases)
        EXPECT_EQ(Names(c.body), c.names) << c.body.substr(0, 12) << " of " << c.body.size();
}

TEST(HostileServer, SilentPeerHoldsTheSearchUntilItHangsUp) {
    // A search has no time-out of its own. A caller that cannot wait runs it on a thread of its
    // own and goes on; the transfer ends, with an error, once the peer gives up the connection.
    const auto holdThenClose = [](std::string before) {
        return [before](int s) {
            Send(s, before);
            std::this_thread::sleep_for(2s);
        };
    };
    const RawPeer silent(holdThenClose(""));
    const RawPeer stalled(holdThenClose(kHead + "Content-Length: 100\r\n\r\n[{"));
    auto silentSearch = std::async(std::launch::async, Outcome, silent.SearchUrl());
    auto stalledSearch = std::async(std::launch::async, Outcome, stalled.SearchUrl());
    EXPECT_EQ(silentSearch.wait_for(200ms), std::future_status::timeout);
    EXPECT_EQ(stalledSearch.wait_for(0s), std::future_status::timeout);

    // Meanwhile the caller carries on with other searches.
    const RawPeer healthy([](int s) { Send(s, kHead + "Content-Length: 2\r\n\r\n[]"); });
    EXPECT_EQ(Outcome(healthy.SearchUrl()), "<0 places>");

    EXPECT_EQ(silentSearch.get(), curl_easy_strerror(CURLE_GOT_NOTHING));
    EXPECT_EQ(stalledSearch.get(), curl_easy_strerror(CURLE_PARTIAL_FILE));
}

} // namespace
} // namespace Geo
