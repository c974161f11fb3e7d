// Geodesic distances and batches: refusals, Karney's exact test geodesics, and batches that equal
// single measurements to the last bit. The comparisons with GeographicLib's and PROJ's own tools
// are in geodesic_oracle_test.cpp.
#include <vexogeo/vexogeo.h>

#include <gtest/gtest.h>
#include <proj.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "geodesic/ellipsoid_geodesic.h"
#include "geodesic/geodesic_batch.h"
#include "support/test_data.h"

using Geo::CCoordinateSystem;
using Geo::CGeodesic;

namespace {

constexpr double kUntouched = -12345.5;

struct Pair {
    double x1, y1, x2, y2;
};

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The count a host observes: one reference taken and given back.
unsigned CountOf(CCoordinateSystem *cs) {
    const unsigned count = cs->AddRef();
    cs->Release();
    return count - 1;
}

} // namespace

// Every way a pair can fail to be measured answers false with the distance untouched, never a
// NaN or infinite "success"; the batch gives NaN, or nothing at all in an unmeasurable system.
TEST(GeodesicFailures, FalseExitsLeaveTheDistanceUntouched) {
    double distance = 42;
    EXPECT_FALSE(CGeodesic().Inverse(0, 0, 1, 1, distance));
    for (const auto &c : VexoGeoTest::TestTable("geodesic/unmeasurable_pairs.tsv", 6)) {
        SCOPED_TRACE(c.m_trace);
        const bool measurable = c[1] == "1";
        const Pair pair{c.Number(2), c.Number(3), c.Number(4), c.Number(5)};
        const CGeodesic g(!c[0].empty() ? CCoordinateSystem::FromProj4Parameters(c[0].c_str())
                                        : new CCoordinateSystem());
        EXPECT_EQ(g.IsMeasurable(), measurable);
        EXPECT_FALSE(g.Inverse(pair.x1, pair.y1, pair.x2, pair.y2, distance));
        EXPECT_EQ(distance, 42);
        double batch = 42;
        EXPECT_EQ(
            g.InverseBatch(1, &pair.x1, &pair.y1, &pair.x2, &pair.y2, &batch, nullptr, nullptr),
            0u);
        EXPECT_EQ(std::isnan(batch), measurable); // untouched when unmeasurable
    }
    proj_errno_reset(nullptr);
}

// One reference on the working system and the one the derived system was handed out with, and
// nothing more: the kept transformation and the lanes hold PROJ objects, not handles. Copies
// share both systems; the last holder frees them (checked by the sanitizers).
TEST(GeodesicSystems, HoldsExactlyOneReferenceOnEachSystem) {
    CCoordinateSystem *utm = CCoordinateSystem::FromEpsgCode("32633");
    CCoordinateSystem *other = CCoordinateSystem::FromEpsgCode("32632");
    ASSERT_NE(utm, nullptr);
    ASSERT_NE(other, nullptr);
    utm->AddRef(); // the test's own references
    other->AddRef();
    {
        CGeodesic g(utm);
        CCoordinateSystem *latLong = g.GetLatLongCoordinateSystem();
        ASSERT_NE(latLong, nullptr);
        EXPECT_TRUE(latLong->IsGeographic());
        EXPECT_EQ(CountOf(utm), 2u);
        EXPECT_EQ(CountOf(latLong), 1u);
        g.SetCoordinateSystem(utm);
        EXPECT_EQ(g.GetLatLongCoordinateSystem(), latLong);
        EXPECT_EQ(CountOf(utm), 2u);
        EXPECT_EQ(CountOf(latLong), 1u);
        {
            CGeodesic copy(g);
            copy = copy;
            EXPECT_EQ(CountOf(utm), 3u);
            EXPECT_EQ(CountOf(latLong), 2u);
            CGeodesic assigned(other);
            assigned = g;
            EXPECT_EQ(CountOf(utm), 4u);
            EXPECT_EQ(CountOf(latLong), 3u);
            EXPECT_EQ(CountOf(other), 1u);
            assigned.SetThreadCount(3);
            EXPECT_EQ(CountOf(utm), 4u);
            EXPECT_EQ(CountOf(latLong), 3u);
            double d = 0;
            EXPECT_TRUE(copy.Inverse(500000, 0, 500000, 1000, d));
        }
        EXPECT_EQ(CountOf(utm), 2u);
        EXPECT_EQ(CountOf(latLong), 1u);
        g.SetCoordinateSystem(other);
        EXPECT_EQ(CountOf(utm), 1u);
        EXPECT_EQ(CountOf(other), 2u);
        EXPECT_EQ(CountOf(g.GetLatLongCoordinateSystem()), 1u);
        g.SetCoordinateSystem(nullptr);
        EXPECT_EQ(g.GetLatLongCoordinateSystem(), nullptr);
        EXPECT_EQ(CountOf(other), 1u);
    }
    EXPECT_EQ(utm->Release(), 0u);
    EXPECT_EQ(other->Release(), 0u);
}

