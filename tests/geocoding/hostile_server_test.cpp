// Searches against hostile and faulty peers: broken transfers, enormous, ill-encoded and deeply
// nested answers, and a peer that never answers.
#include "geocoding/nominatim_request.h"

#include "support/raw_peer.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <future>

namespace Geo {
namespace {

using namespace std::chrono_literals;
using VexoGeoTest::End;
using VexoGeoTest::RawPeer;

const std::string kHead = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n";
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
        // A failed transfer is thrown with libcurl's text; the transport's tests have the rest.
        {"reset mid-body", kHead + "Content-Length: 1000\r\n\r\n" + body, received, End::Reset},
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
        // An escaped surrogate without its partner is U+FFFD, as an ill-formed UTF-8 name would
        // be: the name is kept and so is the rest of the answer.
        {"lone escaped surrogate", Answer("[" + named("\\ud800") + "," + named("B") + "]"),
         "[\xEF\xBF\xBD|B]"},
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
    for (const auto &c : kCases) {
        const RawPeer peer(c.reply, c.end);
        EXPECT_EQ(Outcome(peer.m_url), c.outcome) << c.name;
    }
}

TEST(HostileServer, EnormousAnswerIsReadWhole) {
    // 64 MiB of places of 1 KiB each, far below the search's cap: the answer is parsed whole.
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
