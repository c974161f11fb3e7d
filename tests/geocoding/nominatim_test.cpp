// The geocoding search end to end against a loopback server, and the URL it composes.
#include "geocoding/loopback_server.h"
#include "geocoding/nominatim_request.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Geo {
namespace {

namespace fs = std::filesystem;
using VexoGeoTest::LoopbackServer;

static_assert(std::is_base_of_v<std::exception, TransferError> &&
              !std::is_base_of_v<std::logic_error, TransferError>);

// Every process of this binary is an English installation with a UTF-8 code page.
class EnglishInstallation : public ::testing::Environment {
    void SetUp() override {
        char pattern[] = "/tmp/vexogeo-geocoding-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_root = pattern;
        fs::create_directories(m_root / "machine/SOFTWARE/Vexo/Kalvo");
        std::ofstream(m_root / "machine/SOFTWARE/Vexo/Kalvo/InstallLanguage") << "English\n";
        setenv("XDG_CONFIG_HOME", (m_root / "user").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (m_root / "machine").c_str(), 1);
        setenv("LC_ALL", "C.UTF-8", 1);
    }
    void TearDown() override { fs::remove_all(m_root); }
    fs::path m_root;
};
const auto *const kEnglish = ::testing::AddGlobalTestEnvironment(new EnglishInstallation);

const char *const kTwoPlaces =
    R"([{"place_id":1,"display_name":"K\u00f6ln, Nordrhein-Westfalen, Deutschland",)"
    R"("boundingbox":["50.8304399","51.0849743","6.7725303","7.162028"],"lat":"50.9"},)"
    R"({"boundingbox":["50.93","50.95","6.95","6.97"],"display_name":"Köln-Altstadt"}])";
const char *const kTail = "&accept-language=en&format=json&limit=";
const ViewBox kVienna{16.2, 48.1, 16.5, 48.3};

LoopbackServer::Handler Answering(int status, std::string body) {
    return [status, body](const httplib::Request &, httplib::Response &response) {
        response.status = status;
        response.set_content(body, "application/json; charset=utf-8");
    };
}

// The what() of the TransferError a search of `url` throws.
std::string Failure(const std::string &url) {
    try {
        SearchAt(url, "Wien", 5);
    } catch (const TransferError &error) {
        return error.what();
    }
    return "<no TransferError>";
}
std::string Failure(LoopbackServer::Handler handler, bool tls = false) {
    const LoopbackServer server(std::move(handler), tls);
    return Failure(server.SearchUrl());
}

TEST(Nominatim, ComposesTheWholeUrl) {
    const ViewBox rounded{16.123456789, 1e-7, 48.208174, 1234567};
    const struct {
        std::string query;
        int limit;
        const ViewBox *box;
        std::string url;
    } kCases[] = {
        {"Wien", 5, nullptr, "?q=Wien" + std::string(kTail) + "5"},
        {"", 1000, nullptr, "?q=" + std::string(kTail) + "1000"},
        {"Wien", 10, &kVienna,
         "?q=Wien" + std::string(kTail) + "10&viewbox=16.2,48.1,16.5,48.3&bounded=1"},
        {"Wien", 50, &rounded,
         "?q=Wien" + std::string(kTail) + "50&viewbox=16.1235,1e-07,48.2082,1.23457e+06&bounded=1"},
        // Blanks and non-ASCII bytes are left to libcurl's URL API; the query ends at a NUL.
        {"K\xC3\xB6ln Mitte", 5, nullptr, "?q=K\xC3\xB6ln Mitte" + std::string(kTail) + "5"},
        {"A & B #1 C++ 50% a\tb\x7F", 5, nullptr,
         "?q=A %26 B %231 C%2B%2B 50%25 a%09b%7F" + std::string(kTail) + "5"},
        {std::string("Wien\0Paris", 10), 5, nullptr, "?q=Wien" + std::string(kTail) + "5"},
    };
    for (const auto &c : kCases)
        EXPECT_EQ(ComposeSearchUrl("https://n.example/search", c.query, c.limit, c.box),
                  "https://n.example/search" + c.url);
}

TEST(Nominatim, BadLimitsAreRefusedBeforeAnyRequest) {
    const LoopbackServer server(Answering(200, "[]"));
    const auto expectRefused = [](auto search) {
        try {
            search();
            ADD_FAILURE() << "no exception";
        } catch (const std::invalid_argument &error) {
            EXPECT_STREQ(error.what(), "The argument limit is invalid");
        }
    };
    for (const int limit : {0, -5, INT_MIN}) {
        expectRefused([&] { SearchAt(server.SearchUrl(), "Wien", limit); });
        expectRefused([&] { Nominatim::Search("Wien", limit); });
    }
    for (const int limit : {0, 51, -1, INT_MAX}) {
        expectRefused([&] { SearchAt(server.SearchUrl(), "Wien", kVienna, limit); });
        expectRefused([&] { Nominatim::Search("Wien", 16.2, 48.1, 16.5, 48.3, limit); });
    }
    EXPECT_EQ(server.RequestCount(), 0);
}

TEST(Nominatim, RequestsAsTheServiceReceivesThem) {
    const LoopbackServer server(Answering(200, kTwoPlaces));
    const struct {
        const char *query;
        int limit;
        const ViewBox *box;
        std::string target;
    } kCases[] = {
        {"Wien", 1000, nullptr, "Wien" + std::string(kTail) + "1000"},
        {"Wien", 1, &kVienna,
         "Wien" + std::string(kTail) + "1&viewbox=16.2,48.1,16.5,48.3&bounded=1"},
        {"Wien", 50, &kVienna,
         "Wien" + std::string(kTail) + "50&viewbox=16.2,48.1,16.5,48.3&bounded=1"},
        {"A & B", 5, nullptr, "A+%26+B" + std::string(kTail) + "5"},
        {"x#y", 5, nullptr, "x%23y" + std::string(kTail) + "5"},
        {"C++", 5, nullptr, "C%2B%2B" + std::string(kTail) + "5"},
        {"a\tb", 5, nullptr, "a%09b" + std::string(kTail) + "5"},
        {"100% K\xC3\xB6ln", 5, nullptr, "100%25+K%c3%b6ln" + std::string(kTail) + "5"},
    };
    for (const auto &c : kCases) {
        const auto results = c.box ? SearchAt(server.SearchUrl(), c.query, *c.box, c.limit)
                                   : SearchAt(server.SearchUrl(), c.query, c.limit);
        EXPECT_EQ(results.size(), 2u);
        const auto request = server.LastRequest();
        EXPECT_EQ(request.m_target, "/search?q=" + c.target);
        EXPECT_EQ(request.m_query, c.query);
        EXPECT_EQ(request.m_userAgent, "Kalvo/7.6.3 VexoGeo/7.6.3");
    }
    const auto results = SearchAt(server.SearchUrl(), "K\xC3\xB6ln", 2);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].m_boundingBox,
              (std::array<double, 4>{50.8304399, 51.0849743, 6.7725303, 7.162028}));
    EXPECT_EQ(results[0].m_displayName, "K\xC3\xB6ln, Nordrhein-Westfalen, Deutschland");
    EXPECT_EQ(results[1].m_boundingBox, (std::array<double, 4>{50.93, 50.95, 6.95, 6.97}));
    EXPECT_EQ(results[1].m_displayName, "K\xC3\xB6ln-Altstadt");
}

