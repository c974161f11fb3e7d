// The vexogeo tool run as a subprocess: exact outputs, diagnostics and exit codes per command.
// Expected numbers come from PROJ's cs2cs and GeographicLib's GeodSolve on the same points.
#include "cli_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <vector>

namespace {

using namespace VexoGeoCliTest;

const std::string kData = std::string(VEXOGEO_TEST_SOURCE_DIR) + "/data";

// Counts the lines of `out` whose `columns` numbers are not within `tolerance` of the next ones
// of `expected`, plus one when the number of lines differs.
long Mismatches(const std::string &out, const std::vector<double> &expected, std::size_t columns,
                double tolerance) {
    long wrong = 0;
    std::size_t at = 0;
    for (const char *p = out.c_str(); *p != '\0'; at += columns) {
        char *end = const_cast<char *>(p);
        bool right = at + columns <= expected.size();
        for (std::size_t i = 0; i < columns && right; ++i)
            right = std::fabs(std::strtod(end, &end) - expected[at + i]) <= tolerance;
        wrong += right && *end == '\n' ? 0 : 1;
        const char *next = std::strchr(p, '\n');
        p = next != nullptr ? next + 1 : p + std::strlen(p);
    }
    return wrong + (at == expected.size() ? 0 : 1);
}

// A generated input larger than the tool may hold: every line must come out, transformed
// (checked against the closed form of Web Mercator), while the tool's peak memory stays below
// the input's size.
TEST(CliTransform, StreamsALargeInputInBoundedMemory) {
    constexpr long kPeakLimitKilobytes = 40 * 1024;
    constexpr double kRadius = 6378137, kPi = 3.14159265358979323846;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> longitude(-180, 180), latitude(-85, 85);
    std::vector<double> expected;
    std::string input;
    char text[64];
    for (int i = 0; i < 2500000; ++i) {
        const double lon = std::round(longitude(random) * 1e6) / 1e6;
        const double lat = std::round(latitude(random) * 1e6) / 1e6;
        input.append(text, static_cast<std::size_t>(
                               std::snprintf(text, sizeof text, "%.6f %.6f\n", lon, lat)));
        expected.push_back(kRadius * lon * kPi / 180);
        expected.push_back(kRadius * std::log(std::tan(kPi / 4 + lat * kPi / 360)));
    }
    ASSERT_GT(input.size(), static_cast<std::size_t>(kPeakLimitKilobytes) * 1024);
    VEXOGEO_REQUIRE_PROGRAM("/usr/bin/time", "time");
    // One thread: every further thread adds its own PROJ context and buffers, a fixed amount.
    const Outcome outcome =
        RunTool("transform --from EPSG:4326 --to EPSG:3857 --precision 3 --threads 1", input,
                "english", Timed());
    ASSERT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(Mismatches(outcome.out, expected, 2, 2e-3), 0);
    ExpectPeakBelow(kPeakLimitKilobytes);
}

// Many blocks of pairs through the batch path, each distance against GeodSolve's.
TEST(CliDistance, BulkAgreesWithGeodSolveOverManyBlocks) {
    VEXOGEO_REQUIRE_PROGRAM("GeodSolve", "geographiclib-tools");
    constexpr std::size_t kPairs = 100000;
    std::mt19937 random(11);
    std::uniform_real_distribution<double> longitude(-180, 180), latitude(-89, 89);
    std::string input, swapped;
    char text[128];
    for (std::size_t i = 0; i < kPairs; ++i) {
        const double x1 = longitude(random), y1 = latitude(random);
        const double x2 = longitude(random), y2 = latitude(random);
        const char *form = "%.6f %.6f %.6f %.6f\n";
        input.append(
            text, static_cast<std::size_t>(std::snprintf(text, sizeof text, form, x1, y1, x2, y2)));
        swapped.append(
            text, static_cast<std::size_t>(std::snprintf(text, sizeof text, form, y1, x1, y2, x2)));
    }
    const Outcome outcome = RunTool("distance --crs EPSG:4326 --precision 6", input);
    ASSERT_EQ(outcome.exitCode, 0);
    std::istringstream oracle(VexoGeoTest::RunCommand("GeodSolve -i -p 6", swapped).out);
    std::vector<double> expected;
    for (double azimuth1 = 0, azimuth2 = 0, s12 = 0; oracle >> azimuth1 >> azimuth2 >> s12;)
        expected.push_back(s12);
    ASSERT_EQ(expected.size(), kPairs);
    EXPECT_EQ(Mismatches(outcome.out, expected, 1, 2e-6), 0);
}

// The tour over the bundled data with the geocoding service behind `proxy`: it ends well, its
// steps are numbered 1 to N in order, and each shows its work.
std::string RunTour(const LoopbackSocket &proxy, const std::string &language) {
    const Outcome outcome = RunTool("tour --data " + kData, "", language, Proxy(proxy));
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.err, "");
    const std::string &out = outcome.out;
    EXPECT_EQ(out.rfind("VexoGeo 7.6.3 tour, sample data from " + kData + "\n\n[1/", 0), 0u) << out;
    const std::string ending = "\n\nTour complete.\n";
    EXPECT_EQ(out.substr(std::max(out.size(), ending.size()) - ending.size()), ending);
    const std::size_t total = std::strtoul(out.c_str() + out.find("[1/") + 3, nullptr, 10);
    EXPECT_GE(total, 7u) << out;
    for (std::size_t step = 1, previous = 0; step <= total; ++step) {
        const std::string heading =
            "\n[" + std::to_string(step) + "/" + std::to_string(total) + "] ";
        const std::size_t at = out.find(heading);
        const std::size_t next = out.find("\n\n", std::min(at, out.size()) + heading.size());
        if (at == std::string::npos || next == std::string::npos) {
            ADD_FAILURE() << heading << "is missing or unended:\n" << out;
            break;
        }
        EXPECT_GT(at, previous) << heading;
        EXPECT_NE(out.substr(at, next - at).find("\n    "), std::string::npos)
            << heading << "shows no work";
        previous = at;
    }
    return out;
}

