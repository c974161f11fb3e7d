// The gate shared through its record file: separate gates on one file stand in for processes,
// a forked child for a lock holder that dies, records written by hand for stepped clocks.
#include "geocoding/nominatim_request.h"
#include "geocoding/request_gate.h"
#include "platform/locked_file.h"
#include "support/loopback_server.h"
#include "support/temp_folder.h"
#include "support/test_data.h"
#include "support/threads.h"

#include <vexogeo/geocoding/geocoder.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

namespace Geo {
namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

// A new empty folder `name` in the folder of this test process, removed at exit.
std::filesystem::path Folder(const std::string &name) {
    static const VexoGeoTest::CTempFolder processFolder("vexogeo-gate-");
    const auto folder = processFolder.Root() / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

long long WallMicrosIn(double seconds) {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               (std::chrono::system_clock::now() + Seconds(seconds)).time_since_epoch())
        .count();
}

// Seconds one pass of a fresh gate on `path` waits, at `rate`.
double TimePass(const std::string &path, double rate,
                RequestGate::Outcome expected = RequestGate::Outcome::Passed) {
    RequestGate gate(path);
    const auto start = Clock::now();
    EXPECT_EQ(gate.Pass(rate, start + std::chrono::seconds(5), {}), expected);
    return Seconds(Clock::now() - start).count();
}

TEST(SharedGate, GatesOnOneFileTakeTurnsLikeOneGate) {
    const std::string path = (Folder("turns") / "request-gate").string();
    constexpr double kRate = 20; // 50 ms apart
    constexpr int kGates = 4, kPasses = 5;
    std::vector<Clock::time_point> passed(kGates * kPasses);
    VexoGeoTest::RunThreads(kGates, [&](int g) {
        RequestGate gate(path); // one "process"
        for (int i = 0; i < kPasses; ++i) {
            EXPECT_EQ(gate.Pass(kRate, Clock::time_point::max(), {}), RequestGate::Outcome::Passed);
            passed[g * kPasses + i] = Clock::now();
        }
    });
    std::sort(passed.begin(), passed.end());
    // Each pass returns at its turn or a little later; gates of the process alone would pass
    // together.
    for (std::size_t i = 1; i < passed.size(); ++i)
        EXPECT_GT(Seconds(passed[i] - passed[i - 1]).count(), 0.6 / kRate) << i;
    EXPECT_GE(Seconds(passed.back() - passed.front()).count(), (passed.size() - 1) * 0.95 / kRate);
}

TEST(SharedGate, RecordsFromSteppedClocksAndOtherGatesHolds) {
    const auto folder = Folder("records");
    const std::string path = (folder / "request-gate").string();
    constexpr double kRate = 4; // 250 ms apart
    const auto record = [](double turnIn, double holdIn) {
        return "VEXOGEO-GATE 1\n" + std::to_string(turnIn == 0 ? 0 : WallMicrosIn(turnIn)) + " " +
               std::to_string(holdIn == 0 ? 0 : WallMicrosIn(holdIn)) + "\n";
    };
    for (const auto &c : VexoGeoTest::TestTable("geocoding/gate_records.tsv", 5)) {
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            << (c[2] != "-" ? c[2] : record(c.Number(0), c.Number(1)));
        const double waited = TimePass(path, kRate);
        EXPECT_GE(waited, c.Number(3)) << c.m_trace;
        EXPECT_LE(waited, c.Number(4)) << c.m_trace;
        EXPECT_EQ(VexoGeoTest::ReadBytes(path).rfind("VEXOGEO-GATE 1\n", 0), 0u) << c.m_trace;
    }
    // A hold that one process records (its Retry-After) holds the others, and a turn beyond the
    // deadline fails at once with the time it would have come.
    RequestGate(path).HoldUntil(Clock::now() + std::chrono::seconds(2));
    RequestGate other(path);
    Clock::time_point turn;
    const auto start = Clock::now();
    EXPECT_EQ(other.Pass(kRate, start + std::chrono::milliseconds(500), {}, &turn),
              RequestGate::Outcome::TooLate);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_GT(turn - start, std::chrono::milliseconds(1800));
    other.Reset();
    EXPECT_LE(TimePass(path, kRate), 0.1);
}

TEST(SharedGate, ALockHolderThatDiesReleasesTheGate) {
    const std::string path = (Folder("holder") / "request-gate").string();
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) { // system calls only: the child of a test process holds the lock and waits
        const int fd = open(path.c_str(), O_RDWR | O_CREAT, 0600);
        if (fd >= 0 && flock(fd, LOCK_EX) == 0 && write(ready[1], "L", 1) == 1)
            pause();
        _exit(1);
    }
    close(ready[1]);
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    Platform::CLockedFile probe;
    EXPECT_FALSE(probe.Lock(path, std::chrono::milliseconds(50)));
    // A holder that keeps the lock (stopped, not dead) delays a pass by the lock's patience; the
    // process's own spacing then lets it through.
    const double waited = TimePass(path, 1000);
    EXPECT_GE(waited, 0.9);
    EXPECT_LE(waited, 2.0);
    EXPECT_EQ(VexoGeoTest::ReadBytes(path), "");
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(probe.Lock(path, std::chrono::milliseconds(0)));
    probe.Unlock();
    EXPECT_LE(TimePass(path, 1000), 0.1);
    EXPECT_EQ(VexoGeoTest::ReadBytes(path).rfind("VEXOGEO-GATE 1\n", 0), 0u);
}

TEST(SharedGate, AnUnusableFileLeavesTheProcessGate) {
    const auto folder = Folder("unusable");
    std::filesystem::create_directories(folder / "a-folder");
    ASSERT_EQ(mkfifo((folder / "a-pipe").c_str(), 0600), 0);
    std::ofstream(folder / "a-file") << "x";
    // Read-only folders cannot be shown here when the suite runs as root, who writes anyway;
    // a folder that cannot be made stands for them.
    for (const auto &path : {folder / "a-folder", folder / "a-pipe", folder / "a-file" / "gate"}) {
        RequestGate gate(path.string());
        const auto start = Clock::now();
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(gate.Pass(20, start + std::chrono::seconds(5), {}),
                      RequestGate::Outcome::Passed);
        const double waited = Seconds(Clock::now() - start).count();
        EXPECT_GE(waited, 0.095) << path; // the process's spacing: three passes, 50 ms apart
        EXPECT_LE(waited, 0.5) << path;
    }
    EXPECT_TRUE(std::filesystem::is_fifo(folder / "a-pipe"));
}

// The plain search (SearchAt) and the client both wait for a hold another process recorded in the
// user's record, the one beside the cache.
TEST(SharedGate, TheSearchAndTheClientPassTheUsersGate) {
    const VexoGeoTest::LoopbackServer server(VexoGeoTest::Answering(200, "[]"));
    GeocoderOptions options;
    options.m_endpoint = server.SearchUrl();
    options.m_useCache = false;
    const CGeocoder geocoder(options);
    const std::string path = std::string(std::getenv("XDG_CACHE_HOME")) + "/vexogeo/request-gate";
    const std::function<void()> kSearches[] = {
        [&] { SearchAt(server.SearchUrl(), "a", 1); },
        [&] { geocoder.Search("b"); },
    };
    for (const auto &search : kSearches) {
        RequestGate::Process().Reset();
        RequestGate(path).HoldUntil(Clock::now() + std::chrono::milliseconds(400));
        const auto start = Clock::now();
        search();
        EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(350));
    }
    EXPECT_EQ(server.RequestCount(), 2);
    RequestGate::Process().Reset();
}

} // namespace
} // namespace Geo