TEST(Nominatim, FailedTransfersThrowTheirText) {
    EXPECT_EQ(Failure(Answering(404, "Not found")), "Not found");
    EXPECT_EQ(Failure(Answering(500, "")), "");
    EXPECT_EQ(Failure(Answering(400, std::string("Bad\0tail", 8))), "Bad");
    // A redirect is not followed.
    EXPECT_EQ(Failure([](const httplib::Request &request, httplib::Response &response) {
                  if (request.path == "/search")
                      response.set_redirect("/elsewhere", 301);
                  response.set_content(request.path == "/search" ? "Moved" : kTwoPlaces,
                                       "text/plain");
              }),
              "Moved");
    // Promises 1000 bytes and hangs up after 10.
    EXPECT_EQ(Failure([](const httplib::Request &, httplib::Response &response) {
                  response.set_content_provider(
                      1000, "application/json",
                      [](std::size_t offset, std::size_t, httplib::DataSink &sink) {
                          return offset == 0 && sink.write("[{\"displa", 10);
                      });
              }),
              curl_easy_strerror(CURLE_PARTIAL_FILE));
    // Certificate verification stays on.
    EXPECT_EQ(Failure(Answering(200, kTwoPlaces), true),
              curl_easy_strerror(CURLE_PEER_FAILED_VERIFICATION));
    EXPECT_EQ(Failure("no scheme"), curl_url_strerror(CURLUE_BAD_SCHEME));

    // A port that is bound but never listens refuses the connection.
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ASSERT_EQ(bind(socket, reinterpret_cast<sockaddr *>(&address), length), 0);
    ASSERT_EQ(getsockname(socket, reinterpret_cast<sockaddr *>(&address), &length), 0);
    EXPECT_EQ(Failure("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/search"),
              curl_easy_strerror(CURLE_COULDNT_CONNECT));
    close(socket);
}

TEST(Nominatim, EmptyOrUnreadableAnswerGivesNoPlaces) {
    for (const char *body : {"", "{}", "<html>maintenance</html>"}) {
        const LoopbackServer server(Answering(200, body));
        EXPECT_TRUE(SearchAt(server.SearchUrl(), "Wien", 5).empty()) << body;
        EXPECT_EQ(server.RequestCount(), 1);
    }
}

} // namespace
} // namespace Geo
