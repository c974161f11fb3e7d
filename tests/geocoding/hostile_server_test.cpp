// Searches against hostile and faulty peers: broken transfers, enormous, ill-encoded and deeply
// nested answers, and a peer that never answers.
#include "geocoding/nominatim_request.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <thread>

namespace Geo {
namespace {

using namespace std::chrono_literals;

// How a RawPeer ends the connection after its reply; NeverListen binds a port that refuses.
enum class End { Close, Reset, HoldThenClose, NeverListen };

// A TCP server on 127.0.0.1 for one connection: it reads the request head, sends `reply` and
// ends as told. Raw, so that it can do what no HTTP server library would.
class RawPeer {
  public:
    explicit RawPeer(std::string reply, End end = End::Close)
        : m_listener(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
            (end != End::NeverListen && listen(m_listener, 1) != 0) ||
            getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            throw std::runtime_error("cannot bind a loopback port");
        m_url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/search";
        m_thread = std::thread([this, reply, end] {
            const int connection = accept(m_listener, nullptr, nullptr);
            if (connection < 0)
                return; // not listening, or stopped before any search came
            std::string head;
            for (char byte;
                 head.find("\r\n\r\n") == std::string::npos && recv(connection, &byte, 1, 0) == 1;)
                head += byte;
            for (std::size_t sent = 0; sent < reply.size();) {
                const ssize_t count =
                    send(connection, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
                if (count <= 0)
                    break; // the client has gone; nothing more to say
                sent += static_cast<std::size_t>(count);
            }
            const linger abort{1, 0}; // closing with no linger time sends a reset
            if (end == End::Reset)
                setsockopt(connection, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            if (end == End::HoldThenClose)
                std::this_thread::sleep_for(2s);
            close(connection);
        });
    }
    ~RawPeer() {
        shutdown(m_listener, SHUT_RDWR); // ends a pending accept
        m_thread.join();
        close(m_listener);
    }
    std::string m_url;

  private:
    int m_listener;
    std::thread m_thread;
};

const std::string kHead = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n";
const std::string kChunked = kHead + "Transfer-Encoding: chunked\r\n\r\n";
const std::string kPlace = R"({"display_name":"A","boundingbox":["1","2","3","4"]})";

std::string Answer(const std::string &body) {
    return kHead + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// The what() of the TransferError a search answers, or the names of the places it finds.
std::string Outcome(const std::string &url) {
    try {
        std::string names;
        for (const auto &place : SearchAt(url, "Wien", 5))
            names += (names.empty() ? "" : "|") + place.m_displayName;
        return "[" + names + "]";
    } catch (const TransferError &error) {
        return error.what();
    }
}

std::string Repeat(const std::string &text, std::size_t count) {
    std::string out;
    while (count-- > 0)
        out += text;
    return out;
}

TEST(HostileServer, AnswersAsDefinedWhateverThePeerDoes) {
    const std::string body = "[" + kPlace + "]";
    const std::string partial = curl_easy_strerror(CURLE_PARTIAL_FILE);
    const std::string received = curl_easy_strerror(CURLE_RECV_ERROR);
    const std::string fffd = "\xEF\xBF\xBD";
    const auto named = [](const std::string &name) {
        return R"({"boundingbox":["1","2","3","4"],"display_name":")" + name + "\"}";
    };
    const std::size_t kDeep = 1000000;
    const struct {
        const char *name;
        std::string reply, outcome;
        End end = End::Close;
    } kCases[] = {
        {"refused", "", curl_easy_strerror(CURLE_COULDNT_CONNECT), End::NeverListen},
        {"hang-up before any answer", "", curl_easy_strerror(CURLE_GOT_NOTHING)},
        {"garbage for a status line", "\x16\x03\x01 not http\r\n\r\n",
         curl_easy_strerror(CURLE_UNSUPPORTED_PROTOCOL)},
        {"reset before any answer", "", received, End::Reset},
        {"reset after the head", kChunked, received, End::Reset},
        {"reset mid-body", kHead + "Content-Length: 1000\r\n\r\n" + body, received, End::Reset},
        {"closed mid-body", kHead + "Content-Length: 1000\r\n\r\n" + body, partial},
        {"chunk cut short", kChunked + "40\r\n" + body, partial},
        {"last chunk missing", kChunked + "36\r\n" + body + "\r\n", partial},
        {"chunk size not hexadecimal", kChunked + "zz\r\n" + body, received},
        {"chunk size beyond 64 bits", kChunked + "1" + std::string(16, '0') + "\r\n" + body,
         received},
        {"complete chunked answer", kChunked + "36\r\n" + body + "\r\n0\r\n\r\n", "[A]"},
        {"empty body", Answer(""), "[]"},
        {"not JSON", Answer("<html>maintenance</html>"), "[]"},
        // Ill-formed UTF-8 is substituted per maximal subpart, as in the example of chapter 3
        // of the Unicode Standard; an escaped pair is one character.
        {"invalid UTF-8",
         Answer("[" + named("\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64") + "," +
                named("\\ud83d\\uddfa") + "]"),
         "[a" + fffd + fffd + fffd + "b" + fffd + "c" + fffd + fffd + "d|\xF0\x9F\x97\xBA]"},
        {"ill-formed member name and box number",
         Answer(
             "[{\"\xFF\":1,\"boundingbox\":[\"1\xC3\",\"2\",\"3\",\"4\"],\"display_name\":\"A\"}]"),
         "[A]"},
        // An escaped surrogate without its partner is no JSON: the whole answer gives no places.
        {"lone escaped surrogate", Answer("[" + named("\\ud800") + "," + named("B") + "]"), "[]"},
        // Parsed without recursion: a million levels must not exhaust the stack.
        {"nested arrays", Answer(Repeat("[", kDeep) + Repeat("]", kDeep)), "[]"},
        {"unclosed arrays", Answer(Repeat("[", kDeep)), "[]"},
        {"nested objects", Answer(Repeat(R"({"a":)", 300000) + Repeat("}", 300000)), "[]"},
        {"place before nesting",
         Answer("[" + kPlace + "," + Repeat("[", kDeep) + Repeat("]", kDeep) + "]"), "[A]"},
        {"place after nesting",
         Answer("[" + Repeat("{\"x\":[", 200000) + Repeat("]}", 200000) + "," + kPlace + "]"),
         "[A]"},
    };
    ASSERT_EQ(body.size(), 0x36u);
    for (const auto &c : kCases) {
        const RawPeer peer(c.reply, c.end);
        EXPECT_EQ(Outcome(peer.m_url), c.outcome) << c.name;
    }
}

TEST(HostileServer, EnormousAnswerIsReadWhole) {
    // 64 MiB of places of 1 KiB each: the transfer has no size limit and the answer is parsed.
    const std::string name(1024 - 16, 'n');
    std::string body = "[";
    int count = 0;
    for (; body.size() < (64u << 20); ++count)
        body += (count ? ",{" : "{") + std::string(R"("boundingbox":[")") + std::to_string(count) +
                R"(","2","3","4"],"display_name":")" + name + "\"}";
    const RawPeer peer(Answer(body + "]"));
    const auto places = SearchAt(peer.m_url, "Wien", 5);
    ASSERT_EQ(places.size(), static_cast<std::size_t>(count));
    for (const int i : {0, count / 2, count - 1}) {
        EXPECT_EQ(places[i].m_boundingBox, (std::array<double, 4>{double(i), 2, 3, 4}));
        EXPECT_EQ(places[i].m_displayName, name);
    }
}

TEST(HostileServer, SilentPeerHoldsTheSearchUntilItHangsUp) {
    // A search has no time-out of its own. A caller that cannot wait runs it on a thread of its
    // own and goes on; the transfer ends, with an error, once the peer gives up the connection.
    const RawPeer silent("", End::HoldThenClose);
    const RawPeer stalled(kHead + "Content-Length: 100\r\n\r\n[{", End::HoldThenClose);
    auto silentSearch = std::async(std::launch::async, Outcome, silent.m_url);
    auto stalledSearch = std::async(std::launch::async, Outcome, stalled.m_url);
    EXPECT_EQ(silentSearch.wait_for(200ms), std::future_status::timeout);
    EXPECT_EQ(stalledSearch.wait_for(0s), std::future_status::timeout);

    // Meanwhile the caller carries on with other searches.
    const RawPeer healthy(Answer("[]"));
    EXPECT_EQ(Outcome(healthy.m_url), "[]");

    EXPECT_EQ(silentSearch.get(), curl_easy_strerror(CURLE_GOT_NOTHING));
    EXPECT_EQ(stalledSearch.get(), curl_easy_strerror(CURLE_PARTIAL_FILE));
}

} // namespace
} // namespace Geo
