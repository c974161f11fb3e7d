// `vexogeo geocode` and `vexogeo reverse` run as a user runs them, against a counting loopback
// service named by VEXOGEO_NOMINATIM_URL, with a cache folder of their own.
#include "geocoding/loopback_server.h"
#include "support/subprocess.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

const char *const kWien =
    R"([{"lat":"48.2083537","lon":"16.3725042","class":"boundary","type":"administrative",)"
    R"("importance":0.8875,"osm_type":"relation","osm_id":109166,"display_name":"Wien, \u00d6sterreich",)"
    R"("boundingbox":["48.1182699","48.3230999","16.1826199","16.5774999"]}])";

struct ToolRun {
    int exitCode;
    std::string out, err;
};

class GeocodingCli : public ::testing::Test {
  protected:
    void SetUp() override {
        m_folder = fs::temp_directory_path() /
                   ("vexogeo-geocoding-cli-" + std::to_string(getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
    }
    void TearDown() override { fs::remove_all(m_folder); }

    ToolRun Tool(const std::string &endpoint, const std::string &arguments) const {
        const std::string err = (m_folder / "stderr").string();
        const auto result = VexoGeoTest::RunCommand(
            "XDG_CONFIG_HOME=" + (m_folder / "none").string() + " XDG_CONFIG_DIRS=" +
            (m_folder / "none").string() + " XDG_CACHE_HOME=" + (m_folder / "cache").string() +
            " VEXOGEO_NOMINATIM_REQUESTS_PER_SECOND=1000 VEXOGEO_NOMINATIM_URL='" + endpoint +
            "' " VEXOGEO_CLI_PATH " " + arguments + " 2>" + err);
        std::ifstream in(err, std::ios::binary);
        return {result.exitCode, result.out,
                std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())};
    }

    fs::path m_folder;
};

VexoGeoTest::LoopbackServer::Handler Answering(int status, std::string body) {
    return [=](const httplib::Request &, httplib::Response &response) {
        response.status = status;
        response.set_content(body, "application/json");
    };
}

TEST_F(GeocodingCli, PlacesWithPointAndBoxAndASharedCache) {
    const VexoGeoTest::LoopbackServer server(Answering(200, kWien));
    const std::string url = server.SearchUrl();
    const struct {
        std::string arguments, out;
        int requests;
        std::string target;
    } kCases[] = {
        {"geocode Wien",
         "16.3725042 48.2083537\t48.1182699 48.3230999 16.1826199 16.5774999\tWien, "
         "\xC3\x96sterreich\n",
         1, "/search?q=Wien&format=json&limit=10"},
        // A second process gets the same answer from the disk cache, without a request.
        {"geocode Wien --format geojson",
         "{\"type\": \"FeatureCollection\", \"features\": [\n  {\"type\": \"Feature\", \"bbox\": "
         "[16.1826199, 48.1182699, 16.5774999, 48.3230999], \"properties\": {\"display_name\": "
         "\"Wien, \xC3\x96sterreich\", \"class\": \"boundary\", \"type\": \"administrative\", "
         "\"importance\": 0.8875, \"osm_type\": \"relation\", \"osm_id\": 109166}, \"geometry\": "
         "{\"type\": \"Point\", \"coordinates\": [16.3725042, 48.2083537]}}\n]}\n",
         1, "/search?q=Wien&format=json&limit=10"},
        {"geocode Wien --no-cache --limit 3 --country de,at --language en --viewbox "
         "13.123456789,47,17,49 --bounded --timeout 5",
         "*", 2,
         "/search?q=Wien&format=json&limit=3&accept-language=en&countrycodes=de,at"
         "&viewbox=13.123456789,47,17,49&bounded=1"},
        {"geocode --structured city=Wien --structured 'street=Ring 1' --format json",
         "[\n  {\"display_name\": \"Wien, \xC3\x96sterreich\", \"class\": \"boundary\", \"type\": "
         "\"administrative\", \"importance\": 0.8875, \"osm_type\": \"relation\", \"osm_id\": "
         "109166, \"lat\": 48.2083537, \"lon\": 16.3725042, \"boundingbox\": [48.1182699, "
         "48.3230999, 16.1826199, 16.5774999]}\n]\n",
         3, "/search?street=Ring%201&city=Wien&format=json&limit=10"},
    };
    for (const auto &c : kCases) {
        const ToolRun run = Tool(url, c.arguments);
        EXPECT_EQ(run.exitCode, 0) << c.arguments << run.err;
        if (c.out != "*")
            EXPECT_EQ(run.out, c.out) << c.arguments;
        EXPECT_EQ(server.RequestCount(), c.requests) << c.arguments;
        EXPECT_EQ(server.LastRequest().m_target, c.target) << c.arguments;
    }
}

TEST_F(GeocodingCli, ReverseInTheToolsXyOrder) {
    const VexoGeoTest::LoopbackServer server(
        Answering(200, std::string(kWien + 1, std::strlen(kWien) - 2)));
    const ToolRun run = Tool(server.SearchUrl(), "reverse 16.3725042 48.2083537 --zoom 10");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(server.LastRequest().m_target,
              "/reverse?lat=48.2083537&lon=16.3725042&zoom=10&format=json");
    EXPECT_EQ(run.out.rfind("16.3725042 48.2083537\t", 0), 0u) << run.out;
    const VexoGeoTest::LoopbackServer none(Answering(200, R"({"error":"Unable to geocode"})"));
    const ToolRun nothing = Tool(none.SearchUrl(), "reverse 0 0");
    EXPECT_EQ(nothing.exitCode, 0);
    EXPECT_EQ(nothing.out, "");
    EXPECT_EQ(nothing.err, "vexogeo: reverse: no place there\n");
}

TEST_F(GeocodingCli, EveryFailureIsOneCleanLine) {
    // A socket that takes the connection and never answers.
    const int silent = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr *>(&address), size), 0);
    ASSERT_EQ(listen(silent, 4), 0);
    ASSERT_EQ(getsockname(silent, reinterpret_cast<sockaddr *>(&address), &size), 0);
    const std::string silentUrl =
        "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/search";
    const VexoGeoTest::LoopbackServer html(Answering(200, "<html>Log in to the Wi-Fi</html>"));
    const VexoGeoTest::LoopbackServer broken(
        Answering(500, "\x1b]0;owned\x07" + std::string(5u << 20, '!')));
    const VexoGeoTest::LoopbackServer blocked(Answering(403, "Access blocked"));
    const struct {
        std::string url, arguments;
        int exitCode;
        std::string err; ///< the whole diagnostic, or its start when it ends in "*"
    } kCases[] = {
        {silentUrl, "geocode Wien --timeout 0.5", 1,
         "vexogeo: geocode: timed out: no complete answer within 1 s\n"},
        {html.SearchUrl(), "geocode Wien", 1,
         "vexogeo: geocode: the answer is not a Nominatim result: *"},
        {broken.SearchUrl(), "geocode Wien", 1,
         "vexogeo: geocode: HTTP 500: \\x1b]0;owned\\x07!!*"},
        {blocked.SearchUrl(), "reverse 1 2", 1,
         "vexogeo: reverse: HTTP 403: the service refuses this application or address "
         "(blocked): Access blocked\n"},
        {html.SearchUrl(), "geocode Wien --limit 0", 2,
         "vexogeo: geocode: --limit: expected 1 to 50, not 0\n"},
        {html.SearchUrl(), "geocode Wien --limit 51", 2,
         "vexogeo: geocode: --limit: expected 1 to 50, not 51\n"},
        {html.SearchUrl(), "geocode ' '", 2, "vexogeo: geocode: the QUERY is empty\n"},
        {html.SearchUrl(), "geocode Wien --viewbox 1,2,3", 2, "vexogeo: geocode: --viewbox: *"},
        {html.SearchUrl(), "geocode Wien --bounded", 2,
         "vexogeo: geocode: --bounded needs --viewbox\n"},
        {html.SearchUrl(), "geocode Wien --country d", 2, "vexogeo: geocode: --country: *"},
        {html.SearchUrl(), "geocode --structured town=Wien", 2,
         "vexogeo: geocode: --structured: *"},
        {html.SearchUrl(), "geocode Wien --timeout 0", 2, "vexogeo: geocode: --timeout: *"},
        {html.SearchUrl(), "reverse nan 1", 2, "vexogeo: reverse: LON: *"},
        {html.SearchUrl(), "reverse 1 91", 2, "vexogeo: reverse: LAT: *"},
        {html.SearchUrl(), "reverse 1 2 --zoom 19", 2, "vexogeo: reverse: --zoom: *"},
    };
    for (const auto &c : kCases) {
        const ToolRun run = Tool(c.url, c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments;
        EXPECT_EQ(run.out, "") << c.arguments;
        if (c.err.back() == '*') {
            EXPECT_EQ(run.err.rfind(c.err.substr(0, c.err.size() - 1), 0), 0u) << run.err;
            EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
            EXPECT_LT(run.err.size(), 400u) << c.arguments;
        } else {
            EXPECT_EQ(run.err, c.err) << c.arguments;
        }
    }
    EXPECT_EQ(html.RequestCount(), 1); // usage errors send nothing
    close(silent);
}

} // namespace
