// `vexogeo geocode` and `vexogeo reverse` run as a user runs them, against a counting loopback
// service named by VEXOGEO_NOMINATIM_URL, with a cache folder of the test process.
#include "cli_run.h"
#include "support/loopback_server.h"
#include "support/test_data.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace VexoGeoCliTest;
using VexoGeoTest::LoopbackServer;

const char *const kWien =
    R"([{"lat":"48.2083537","lon":"16.3725042","class":"boundary","type":"administrative",)"
    R"("importance":0.8875,"osm_type":"relation","osm_id":109166,"display_name":"Wien, \u00d6sterreich",)"
    R"("boundingbox":["48.1182699","48.3230999","16.1826199","16.5774999"]}])";

const std::string kWienText = "16.3725042 48.2083537\t48.1182699 48.3230999 16.1826199 "
                              "16.5774999\tWien, \xC3\x96sterreich\n";

// The variables that send the tool to the service at `url`, unthrottled.
std::string Service(const std::string &url) {
    return "XDG_CACHE_HOME=" + (Scratch() / "cache").string() +
           " VEXOGEO_NOMINATIM_REQUESTS_PER_SECOND=1000 VEXOGEO_NOMINATIM_URL='" + url + "' ";
}

LoopbackServer::Handler Answering(int status, std::string body) {
    return [=](const httplib::Request &, httplib::Response &response) {
        response.status = status;
        response.set_content(body, "application/json");
    };
}

TEST(GeocodingCli, PlacesWithPointAndBoxAndASharedCache) {
    const LoopbackServer server(Answering(200, kWien));
    for (const VexoGeoTest::TableRow &row : VexoGeoTest::TestTable("cli/geocode_runs.txt", 4)) {
        SCOPED_TRACE(row.m_trace);
        const std::string &out = row[1];
        const Outcome run = RunTool(row[0], "", "english", Service(server.SearchUrl()));
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out.substr(0, out.back() == '\n' ? std::string::npos : out.size()), out);
        EXPECT_EQ(server.RequestCount(), std::stoi(row[2]));
        EXPECT_EQ(server.LastRequest().m_target, row[3]);
    }
}

TEST(GeocodingCli, ReverseInTheToolsXyOrder) {
    const LoopbackServer server(Answering(200, std::string(kWien + 1, std::strlen(kWien) - 2)));
    const Outcome run = RunTool("reverse 16.3725042 48.2083537 --zoom 10", "", "english",
                                Service(server.SearchUrl()));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(server.LastRequest().m_target,
              "/reverse?lat=48.2083537&lon=16.3725042&zoom=10&format=json");
    EXPECT_EQ(run.out, kWienText);
    const LoopbackServer none(Answering(200, R"({"error":"Unable to geocode"})"));
    Check({{"reverse 0 0", "", "", 0, "vexogeo: reverse: no place there\n",
            Service(none.SearchUrl())}});
}

// A service's text reaches the terminal as one escaped line per place; JSON carries it exactly,
// numbers with every digit and without members the service did not send.
TEST(GeocodingCli, HostileNamesStayOnTheirLine) {
    const LoopbackServer server(
        Answering(200, "[{\"lat\":\"1\",\"lon\":\"2\",\"boundingbox\":[\"0\",\"1\",\"2\",\"3\"],"
                       "\"importance\":0.9744633789338841,\"display_name\":\"A\xE9"
                       "B \xC3\xA9\\u001b]0;x\\u0007\\nC \\ud800\"}]"));
    const std::string name = "A\xEF\xBF\xBD"
                             "B \xC3\xA9";
    Check(
        {{"geocode x --no-cache", "", "2 1\t0 1 2 3\t" + name + "\\x1b]0;x\\x07\\nC \xEF\xBF\xBD\n",
          0, "", Service(server.SearchUrl())},
         {"geocode x --no-cache --format json", "",
          "[\n  {\"display_name\": \"" + name +
              "\\u001b]0;x\\u0007\\nC \xEF\xBF\xBD\", \"importance\": 0.9744633789338841, "
              "\"lat\": 1, \"lon\": 2, \"boundingbox\": [0, 1, 2, 3]}\n]\n",
          0, "", Service(server.SearchUrl())}});
}

// Usage errors, refused before anything is sent, are in cases/geocode.txt.
TEST(GeocodingCli, EveryFailureIsOneCleanLine) {
    const LoopbackSocket silent(true), refusing(false);
    const LoopbackServer html(Answering(200, "<html>Log in to the Wi-Fi</html>"));
    const LoopbackServer broken(Answering(500, "\x1b]0;owned\x07" + std::string(5u << 20, '!')));
    const LoopbackServer blocked(Answering(403, "Access blocked"));
    Check({
        {"geocode Wien --timeout 0.5", "", "", 1,
         "vexogeo: geocode: timed out: no complete answer within 1 s\n",
         Service(silent.m_url + "/search")},
        // The public service behind a proxy that refuses the connection.
        {"geocode Berlin --limit 1 --no-cache", "", "", 1,
         "vexogeo: geocode: the transfer failed: *", Proxy(refusing)},
        {"geocode Wien", "", "", 1, "vexogeo: geocode: the answer is not a Nominatim result: *",
         Service(html.SearchUrl())},
        {"geocode Wien", "", "", 1, "vexogeo: geocode: HTTP 500: \\x1b]0;owned\\x07!!*",
         Service(broken.SearchUrl())},
        {"reverse 1 2", "", "", 1,
         "vexogeo: reverse: HTTP 403: the service refuses this application or address "
         "(blocked): Access blocked\n",
         Service(blocked.SearchUrl())},
    });
}

} // namespace