TEST(GeodesicAccuracy, MatchesKarneysExactGeodesics) {
    const std::string path =
        std::string(VEXOGEO_TEST_SOURCE_DIR) + "/tests/geodesic/data/GeodTest-sample.dat";
    std::ifstream data(path);
    ASSERT_TRUE(data) << path;
    CGeodesic g(CCoordinateSystem::FromEpsgCode("4326"));
    int count = 0;
    double worst = 0;
    for (double v[10];
         data >> v[0] >> v[1] >> v[2] >> v[3] >> v[4] >> v[5] >> v[6] >> v[7] >> v[8] >> v[9];) {
        double s12 = -1;
        ASSERT_TRUE(g.Inverse(v[1], v[0], v[4], v[3], s12)) << "line " << count;
        worst = std::max(worst, std::abs(s12 - v[6]));
        ++count;
    }
    ASSERT_EQ(count, 3334) << "reference data missing or truncated: " << path;
    // GeographicLib's series solution is good to about 15 nm on WGS84.
    EXPECT_LT(worst, 1e-7) << "largest error in metres";
}

// A batch over 2.5 chunks, with unplaceable points scattered over every chunk, gives per pair what
// Inverse gives, to the last bit, or NaN where Inverse refuses. The transformation kept by a
// CGeodesic (also by its copies, and rebuilt when the working system changes) gives what a new
// transformation gives, to the last bit.
TEST(GeodesicBatch, EqualsInverseToTheLastBitAcrossChunks) {
    const std::size_t count = Geo::kGeodesicChunkPoints + Geo::kGeodesicChunkPoints / 4 + 37;
    for (const auto &row : VexoGeoTest::TestTable("geodesic/batch_systems.tsv", 7)) {
        SCOPED_TRACE(row.m_trace);
        const double bad = row.Number(5);
        const bool degrees = row[6] == "1"; // the geodetic system counts degrees from Greenwich
        const CGeodesic g(CCoordinateSystem::FromEpsgCode(row[0].c_str())), copy(g);
        CGeodesic assigned, reset(CCoordinateSystem::FromEpsgCode("4326"));
        assigned = g;
        reset.SetCoordinateSystem(g.GetCoordinateSystem());
        const CGeodesic *const holders[] = {&copy, &assigned, &reset};
        CCoordinateSystem *latLong = g.GetLatLongCoordinateSystem();
        double a = 0, b = 0;
        ASSERT_TRUE(latLong && latLong->GetSpheroidDefinition(a, b));
        const auto series = Geo::MakeSeriesGeodesic(a, CCoordinateSystem::GetFlattening(a, b));
        std::mt19937_64 random(20260703);
        std::uniform_real_distribution<double> ux(row.Number(1), row.Number(2)),
            uy(row.Number(3), row.Number(4));
        std::vector<double> x1(count), y1(count), x2(count), y2(count);
        for (std::size_t i = 0; i < count; ++i) {
            x1[i] = ux(random), y1[i] = uy(random), x2[i] = ux(random), y2[i] = uy(random);
            if (i % 97 == 5)
                (i % 2 ? x1 : x2)[i] = bad;
        }
        std::vector<double> d(count, kUntouched), a1(d), a2(d), distanceOnly(d);
        const std::uint64_t measured = g.InverseBatch(count, x1.data(), y1.data(), x2.data(),
                                                      y2.data(), d.data(), a1.data(), a2.data());
        EXPECT_EQ(g.InverseBatch(count, x1.data(), y1.data(), x2.data(), y2.data(),
                                 distanceOnly.data(), nullptr, nullptr),
                  measured);
        std::uint64_t expected = 0;
        for (std::size_t i = 0; i < count; ++i) {
            double single = kUntouched;
            if (!g.Inverse(x1[i], y1[i], x2[i], y2[i], single)) {
                EXPECT_EQ(single, kUntouched) << i;
                EXPECT_TRUE(std::isnan(d[i]) && std::isnan(a1[i]) && std::isnan(a2[i]) &&
                            std::isnan(distanceOnly[i]))
                    << i;
                continue;
            }
            ++expected;
            EXPECT_TRUE(SameBits(d[i], single)) << i << ": " << d[i] << " vs " << single;
            EXPECT_TRUE(SameBits(distanceOnly[i], single)) << i;
            EXPECT_TRUE(std::abs(a1[i]) <= 180 && std::abs(a2[i]) <= 180) << i;
            if (!degrees || i % 7 != 0)
                continue;
            // A new normalized transformation and GeographicLib solution for the pair.
            double xs[2] = {x1[i], x2[i]}, ys[2] = {y1[i], y2[i]}, fresh = 0;
            ASSERT_TRUE(Geo::CConverter(g.GetCoordinateSystem(), latLong)
                            .TransformCoordinates(2, xs, ys, nullptr));
            series.Inverse(ys[0], xs[0], ys[1], xs[1], fresh);
            EXPECT_TRUE(SameBits(single, fresh)) << i << ": " << single << " vs " << fresh;
            for (const CGeodesic *h : holders) {
                double other = -1;
                ASSERT_TRUE(h->Inverse(x1[i], y1[i], x2[i], y2[i], other)) << i;
                EXPECT_TRUE(SameBits(other, single)) << i;
            }
        }
        EXPECT_EQ(measured, expected);
        EXPECT_LT(measured, count); // the unplaceable points took part
    }
    proj_errno_reset(nullptr);
}