// A service that never answers: a few figures (cs2cs, GeodSolve, Planimeter) and the German
// names pin the content.
TEST(CliTour, RunsEveryStepOverTheSampleData) {
    const std::string out = RunTour(LoopbackSocket(true), "german");
    for (const char *expected : {
             "13.377704 52.516275         ->  1489199.20 6894018.36\n",
             "point 1 to point 2: 881.332 km\n",
             "the ring through all points: area 103220.7 km^2, perimeter 3336.349 km\n",
             "WGS 84 (L\xC3\xA4nge, Breite)\n",
             "TopPlus Open (Bundesamt f\xC3\xBCr Kartographie und Geod\xC3\xA4sie)\n",
             "&crs=EPSG:3857&bbox=1484199.0,6889018.0,1494199.0,6899018.0&width=800&height=800\n",
             "unreachable from here (no answer within 5 seconds); the search is skipped",
         })
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
}

// A service that cannot be reached at all: the tour says why and goes on.
TEST(CliTour, GoesOnWhenTheServiceIsUnreachable) {
    const std::string out = RunTour(LoopbackSocket(false), "english");
    const std::string step = "[7/7] Searching \"Brandenburger Tor, Berlin\" with the geocoding "
                             "service\n    The geocoding service is unreachable from here (";
    const std::string ending = "); the search is skipped and the tour goes on.\n\nTour complete.\n";
    const std::size_t at = out.find(step);
    ASSERT_NE(at, std::string::npos) << out;
    const std::string reason = out.substr(at + step.size());
    ASSERT_GT(reason.size(), ending.size()) << out;
    EXPECT_EQ(reason.substr(reason.size() - ending.size()), ending);
    EXPECT_EQ(reason.find("no answer within"), std::string::npos) << reason;
}

} // namespace
