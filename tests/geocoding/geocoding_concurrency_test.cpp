// Searches from several threads at once against one loopback server: every thread gets the
// answer to its own query, failures included.
#include "geocoding/loopback_server.h"
#include "geocoding/nominatim_request.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace Geo {
namespace {

using VexoGeoTest::LoopbackServer;

TEST(NominatimThreads, ConcurrentSearchesEachGetTheirOwnAnswer) {
    // One place named after the query, its first box number the limit; a query starting with
    // "busy" is answered 503 with the query as its text.
    const LoopbackServer server([](const httplib::Request &request, httplib::Response &response) {
        const std::string query = request.get_param_value("q");
        if (query.rfind("busy", 0) == 0) {
            response.status = 503;
            response.set_content(query, "text/plain");
            return;
        }
        response.set_content(R"([{"boundingbox":[")" + request.get_param_value("limit") +
                                 R"(","2","3","4"],"display_name":")" + query + "\"}]",
                             "application/json; charset=utf-8");
    });
    constexpr int kThreads = 8;
    constexpr int kSearches = 24;
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ++ready;
            while (ready < kThreads)
                std::this_thread::yield();
            for (int i = 0; i < kSearches; ++i) {
                const std::string query =
                    "K\xC3\xB6ln " + std::to_string(t) + "-" + std::to_string(i);
                const int limit = 1 + (t * kSearches + i) % 50;
                switch (i % 3) {
                case 0: {
                    const auto places = SearchAt(server.SearchUrl(), query, limit);
                    ASSERT_EQ(places.size(), 1u);
                    EXPECT_EQ(places[0].m_displayName, query);
                    EXPECT_EQ(places[0].m_boundingBox,
                              (std::array<double, 4>{double(limit), 2, 3, 4}));
                    break;
                }
                case 1: {
                    const auto places =
                        SearchAt(server.SearchUrl(), query, ViewBox{16.2, 48.1, 16.5, 48.3}, limit);
                    ASSERT_EQ(places.size(), 1u);
                    EXPECT_EQ(places[0].m_displayName, query);
                    break;
                }
                default:
                    try {
                        SearchAt(server.SearchUrl(), "busy " + query, limit);
                        ADD_FAILURE() << "no exception for " << query;
                    } catch (const TransferError &error) {
                        EXPECT_EQ(error.what(), "busy " + query);
                    }
                }
            }
        });
    }
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(server.RequestCount(), kThreads * kSearches);
}

} // namespace
} // namespace Geo
