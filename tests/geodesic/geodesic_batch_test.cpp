// Batch geodesics: pairs equal to per-pair Inverse to the last bit, polyline lengths and polygon
// areas against GeographicLib's Planimeter and PROJ's cs2cs.
#include <vexogeo/vexogeo.h>

#include <gtest/gtest.h>
#include <proj.h>

#include <cmath>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "geodesic/geodesic_batch.h"
#include "support/subprocess.h"

using Geo::CCoordinateSystem;
using Geo::CGeodesic;
using VexoGeoTest::RunCommand;

namespace {

constexpr double kUntouched = -12345.5;

struct Ring {
    std::vector<double> x, y;
};

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Planimeter reads "lat lon" lines and prints "count perimeter area" (-l: "count length").
std::vector<double> Planimeter(const Ring &lonLat, bool polyline) {
    // Fixed notation: Planimeter would read the "e" of an exponent as a hemisphere (east).
    std::ostringstream input;
    input << std::fixed;
    input.precision(14);
    for (std::size_t i = 0; i < lonLat.x.size(); ++i)
        input << lonLat.y[i] << ' ' << lonLat.x[i] << '\n';
    const auto result =
        RunCommand(std::string("Planimeter -p 9") + (polyline ? " -l" : ""), input.str());
    std::istringstream fields(result.out);
    std::vector<double> values(3, std::nan(""));
    fields >> values[0] >> values[1] >> values[2];
    return values;
}

// A closed ring of `n` vertices around (lon, lat), `radius` degrees wide; `clockwise` reverses it.
Ring Circle(double lon, double lat, double radius, int n, bool clockwise) {
    Ring r;
    for (int i = 0; i < n; ++i) {
        const double t = (clockwise ? -2 : 2) * M_PI * i / n;
        r.x.push_back(lon + radius * std::cos(t));
        r.y.push_back(lat + 0.5 * radius * std::sin(t));
    }
    return r;
}

} // namespace

TEST(GeodesicBatch, EqualsInverseToTheLastBitAcrossChunks) {
    // 2.5 chunks of pairs, with unplaceable points scattered over every chunk.
    const std::size_t count = Geo::kGeodesicChunkPoints + Geo::kGeodesicChunkPoints / 4 + 37;
    const struct {
        const char *code;
        double xMin, xMax, yMin, yMax, bad;
    } kSystems[] = {{"4326", -180, 180, -89, 89, HUGE_VAL},
                    {"32633", 200000, 800000, -8000000, 9000000, 1e300},
                    {"3857", -2e7, 2e7, -1.5e7, 1.5e7, -HUGE_VAL},
                    {"4807", -5, 5, 40, 60, NAN},
                    {"27572", 0, 1.2e6, 1.6e6, 2.7e6, HUGE_VAL}};
    for (const auto &s : kSystems) {
        SCOPED_TRACE(s.code);
        const CGeodesic g(CCoordinateSystem::FromEpsgCode(s.code));
        std::mt19937_64 random(20260703);
        std::uniform_real_distribution<double> ux(s.xMin, s.xMax), uy(s.yMin, s.yMax);
        std::vector<double> x1(count), y1(count), x2(count), y2(count);
        for (std::size_t i = 0; i < count; ++i) {
            x1[i] = ux(random), y1[i] = uy(random), x2[i] = ux(random), y2[i] = uy(random);
            if (i % 97 == 5)
                (i % 2 ? x1 : x2)[i] = s.bad;
        }
        std::vector<double> d(count, kUntouched), a1(count, kUntouched), a2(count, kUntouched);
        std::vector<double> distanceOnly(count, kUntouched);
        const std::uint64_t measured = g.InverseBatch(count, x1.data(), y1.data(), x2.data(),
                                                      y2.data(), d.data(), a1.data(), a2.data());
        EXPECT_EQ(g.InverseBatch(count, x1.data(), y1.data(), x2.data(), y2.data(),
                                 distanceOnly.data(), nullptr, nullptr),
                  measured);
        std::uint64_t expected = 0;
        for (std::size_t i = 0; i < count; ++i) {
            double single = kUntouched;
            // A pair that Inverse refuses is NaN in the batch, and only such a pair.
            if (!g.Inverse(x1[i], y1[i], x2[i], y2[i], single)) {
                EXPECT_EQ(single, kUntouched) << i;
                EXPECT_TRUE(std::isnan(d[i]) && std::isnan(a1[i]) && std::isnan(a2[i])) << i;
                EXPECT_TRUE(std::isnan(distanceOnly[i])) << i;
                continue;
            }
            ++expected;
            EXPECT_TRUE(SameBits(d[i], single)) << i << ": " << d[i] << " vs " << single;
            EXPECT_TRUE(SameBits(distanceOnly[i], single)) << i;
            EXPECT_TRUE(std::abs(a1[i]) <= 180 && std::abs(a2[i]) <= 180) << i;
        }
        EXPECT_EQ(measured, expected);
        EXPECT_LT(measured, count); // the unplaceable points took part
    }
    proj_errno_reset(nullptr);
}

