// The geocoding client against loopback servers that count what they receive: the requests
// as the service documents them, the endpoint switch, typed failures, time-outs, cancellation
// and the cache. CTest gives the binary a high request rate and a cache folder of its own.
#include "geocoding/geocoding_settings.h"
#include "geocoding/nominatim_request.h"
#include "geocoding/place_cache.h"
#include "geocoding/request_gate.h"
#include "support/loopback_server.h"

#include <vexogeo/geocoding/geocoder.h>

#include <gtest/gtest.h>

#include "support/raw_peer.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"
#include "support/test_data.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace Geo {
namespace {

using Clock = std::chrono::steady_clock;
using VexoGeoTest::LoopbackServer;
using ScopedEnv = VexoGeoTest::CScopedEnv;

// Answers of the service, in tests/data/geocoder_answers.
const std::string kWien = VexoGeoTest::TestData("geocoder_answers/wien");
const std::string kWienObject = VexoGeoTest::TestData("geocoder_answers/wien_reverse");

LoopbackServer::Handler Answering(int status, std::string body, std::string retryAfter = "") {
    return [=](const httplib::Request &, httplib::Response &response) {
        response.status = status;
        if (!retryAfter.empty())
            response.set_header("Retry-After", retryAfter);
        response.set_content(body, "application/json; charset=utf-8");
    };
}

GeocoderOptions Uncached(const std::string &endpoint) {
    GeocoderOptions options;
    options.m_endpoint = endpoint;
    options.m_useCache = false;
    return options;
}

GeocodingErrorKind KindOf(const std::function<void()> &call) {
    try {
        call();
    } catch (const GeocodingError &error) {
        return error.GetKind();
    }
    ADD_FAILURE() << "no GeocodingError";
    return GeocodingErrorKind::Transfer;
}

// Rewrites the file at `path` as `change` makes its bytes.
void Rewrite(const std::string &path, std::string (*change)(std::string)) {
    const std::string bytes = change(VexoGeoTest::ReadBytes(path));
    std::ofstream(path, std::ios::binary) << bytes;
}

class Geocoder : public ::testing::Test {
  protected:
    void SetUp() override { RequestGate::Process().Reset(); }
    void TearDown() override { RequestGate::Process().Reset(); }
};

TEST_F(Geocoder, RequestsAsTheServiceDocumentsThem) {
    const LoopbackServer server(Answering(200, kWien));
    const LoopbackServer reverse(Answering(200, kWienObject));
    GeocoderOptions full = Uncached(server.SearchUrl());
    full.m_language = "de,en";
    full.m_countryCodes = {"de", "AT"};
    full.m_hasViewBox = true;
    full.m_viewBox = {13.123456789, 1e-7, 16.5, 48.3};
    full.m_bounded = true;
    full.m_limit = 50;
    full.m_email = "ops+geo@example.org";
    StructuredQuery structured;
    structured.m_street = "Ring 1";
    structured.m_city = "Wien";
    structured.m_postalCode = "1010";
    const struct {
        GeocoderOptions options;
        std::function<std::vector<Place>(const CGeocoder &)> call;
        std::string target;
    } kCases[] = {
        {Uncached(server.SearchUrl()),
         [](const CGeocoder &g) { return g.Search("A & B #1 + K\xC3\xB6ln"); },
         "/search?q=A%20%26%20B%20%231%20%2B%20K%C3%B6ln&format=json&limit=10"},
        {full, [](const CGeocoder &g) { return g.Search("Wien"); },
         "/search?q=Wien&format=json&limit=50&accept-language=de%2Cen&countrycodes=de,AT"
         "&viewbox=13.123456789,1e-07,16.5,48.3&bounded=1&email=ops%2Bgeo%40example.org"},
        {Uncached(server.SearchUrl()), [&](const CGeocoder &g) { return g.Search(structured); },
         "/search?street=Ring%201&city=Wien&postalcode=1010&format=json&limit=10"},
        {Uncached(server.SearchUrl() + "?key=1"), [](const CGeocoder &g) { return g.Search("x"); },
         "/search?key=1&q=x&format=json&limit=10"},
    };
    for (const auto &c : kCases) {
        const auto places = c.call(CGeocoder(c.options));
        EXPECT_EQ(server.LastRequest().m_target, c.target);
        EXPECT_EQ(server.LastRequest().m_userAgent, "Kalvo/7.6.3 VexoGeo/7.6.3");
        // Every member of the answer reaches the place.
        ASSERT_EQ(places.size(), 1u) << c.target;
        const Place &p = places[0];
        EXPECT_EQ(std::tie(p.m_latitude, p.m_longitude, p.m_importance, p.m_osmId),
                  std::make_tuple(48.2083537, 16.3725042, 0.8875, std::uint64_t{109166}));
        EXPECT_EQ(p.m_boundingBox,
                  (std::array<double, 4>{48.1182699, 48.3230999, 16.1826199, 16.5774999}));
        EXPECT_EQ(p.m_class + "/" + p.m_type + "/" + p.m_osmType.value_or("-") + "/" +
                      p.m_displayName,
                  "boundary/administrative/relation/Wien, \xC3\x96sterreich");
        EXPECT_EQ(p.GetDisplayNameInProcessCodePage(), p.m_displayName); // UTF-8 process
    }
    // Reverse goes to the sibling of the search URL, in latitude, longitude order.
    GeocoderOptions toReverse = Uncached(reverse.SearchUrl());
    toReverse.m_language = "en";
    const auto place = CGeocoder(toReverse).Reverse(16.3725042, 48.2083537, 10);
    EXPECT_EQ(reverse.LastRequest().m_target,
              "/reverse?lat=48.2083537&lon=16.3725042&zoom=10&format=json&accept-language=en");
    ASSERT_TRUE(place.has_value());
    EXPECT_EQ(place->m_osmId, 17u);
}

TEST_F(Geocoder, BadArgumentsAreRefusedBeforeAnyRequest) {
    const LoopbackServer server(Answering(200, kWien));
    const CGeocoder geocoder(Uncached(server.SearchUrl()));
    const double inf = HUGE_VAL;
    const auto construct = [&](const std::function<void(GeocoderOptions &)> &change) {
        GeocoderOptions options = Uncached(server.SearchUrl());
        change(options);
        CGeocoder{options};
    };
    const std::function<void()> kCalls[] = {
        [&] { geocoder.Search(""); },
        [&] { geocoder.Search(" \t"); },
        [&] { geocoder.Search(StructuredQuery{}); },
        [&] { geocoder.Reverse(std::nan(""), 48); },
        [&] { geocoder.Reverse(16, inf); },
        [&] { geocoder.Reverse(16, 91); },
        [&] { geocoder.Reverse(180.5, 48); },
        [&] { geocoder.Reverse(-181, 48); },
        [&] { geocoder.Reverse(16, 48, 19); },
        [&] { geocoder.Reverse(16, 48, -1); },
        [&] { construct([](GeocoderOptions &o) { o.m_limit = 51; }); },
        [&] { construct([](GeocoderOptions &o) { o.m_limit = 0; }); },
        [&] {
            construct([&](GeocoderOptions &o) {
                o.m_hasViewBox = true, o.m_viewBox = {0, 0, inf, 1};
            });
        },
        [&] { construct([](GeocoderOptions &o) { o.m_countryCodes = {"de&x=1"}; }); },
    };
    for (const auto &call : kCalls)
        EXPECT_EQ(KindOf(call), GeocodingErrorKind::InvalidArgument);
    EXPECT_EQ(server.RequestCount(), 0);
}

TEST_F(Geocoder, FailuresAreTypedAndOneCleanLine) {
    const std::string huge = "\x1b[31m" + std::string(5u << 20, 'x');
    const std::string notNominatim = "the answer is not a Nominatim result: ";
    const struct {
        LoopbackServer::Handler handler;
        GeocodingErrorKind kind;
        long status;
        double retryAfter;
        std::string start; ///< the message's beginning
    } kCases[] = {
        {Answering(403, "Blocked\n<b>policy</b>"), GeocodingErrorKind::Blocked, 403, -1,
         "HTTP 403: the service refuses this application or address (blocked): Blocked\\n<b>"},
        {Answering(429, "slow down", "7"), GeocodingErrorKind::RateLimited, 429, 7,
         "HTTP 429: too many requests (rate limited), retry after 7 s: slow down"},
        {Answering(500, huge), GeocodingErrorKind::HttpStatus, 500, -1, "HTTP 500: \\x1b[31mxxx"},
        {Answering(200, "<html><body>Welcome to the hotel Wi-Fi</body></html>"),
         GeocodingErrorKind::NotNominatim, 0, -1, notNominatim},
        {Answering(200, kWien.substr(0, 80)), GeocodingErrorKind::NotNominatim, 0, -1,
         notNominatim},
        {Answering(200, R"({"error":"x"})"), GeocodingErrorKind::NotNominatim, 0, -1,
         notNominatim + "expected a list"},
        {Answering(200, R"([{"display_name":"no point"}])"), GeocodingErrorKind::NotNominatim, 0,
         -1, notNominatim + "no element"},
    };
    for (const auto &c : kCases) {
        const LoopbackServer server(c.handler);
        GeocoderOptions options; // cached if it succeeded
        options.m_endpoint = server.SearchUrl();
        const CGeocoder geocoder(options);
        for (int attempt = 0; attempt < 2; ++attempt) {
            RequestGate::Process().Reset();
            try {
                geocoder.Search("Wien");
                ADD_FAILURE() << c.start;
            } catch (const GeocodingError &error) {
                const std::string text = error.what();
                EXPECT_EQ(error.GetKind(), c.kind) << text;
                EXPECT_EQ(error.GetStatus(), c.status) << text;
                EXPECT_EQ(error.GetRetryAfterSeconds(), c.retryAfter) << text;
                EXPECT_EQ(text.rfind(c.start, 0), 0u) << text;
                EXPECT_LT(text.size(), 320u);
                EXPECT_EQ(text.find_first_of("\n\r\x1b"), std::string::npos) << text;
            }
        }
        EXPECT_EQ(server.RequestCount(), 2) << "errors are never cached: " << c.start;
    }
    // An honest empty answer is no error, and reverse's "error" object is no place.
    const LoopbackServer empty(Answering(200, " [] "));
    EXPECT_TRUE(CGeocoder(Uncached(empty.SearchUrl())).Search("nowhere").empty());
    const LoopbackServer none(Answering(200, R"({"error":"Unable to geocode"})"));
    EXPECT_FALSE(CGeocoder(Uncached(none.SearchUrl())).Reverse(0, 0).has_value());
}

// A hostile or broken service: its text reaches the host as well-formed UTF-8 with every
// well-formed character kept, its numbers with every digit, and nothing it did not send is made
// up. One bad name costs neither its place nor the answer.
TEST_F(Geocoder, HostileTextArrivesRepairedAndNothingIsMadeUp) {
    const LoopbackServer server(
        Answering(200, VexoGeoTest::TestData("geocoder_answers/hostile_text")));
    const auto places = CGeocoder(Uncached(server.SearchUrl())).Search("x");
    ASSERT_EQ(places.size(), 2u);
    const Place &p = places[0];
    EXPECT_EQ(p.m_displayName,
              "A\x1b]0;x\x07\nB \xEF\xBF\xBD \xEF\xBF\xBDx \xF0\x9F\x98\x80 \xC2\x85");
    EXPECT_EQ(p.m_class, "A\xEF\xBF\xBD"
                         "B \xC3\xA9");
    EXPECT_EQ(p.m_type, "\xEF\xBF\xBD");
    EXPECT_EQ(p.m_osmType, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(p.m_importance, 0.9744633789338841);
    EXPECT_EQ(p.m_osmId, std::uint64_t{18446744073709551615u});
    const Place &q = places[1];
    EXPECT_EQ(q.m_displayName, "\\ud800"); // an escaped backslash, not an escape
    EXPECT_EQ(q.m_class + q.m_type, "");
    EXPECT_FALSE(q.m_importance || q.m_osmType || q.m_osmId);
}

// Numbers with more digits than a double holds read as the double nearest to all of them; a long
// mantissa with an exponent past a double's range (which sends RapidJSON's own converter out of
// its table) leaves its place out and the answer's other places stand.
TEST_F(Geocoder, LongNumbersReadExactlyAndOutOfRangeOnesCostOnlyTheirPlace) {
    const LoopbackServer server(
        Answering(200, VexoGeoTest::TestData("geocoder_answers/long_mantissa_numbers")));
    const auto places = CGeocoder(Uncached(server.SearchUrl())).Search("x");
    ASSERT_EQ(places.size(), 1u);
    EXPECT_EQ(places[0].m_latitude, 52.12345678901234567890123456789);
    EXPECT_EQ(places[0].m_longitude, 13.0);
    EXPECT_EQ(places[0].m_importance, 0.9744633789338841);
    EXPECT_EQ(places[0].m_osmId, std::uint64_t{18446744073709551615u});
}

TEST_F(Geocoder, RetryAfterHoldsTheGate) {
    const LoopbackServer server(Answering(429, "", "30"));
    const LoopbackServer busy(Answering(503, "busy", "30"));
    GeocoderOptions options = Uncached(server.SearchUrl());
    options.m_totalTimeout = std::chrono::milliseconds(10000); // below the 28 s it must refuse
    const CGeocoder geocoder(options);
    // The client's own 429 and a 503 answer to the plain search both hold the gate.
    const std::function<void()> kFirst[] = {
        [&] { EXPECT_EQ(KindOf([&] { geocoder.Search("a"); }), GeocodingErrorKind::RateLimited); },
        [&] { EXPECT_THROW(SearchAt(busy.SearchUrl(), "a", 1), TransferError); },
    };
    for (const auto &first : kFirst) {
        RequestGate::Process().Reset();
        first();
        const auto start = Clock::now();
        try {
            geocoder.Search("b");
            ADD_FAILURE();
        } catch (const GeocodingError &error) {
            EXPECT_EQ(error.GetKind(), GeocodingErrorKind::TimedOut) << error.what();
            EXPECT_GE(error.GetRetryAfterSeconds(), 28) << error.what();
        }
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(1)); // refused at once
    }
    EXPECT_EQ(server.RequestCount() + busy.RequestCount(), 2);
}

TEST_F(Geocoder, SilentServersTimeOutAndCancellationEndsTheWait) {
    const VexoGeoTest::LoopbackSocket silent(true);
    GeocoderOptions quick = Uncached(silent.m_url + "/search");
    quick.m_totalTimeout = std::chrono::milliseconds(300);
    auto start = Clock::now();
    EXPECT_EQ(KindOf([&] { CGeocoder(quick).Search("Wien"); }), GeocodingErrorKind::TimedOut);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));

    const CGeocoder patient(Uncached(silent.m_url + "/search")); // 30 s
    start = Clock::now();
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        patient.Cancel();
    });
    EXPECT_EQ(KindOf([&] { patient.Reverse(16, 48); }), GeocodingErrorKind::Cancelled);
    canceller.join();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
}