TEST(GeodesicBatch, NothingMeasurableLeavesOutputsUntouched) {
    const double x[] = {10, 11, 12, 10}, y[] = {50, 50, 51, 51};
    const double xFar[] = {500000, 1e300, 510000}, yFar[] = {5e6, 5e6, 5.1e6};
    const double yPolar[] = {50, 91, 51};
    const CGeodesic empty, wgs(CCoordinateSystem::FromEpsgCode("4326")),
        utm(CCoordinateSystem::FromEpsgCode("32633"));
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
        EXPECT_TRUE(length == kUntouched && area == kUntouched && perimeter == kUntouched)
            << c.name;
    }
    double area = kUntouched, perimeter = kUntouched;
    EXPECT_FALSE(wgs.PolygonArea(2, x, y, area, perimeter));
    EXPECT_EQ(area, kUntouched);

    double d[4] = {kUntouched, kUntouched, kUntouched, kUntouched};
    EXPECT_EQ(wgs.InverseBatch(2, x, y, nullptr, y + 2, d, nullptr, nullptr), 0u);
    EXPECT_EQ(wgs.InverseBatch(2, x, y, x + 2, y + 2, nullptr, d, d), 0u);
    EXPECT_EQ(wgs.InverseBatch(0, x, y, x + 2, y + 2, d, nullptr, nullptr), 0u);
    for (double v : d)
        EXPECT_EQ(v, kUntouched);
    proj_errno_reset(nullptr);
}