TEST(GeodesicBatch, AzimuthsAsGeodSolveGivesThem) {
    VEXOGEO_REQUIRE_PROGRAM("GeodSolve", "geographiclib-tools");
    const double x1[] = {16.37, -74.0, 179.5, 0}, y1[] = {48.21, 40.7, -10, 0};
    const double x2[] = {2.35, 139.7, -179.5, 0}, y2[] = {48.86, 35.7, 10, 0};
    double d[4], a1[4], a2[4];
    const CGeodesic g(CCoordinateSystem::FromEpsgCode("4326"));
    ASSERT_EQ(g.InverseBatch(4, x1, y1, x2, y2, d, a1, nullptr), 4u);
    ASSERT_EQ(g.InverseBatch(4, x1, y1, x2, y2, d, nullptr, a2), 4u);
    std::ostringstream input;
    for (int i = 0; i < 4; ++i)
        input << y1[i] << ' ' << x1[i] << ' ' << y2[i] << ' ' << x2[i] << '\n';
    std::istringstream out(RunCommand("GeodSolve -i -p 9", input.str()).out);
    for (int i = 0; i < 4; ++i) {
        double azi1 = 0, azi2 = 0, s12 = 0;
        ASSERT_TRUE(out >> azi1 >> azi2 >> s12);
        EXPECT_NEAR(a1[i], azi1, 1e-12) << i;
        EXPECT_NEAR(a2[i], azi2, 1e-12) << i;
        EXPECT_NEAR(d[i], s12, 1e-6) << i;
    }
}

TEST(GeodesicBatch, NothingMeasurableLeavesOutputsUntouched) {
    const double x[] = {10, 11, 12, 10}, y[] = {50, 50, 51, 51};
    const double xFar[] = {500000, 1e300, 510000}, yFar[] = {5e6, 5e6, 5.1e6};
    const double yPolar[] = {50, 91, 51};
    const CGeodesic empty;
    const CGeodesic wgs(CCoordinateSystem::FromEpsgCode("4326"));
    const CGeodesic utm(CCoordinateSystem::FromEpsgCode("32633"));
    const struct {
        const char *name;
        const CGeodesic &g;
        std::uint64_t count;
        const double *x, *y;
    } kCases[] = {{"no system", empty, 4, x, y},         {"too few", wgs, 1, x, y},
                  {"null x", wgs, 4, nullptr, y},        {"null y", wgs, 4, x, nullptr},
                  {"failed vertex", utm, 3, xFar, yFar}, {"latitude 91", wgs, 3, x, yPolar}};
    for (const auto &c : kCases) {
        double length = kUntouched, area = kUntouched, perimeter = kUntouched;
        EXPECT_FALSE(c.g.LineLength(c.count, c.x, c.y, length)) << c.name;
        EXPECT_FALSE(c.g.PolygonArea(c.count, c.x, c.y, area, perimeter)) << c.name;
        EXPECT_EQ(length, kUntouched) << c.name;
        EXPECT_EQ(area, kUntouched) << c.name;
        EXPECT_EQ(perimeter, kUntouched) << c.name;
    }
    double area = kUntouched, perimeter = kUntouched;
    EXPECT_FALSE(wgs.PolygonArea(2, x, y, area, perimeter));
    EXPECT_EQ(area, kUntouched);

    double d[4] = {kUntouched, kUntouched, kUntouched, kUntouched};
    EXPECT_EQ(empty.InverseBatch(2, x, y, x + 2, y + 2, d, nullptr, nullptr), 0u);
    EXPECT_EQ(wgs.InverseBatch(2, x, y, nullptr, y + 2, d, nullptr, nullptr), 0u);
    EXPECT_EQ(wgs.InverseBatch(2, x, y, x + 2, y + 2, nullptr, d, d), 0u);
    EXPECT_EQ(wgs.InverseBatch(0, x, y, x + 2, y + 2, d, nullptr, nullptr), 0u);
    for (double v : d)
        EXPECT_EQ(v, kUntouched);
    proj_errno_reset(nullptr);
}

