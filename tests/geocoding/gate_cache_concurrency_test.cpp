// The request gate and the disk cache used from several threads at once; also run under
// ThreadSanitizer. Several cache objects on one folder stand in for several processes.
#include "geocoding/place_cache.h"
#include "geocoding/request_gate.h"
#include "support/loopback_server.h"
#include "support/temp_folder.h"
#include "support/threads.h"

#include <vexogeo/geocoding/geocoder.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace Geo {
namespace {

using Clock = std::chrono::steady_clock;

using VexoGeoTest::RunThreads;

TEST(GateThreads, SearchesFromSeveralThreadsKeepTheRate) {
    const VexoGeoTest::LoopbackServer server(VexoGeoTest::Answering(200, "[]"));
    const struct {
        double rate;
        int threads, perThread;
    } kCases[] = {{20, 4, 3}, {50, 6, 5}};
    for (const auto &c : kCases) {
        const std::string rate = std::to_string(c.rate);
        setenv("VEXOGEO_NOMINATIM_REQUESTS_PER_SECOND", rate.c_str(), 1); // before any thread
        RequestGate::Process().Reset();
        GeocoderOptions options;
        options.m_endpoint = server.SearchUrl();
        options.m_useCache = false;
        const CGeocoder geocoder(options);
        const int before = server.RequestCount();
        const auto start = Clock::now();
        RunThreads(c.threads, [&](int t) {
            for (int i = 0; i < c.perThread; ++i)
                EXPECT_TRUE(geocoder.Search("q" + std::to_string(t * 100 + i)).empty());
        });
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const int n = c.threads * c.perThread;
        EXPECT_EQ(server.RequestCount() - before, n);
        EXPECT_GE(seconds, (n - 1) / c.rate) << rate;
    }
    setenv("VEXOGEO_NOMINATIM_REQUESTS_PER_SECOND", "1000", 1);
    RequestGate::Process().Reset();
}

// Spacing among threads is SearchesFromSeveralThreadsKeepTheRate's; a waiter for a turn a
// minute away gives up as soon as it is told to.
TEST(GateThreads, WaitersCanBeCancelled) {
    RequestGate gate;
    constexpr double kRate = 100;
    gate.HoldUntil(Clock::now() + std::chrono::minutes(1));
    const auto start = Clock::now();
    const auto cancelled = [&] { return Clock::now() - start > std::chrono::milliseconds(100); };
    EXPECT_EQ(gate.Pass(kRate, Clock::time_point::max(), cancelled),
              RequestGate::Outcome::Cancelled);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(gate.Pass(kRate, Clock::now() + std::chrono::seconds(5), {}),
              RequestGate::Outcome::TooLate);
}

TEST(CacheThreads, ProcessesSharingAFolderReadOnlyWholeAnswers) {
    const VexoGeoTest::CTempFolder cacheFolder("vexogeo-cache-");
    const auto folder = cacheFolder.Root() / "";
    const auto bodyFor = [](int key) {
        return R"([{"lat":"1","lon":"2","boundingbox":["0","1","2","3"],"osm_id":)" +
               std::to_string(key) + R"(,"display_name":")" + std::string(200 + key * 10, 'n') +
               "\"}]";
    };
    constexpr std::uint64_t kBound = 8 * 1024; // small, so that trimming runs all the time
    constexpr int kKeys = 40;
    RunThreads(4, [&](int t) {
        CPlaceCache cache(4, kBound, folder.string()); // one "process"
        for (int round = 0; round < 60; ++round) {
            const int key = (round * 7 + t * 13) % kKeys;
            const std::string name = "key " + std::to_string(key);
            if (auto places = cache.Find(name, AnswerKind::Search, 3600)) {
                ASSERT_EQ(places->size(), 1u) << name;
                EXPECT_EQ((*places)[0].m_osmId, static_cast<std::uint64_t>(key)) << name;
            } else {
                Place place;
                place.m_osmId = key;
                cache.Store(name, bodyFor(key), {place});
            }
        }
    });
    std::uintmax_t total = 0;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        EXPECT_EQ(entry.path().extension(), ".places") << entry.path(); // no temporary left
        total += entry.file_size();
    }
    EXPECT_LE(total, kBound + 1024);
    CPlaceCache reader(4, kBound, folder.string());
    int found = 0;
    for (int key = 0; key < kKeys; ++key) {
        if (auto places = reader.Find("key " + std::to_string(key), AnswerKind::Search, 3600)) {
            ++found;
            EXPECT_EQ((*places)[0].m_osmId, static_cast<std::uint64_t>(key));
        }
    }
    EXPECT_GT(found, 0);
}

} // namespace
} // namespace Geo