TEST_F(Geocoder, RepeatedRequestsComeFromTheCacheWhichSurvivesBadFiles) {
    const LoopbackServer server(Answering(200, kWien));
    GeocoderOptions options;
    options.m_endpoint = server.SearchUrl() + "?cache-test=" + std::to_string(getpid());
    const CGeocoder geocoder(options);
    CPlaceCache &cache = CPlaceCache::Process();
    const std::string file = cache.GetFilePath(options.m_endpoint + "&q=Wien&format=json&limit=10");
    const struct {
        const char *what;
        bool fromDisk;                      ///< the memory is cleared first
        std::string (*damage)(std::string); ///< what becomes of the file's bytes
        int requests;                       ///< the server's count after the search
    } kSteps[] = {
        {"first search", false, nullptr, 1},
        {"memory hit", false, nullptr, 1},
        {"disk hit", true, nullptr, 1},
        {"truncated file", true, [](std::string bytes) { return bytes.substr(0, 40); }, 2},
        {"replaced file", true, nullptr, 2},
        {"garbage file", true, [](std::string) { return std::string("\x89PNG\r\n\x1a\n"); }, 3},
        {"foreign key", true, [](std::string b) { return b.replace(b.find("q=Wien"), 1, "Q"); }, 4},
    };
    for (const auto &step : kSteps) {
        if (step.fromDisk)
            cache.ClearMemory();
        if (step.damage)
            Rewrite(file, step.damage);
        RequestGate::Process().Reset();
        const auto places = geocoder.Search("Wien");
        ASSERT_EQ(places.size(), 1u) << step.what;
        EXPECT_EQ(places[0].m_osmId, 109166u) << step.what;
        EXPECT_EQ(server.RequestCount(), step.requests) << step.what;
    }
    // Switched off: by the option and by a lifetime of 0.
    GeocoderOptions off = options;
    off.m_useCache = false;
    CGeocoder(off).Search("Wien");
    EXPECT_EQ(server.RequestCount(), 5);
    const ScopedEnv noLifetime("VEXOGEO_NOMINATIM_CACHE_SECONDS", "0");
    geocoder.Search("Wien");
    EXPECT_EQ(server.RequestCount(), 6);
}

