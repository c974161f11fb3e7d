// `vexogeo geocode --batch` and several tool processes at once against a loopback service that
// notes what it receives and when.
#include "cli_run.h"
#include "support/loopback_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>

namespace {

using namespace VexoGeoCliTest;
using VexoGeoTest::LoopbackServer;
using Clock = std::chrono::steady_clock;

const char *const kWien =
    R"([{"lat":"48.2083537","lon":"16.3725042","osm_type":"relation","osm_id":109166,)"
    R"("display_name":"Wien","boundingbox":["48.1182699","48.3230999","16.1826199","16.5774999"]}])";
const std::string kWienText =
    "16.3725042 48.2083537\t48.1182699 48.3230999 16.1826199 16.5774999\tWien\n";

// Answers Wien, fails "Broken" with a 500 and finds nothing else; notes when each request came.
struct Service {
    std::mutex m_mutex;
    std::vector<Clock::time_point> m_received;
    LoopbackServer m_server{[this](const httplib::Request &request, httplib::Response &response) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_received.push_back(Clock::now());
        }
        const std::string q = request.get_param_value("q");
        response.status = q == "Broken" ? 500 : 200;
        response.set_content(q == "Wien"     ? kWien
                             : q == "Broken" ? "down"
                                             : "[]",
                             "application/json");
    }};
    std::string Variables(const std::string &cache, double rate = 1000) {
        return "XDG_CACHE_HOME=" + (Scratch() / cache).string() +
               " VEXOGEO_NOMINATIM_REQUESTS_PER_SECOND=" + std::to_string(rate) +
               " VEXOGEO_NOMINATIM_URL='" + m_server.SearchUrl() + "' ";
    }
};

TEST(GeocodeBatch, OneLinePerInputLineInOrderAndARerunFromTheCache) {
    Service service;
    const std::string input = "Wien\n\nNowhere\n \tBroken \r\nWien";
    const std::string text =
        kWienText + "-\t-\tno query\n-\t-\tno result\n-\t-\tfailed\n" + kWienText;
    const std::string failure = "vexogeo: geocode: <stdin>:4: HTTP 500: down: 'Broken'\n";
    // The second Wien comes from the cache; the rerun asks only for the line that failed.
    for (const int requests : {3, 4}) {
        const Outcome run = RunTool("geocode --batch", input, "english", service.Variables("c"));
        EXPECT_EQ(run.out, text);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, failure);
        EXPECT_EQ(service.m_server.RequestCount(), requests);
    }
    EXPECT_EQ(service.m_server.LastRequest().m_target, "/search?q=Broken&format=json&limit=1");
    const std::string file = Write("places.txt", "\xEF\xBB\xBFWien\nNowhere\n\n");
    const Outcome json = RunTool("geocode --batch " + file + " --format json", "", "english",
                                 service.Variables("c"));
    EXPECT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(json.err, "");
    EXPECT_EQ(json.out.rfind("{\"query\": \"Wien\", \"place\": {\"", 0), 0u) << json.out;
    const std::size_t wienEnd = json.out.find('\n');
    ASSERT_NE(wienEnd, std::string::npos);
    EXPECT_EQ(json.out.substr(wienEnd - 2), "}}\n{\"query\": \"Nowhere\", \"place\": null}\n"
                                            "{\"query\": \"\", \"place\": null}\n");
    EXPECT_EQ(service.m_server.RequestCount(), 4);
    Check({{"geocode --batch - --limit 2", "Wien\n", kWienText, 0, "", service.Variables("c")}});
    EXPECT_EQ(service.m_server.LastRequest().m_target, "/search?q=Wien&format=json&limit=2");
}

// Processes started together, as a shell loop in the background starts them, keep the rate.
TEST(GeocodeBatch, ProcessesStartedTogetherKeepTheUsersRate) {
    Service service;
    constexpr double kRate = 5; // 200 ms apart
    std::string command = "export XDG_CONFIG_HOME=" + std::string(VEXOGEO_CLI_SETTINGS) +
                          "/english " + service.Variables("together", kRate) + "; ";
    for (int i = 0; i < 4; ++i)
        command += std::string(VEXOGEO_CLI_PATH) + " geocode q" + std::to_string(i) +
                   " --no-cache >/dev/null 2>&1 & ";
    VexoGeoTest::RunCommand(command + "wait");
    std::vector<Clock::time_point> received = service.m_received;
    ASSERT_EQ(received.size(), 4u);
    std::sort(received.begin(), received.end());
    // Turns are 200 ms apart; a loaded machine delays a connection by tens of milliseconds.
    // Processes spaced only by their own gate arrive within a few milliseconds of each other.
    for (std::size_t i = 1; i < received.size(); ++i)
        EXPECT_GT(received[i] - received[i - 1], std::chrono::milliseconds(100)) << i;
    EXPECT_GT(received.back() - received.front(), std::chrono::milliseconds(540));
}

} // namespace
