// Searches against hostile and faulty peers: broken transfers, enormous, ill-encoded and deeply
// nested answers, and a peer that never answers.
#include "geocoding/nominatim_request.h"

#include "support/raw_peer.h"
#include "support/test_data.h"

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
    return VexoGeoTest::HttpAnswer(body, "application/json");
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

// tests/data/geocoding/hostile_answers.tsv: broken transfers, ill-encoded and deeply nested
// answers.
TEST(HostileServer, AnswersAsDefinedWhateverThePeerDoes) {
    for (const auto &c : VexoGeoTest::TestTable("geocoding/hostile_answers.tsv", 4)) {
        const RawPeer peer(c[0] == "raw" ? c[1] : Answer(c[1]),
                           c[2] == "Reset" ? End::Reset : End::Close);
        EXPECT_EQ(Outcome(peer.m_url),
                  c[3][0] == '[' ? c[3]
                                 : curl_easy_strerror(static_cast<CURLcode>(std::stoi(c[3]))))
            << c.m_trace;
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