TEST_F(Geocoder, EndpointAndRateAreReadAtRunTime) {
    const VexoGeoTest::CTempFolder settings("vexogeo-settings-");
    const std::filesystem::path &root = settings.Root();
    const auto write = [&](const char *hive, const char *name, const std::string &value) {
        const auto folder = root / hive / "SOFTWARE/Vexo/Kalvo";
        std::filesystem::create_directories(folder);
        std::ofstream(folder / name) << value << "\n";
    };
    const LoopbackServer user(Answering(200, kWien)), machine(Answering(200, kWien)),
        fromEnv(Answering(200, kWien));
    write("user", "NominatimUrl", user.SearchUrl());
    write("machine", "NominatimUrl", machine.SearchUrl());
    write("machine", "NominatimRequestsPerSecond", "2.5");
    write("machine", "NominatimCacheSeconds", "60");
    const ScopedEnv userHive("XDG_CONFIG_HOME", (root / "user").string());
    const ScopedEnv machineHive("XDG_CONFIG_DIRS", (root / "machine").string());
    const ScopedEnv noRate("VEXOGEO_NOMINATIM_REQUESTS_PER_SECOND", nullptr);
    const ScopedEnv noLifetime("VEXOGEO_NOMINATIM_CACHE_SECONDS", nullptr);
    {
        const ScopedEnv env("VEXOGEO_NOMINATIM_URL", fromEnv.SearchUrl().c_str());
        const ScopedEnv rate("VEXOGEO_NOMINATIM_REQUESTS_PER_SECOND", "400");
        EXPECT_EQ(GetConfiguredSearchUrl(), fromEnv.SearchUrl());
        EXPECT_EQ(GetConfiguredRequestsPerSecond(), 400);
        Nominatim::Search("Wien", 1);
        EXPECT_EQ(fromEnv.RequestCount(), 1);
    }
    const ScopedEnv noUrl("VEXOGEO_NOMINATIM_URL", nullptr);
    EXPECT_EQ(GetConfiguredSearchUrl(), user.SearchUrl());
    EXPECT_EQ(GetConfiguredRequestsPerSecond(), 2.5);
    EXPECT_EQ(GetConfiguredCacheSeconds(), 60);
    RequestGate::Process().Reset();
    Nominatim::Search("Wien", 16.2, 48.1, 16.5, 48.3, 1);
    EXPECT_EQ(user.RequestCount(), 1);
    std::filesystem::remove(root / "user/SOFTWARE/Vexo/Kalvo/NominatimUrl");
    EXPECT_EQ(GetConfiguredSearchUrl(), machine.SearchUrl());
    CGeocoder(Uncached("")).Search("Wien");
    EXPECT_EQ(machine.RequestCount(), 1);
    // Unusable rates fall back to one request per second.
    for (const char *bad : {"0", "-3", "fast", "1,5", "nan", "inf"}) {
        write("machine", "NominatimRequestsPerSecond", bad);
        EXPECT_EQ(GetConfiguredRequestsPerSecond(), 1) << bad;
    }
    std::filesystem::remove_all(root / "user");
    std::filesystem::remove_all(root / "machine");
    const std::string builtIn = GetConfiguredSearchUrl(); // the one compiled in
    EXPECT_EQ(builtIn.rfind("https://", 0), 0u) << builtIn;
    EXPECT_EQ(builtIn.find("127.0.0.1"), std::string::npos) << builtIn;
}

TEST(GeocodingSettings, SiblingUrls) {
    const std::pair<const char *, const char *> kSiblings[] = {
        {"https://nominatim.example.org/search", "https://nominatim.example.org/reverse"},
        {"https://h/nominatim/search.php?key=1", "https://h/nominatim/reverse?key=1"},
        {"http://h:8080/geo/", "http://h:8080/geo/reverse"},
        {"http://h/research", "http://h/research/reverse"},
    };
    for (const auto &[search, reverse] : kSiblings)
        EXPECT_EQ(GetSiblingUrl(search, "reverse"), reverse);
}

} // namespace
} // namespace Geo
