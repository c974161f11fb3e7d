// The geocoding search end to end against a loopback server. CTest runs this binary as an
// English installation with a UTF-8 code page (see CMakeLists.txt).
#include "geocoding/nominatim_request.h"
#include "support/loopback_server.h"
#include "support/test_data.h"

#include <curl/curl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>

namespace Geo {
namespace {

using ::testing::StrEq;
using ::testing::ThrowsMessage;
using VexoGeoTest::Answering;
using VexoGeoTest::LoopbackServer;

static_assert(std::is_base_of_v<std::exception, TransferError> &&
              !std::is_base_of_v<std::logic_error, TransferError>);

// Two places, their members in different orders.
const std::string kWien = VexoGeoTest::TestData("geocoder_answers/two_places");
const ViewBox kVienna{16.2, 48.1, 16.5, 48.3};

TEST(Nominatim, BadLimitsAreRefusedBeforeAnyRequest) {
    const LoopbackServer server(Answering(200, "[]"));
    const auto refused =
        ThrowsMessage<std::invalid_argument>(StrEq("The argument limit is invalid"));
    for (const int limit : {0, -5, INT_MIN}) {
        EXPECT_THAT([&] { SearchAt(server.SearchUrl(), "Wien", limit); }, refused);
        EXPECT_THAT([&] { Nominatim::Search("Wien", limit); }, refused);
    }
    for (const int limit : {0, 51, -1, INT_MAX}) {
        EXPECT_THAT([&] { SearchAt(server.SearchUrl(), "Wien", kVienna, limit); }, refused);
        EXPECT_THAT([&] { Nominatim::Search("Wien", 16.2, 48.1, 16.5, 48.3, limit); }, refused);
    }
    EXPECT_EQ(server.RequestCount(), 0);
}

TEST(Nominatim, RequestsAsTheServiceReceivesThem) {
    const LoopbackServer server(Answering(200, kWien));
    for (const auto &c : VexoGeoTest::TestTable("geocoding/search_requests.tsv", 4)) {
        SCOPED_TRACE(c.m_trace);
        const int limit = std::stoi(c[1]);
        const auto results = c[2] == "1" ? SearchAt(server.SearchUrl(), c[0], kVienna, limit)
                                         : SearchAt(server.SearchUrl(), c[0], limit);
        ASSERT_EQ(results.size(), 2u);
        EXPECT_EQ(results[0].m_displayName + "|" + results[1].m_displayName,
                  "Wien, \xC3\x96sterreich|Wien Hbf");
        const auto request = server.LastRequest();
        EXPECT_EQ(request.m_target, c[3]);
        EXPECT_EQ(request.m_query, c[0].c_str()); // decoded, up to any NUL
        EXPECT_EQ(request.m_userAgent, "Kalvo/7.6.3 VexoGeo/7.6.3");
    }
}

TEST(Nominatim, FailedTransfersThrowTheirText) {
    const auto redirect = [](const httplib::Request &request, httplib::Response &response) {
        if (request.path == "/search")
            response.set_redirect("/elsewhere", 301);
        response.set_content(request.path == "/search" ? "Moved" : kWien, "text/plain");
    };
    const struct {
        LoopbackServer::Handler handler;
        std::string text;
        bool tls = false;
    } kCases[] = {
        {Answering(404, "Not found"), "Not found"},
        {Answering(500, ""), ""},
        {Answering(400, std::string("Bad\0tail", 8)), "Bad"},
        {redirect, "Moved"}, // not followed
        // Certificate verification stays on.
        {Answering(200, kWien), curl_easy_strerror(CURLE_PEER_FAILED_VERIFICATION), true},
    };
    for (const auto &c : kCases) {
        const LoopbackServer server(c.handler, c.tls);
        EXPECT_THAT([&] { SearchAt(server.SearchUrl(), "Wien", 5); },
                    ThrowsMessage<TransferError>(StrEq(c.text)));
    }
    EXPECT_THAT([] { SearchAt("no scheme", "Wien", 5); },
                ThrowsMessage<TransferError>(StrEq(curl_url_strerror(CURLUE_BAD_SCHEME))));
}

} // namespace
} // namespace Geo