TEST(GeodesicBatch, LengthAndAreaMatchPlanimeter) {
    VEXOGEO_REQUIRE_PROGRAM("Planimeter", "geographiclib-tools");
    const struct {
        const char *name;
        Ring ring;
    } kRings[] = {
        {"counter-clockwise", Circle(16, 48, 2, 7, false)},
        {"clockwise", Circle(16, 48, 2, 7, true)},
        {"across the antimeridian", Circle(180, -40, 3, 5, false)},
        {"three chunks of vertices", Circle(-60, 10, 20, 2 * Geo::kGeodesicChunkPoints + 11, true)},
        {"triangle around the pole", {{0, 120, 240}, {80, 80, 80}}},
    };
    const CGeodesic g(CCoordinateSystem::FromEpsgCode("4326"));
    for (const auto &r : kRings) {
        const auto n = r.ring.x.size();
        double length = 0, area = 0, perimeter = 0;
        ASSERT_TRUE(g.LineLength(n, r.ring.x.data(), r.ring.y.data(), length)) << r.name;
        ASSERT_TRUE(g.PolygonArea(n, r.ring.x.data(), r.ring.y.data(), area, perimeter)) << r.name;
        const auto line = Planimeter(r.ring, true);
        const auto polygon = Planimeter(r.ring, false);
        EXPECT_EQ(line[0], n) << r.name;
        EXPECT_NEAR(length, line[1], 1e-3) << r.name;
        EXPECT_NEAR(perimeter, polygon[1], 1e-3) << r.name;
        EXPECT_NEAR(area, std::abs(polygon[2]), 1.0) << r.name;
        EXPECT_GT(area, 0) << r.name;
    }
}

TEST(GeodesicBatch, ProjectedRingMeasuredOnTheEllipsoid) {
    VEXOGEO_REQUIRE_PROGRAM("Planimeter", "geographiclib-tools");
    VEXOGEO_REQUIRE_PROGRAM("cs2cs", "proj-bin");
    // A UTM 33N field; cs2cs, independent of the library, gives its geographic vertices.
    const Ring utm{{400000, 650000, 700000, 420000, 380000},
                   {5000000, 5050000, 5400000, 5500000, 5200000}};
    std::ostringstream input;
    for (std::size_t i = 0; i < utm.x.size(); ++i)
        input << utm.x[i] << ' ' << utm.y[i] << '\n';
    std::istringstream geo(RunCommand("cs2cs -f %.12f EPSG:32633 EPSG:4326", input.str()).out);
    Ring lonLat;
    double lat = 0, lon = 0, z = 0;
    while (geo >> lat >> lon >> z)
        lonLat.x.push_back(lon), lonLat.y.push_back(lat);
    ASSERT_EQ(lonLat.x.size(), utm.x.size());

    const CGeodesic g(CCoordinateSystem::FromEpsgCode("32633"));
    double length = 0, area = 0, perimeter = 0;
    ASSERT_TRUE(g.LineLength(utm.x.size(), utm.x.data(), utm.y.data(), length));
    ASSERT_TRUE(g.PolygonArea(utm.x.size(), utm.x.data(), utm.y.data(), area, perimeter));
    EXPECT_NEAR(length, Planimeter(lonLat, true)[1], 1e-3);
    const auto polygon = Planimeter(lonLat, false);
    EXPECT_NEAR(perimeter, polygon[1], 1e-3);
    EXPECT_NEAR(area, std::abs(polygon[2]), 1.0);
}
