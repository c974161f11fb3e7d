// Searches from several threads at once against one loopback server: every thread gets the
// answer to its own query, failures included.
#include "geocoding/nominatim_request.h"
#include "support/loopback_server.h"
#include "support/threads.h"

#include <gtest/gtest.h>

namespace Geo {
namespace {

TEST(NominatimThreads, ConcurrentSearchesEachGetTheirOwnAnswer) {
    // One place named after the query, its first box number the limit, the second 1 with a
    // viewbox; a query starting with "busy" is answered 503 with the query as its text.
    const VexoGeoTest::LoopbackServer server(
        [](const httplib::Request &request, httplib::Response &response) {
            const std::string query = request.get_param_value("q");
            if (query.rfind("busy", 0) == 0) {
                response.status = 503;
                return response.set_content(query, "text/plain");
            }
            response.set_content(R"([{"boundingbox":[")" + request.get_param_value("limit") +
                                     "\",\"" + std::to_string(request.has_param("viewbox")) +
                                     R"(","3","4"],"display_name":")" + query + "\"}]",
                                 "application/json; charset=utf-8");
        });
    constexpr int kThreads = 8;
    constexpr int kSearches = 24;
    VexoGeoTest::RunThreads(
        kThreads, [&](int t) {
            for (int i = 0; i < kSearches; ++i) {
                const std::string query =
                    "K\xC3\xB6ln " + std::to_string(t) + "-" + std::to_string(i);
                const int limit = 1 + (t * kSearches + i) % 50;
                try {
                    const auto places = i % 3 == 0 ? SearchAt(server.SearchUrl(), query, limit)
                                        : i % 3 == 1
                                            ? SearchAt(server.SearchUrl(), query,
                                                       ViewBox{16.2, 48.1, 16.5, 48.3}, limit)
                                            : SearchAt(server.SearchUrl(), "busy " + query, limit);
                    ASSERT_EQ(places.size(), 1u) << query;
                    EXPECT_EQ(places[0].m_displayName, query);
                    EXPECT_EQ(places[0].m_boundingBox,
                              (std::array<double, 4>{double(limit), double(i % 3), 3, 4}));
                } catch (const TransferError &error) {
                    EXPECT_EQ(error.what(), "busy " + query);
                }
            }
        });
    EXPECT_EQ(server.RequestCount(), kThreads * kSearches);
}

} // namespace
} // namespace Geo
