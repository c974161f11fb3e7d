// Geodesic batches split across threads: the same bits, NaNs and counts as one thread, also
// when a host's own threads measure on their lanes at once.
#include <vexogeo/vexogeo.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "crs/system_ref.h"

namespace {

bool SameBits(const std::vector<double> &a, const std::vector<double> &b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

struct Batch {
    std::vector<double> x1, y1, x2, y2, s12, azi1, azi2;
    std::uint64_t measured = 0;
};

// Pairs in the system's own coordinates, every 991st with a point beyond the pole and every
// 1013th with a NaN.
Batch MakeBatch(std::size_t count, bool projected) {
    std::mt19937_64 random(2201);
    std::uniform_real_distribution<double> x(projected ? 200000 : -180, projected ? 800000 : 180);
    std::uniform_real_distribution<double> y(projected ? 0 : -89, projected ? 9000000 : 89);
    Batch b;
    for (std::size_t i = 0; i < count; ++i) {
        b.x1.push_back(x(random));
        b.y1.push_back(i % 991 == 3 && !projected ? 95 : y(random));
        b.x2.push_back(i % 1013 == 9 ? std::nan("") : x(random));
        b.y2.push_back(y(random));
    }
    b.s12.assign(count, -1);
    b.azi1.assign(count, -1);
    b.azi2.assign(count, -1);
    return b;
}

} // namespace

TEST(GeodesicThreads, SplitBatchesEqualOneThreadToTheBit) {
    for (const char *code : {"4326", "32633"}) {
        Geo::CSystemRef system(Geo::CCoordinateSystem::FromEpsgCode(code));
        Geo::CGeodesic geodesic(system.Get());
        const bool projected = code[0] == '3';
        for (const std::size_t count : {std::size_t{8191}, std::size_t{30001}}) {
            Batch one = MakeBatch(count, projected);
            one.measured = geodesic.InverseBatch(count, one.x1.data(), one.y1.data(), one.x2.data(),
                                                 one.y2.data(), one.s12.data(), one.azi1.data(),
                                                 one.azi2.data());
            EXPECT_LT(one.measured, count);
            EXPECT_GT(one.measured, count / 2);
            for (const unsigned threads : {2u, 3u, 8u}) {
                geodesic.SetThreadCount(threads);
                EXPECT_EQ(geodesic.GetLaneCount(), threads);
                Batch many = MakeBatch(count, projected);
                many.measured = geodesic.InverseBatch(
                    count, many.x1.data(), many.y1.data(), many.x2.data(), many.y2.data(),
                    many.s12.data(), many.azi1.data(), many.azi2.data());
                EXPECT_EQ(one.measured, many.measured) << code << " " << threads;
                EXPECT_TRUE(SameBits(one.s12, many.s12) && SameBits(one.azi1, many.azi1) &&
                            SameBits(one.azi2, many.azi2))
                    << code << ", " << count << " pairs, " << threads << " threads";
            }
            geodesic.SetThreadCount(1);
        }
    }
}

TEST(GeodesicThreads, LanesMeasureAtOnceOnTheHostsThreads) {
    Geo::CSystemRef system(Geo::CCoordinateSystem::FromEpsgCode("32633"));
    Geo::CGeodesic geodesic(system.Get());
    Batch one = MakeBatch(20000, true);
    geodesic.InverseBatch(one.s12.size(), one.x1.data(), one.y1.data(), one.x2.data(),
                          one.y2.data(), one.s12.data(), nullptr, nullptr);
    constexpr unsigned kLanes = 3;
    geodesic.SetThreadCount(kLanes);
    std::vector<Batch> batches(kLanes, MakeBatch(20000, true));
    EXPECT_EQ(geodesic.InverseBatchOnLane(kLanes, 1, one.x1.data(), one.y1.data(), one.x2.data(),
                                          one.y2.data(), batches[0].s12.data(), nullptr, nullptr),
              0u);
    std::vector<std::thread> threads;
    for (unsigned lane = 0; lane < kLanes; ++lane)
        threads.emplace_back([&, lane] {
            Batch &b = batches[lane];
            for (int round = 0; round < 3; ++round)
                geodesic.InverseBatchOnLane(lane, b.s12.size(), b.x1.data(), b.y1.data(),
                                            b.x2.data(), b.y2.data(), b.s12.data(), nullptr,
                                            nullptr);
        });
    for (auto &t : threads)
        t.join();
    for (unsigned lane = 0; lane < kLanes; ++lane)
        EXPECT_TRUE(SameBits(batches[lane].s12, one.s12)) << "lane " << lane;
}

// Parts of one polyline, as lines and as rings, measured on lanes at once, in a projected and a
// lat/long system, have the bits of the same parts measured on the calling thread; a lane that
// does not exist, or a part with a vertex beyond the pole, measures nothing.
TEST(GeodesicThreads, LengthAndAreaOnLanesEqualTheCallingThread) {
    for (const char *code : {"32633", "4326"}) {
        Geo::CSystemRef system(Geo::CCoordinateSystem::FromEpsgCode(code));
        Geo::CGeodesic geodesic(system.Get());
        const Batch line = MakeBatch(6000, code[0] == '3');
        constexpr unsigned kLanes = 3;
        const std::size_t part = line.x1.size() / kLanes;
        // Only the last part keeps a vertex that cannot be placed.
        std::vector<double> x = line.x1, y = line.y1;
        for (std::size_t i = 0; i < 2 * part; ++i)
            y[i] = std::min(y[i], 89.0);
        x[2 * part + 5] = std::nan("");
        // Per part: length, area and perimeter, alone and on a lane.
        std::vector<double> alone(3 * kLanes, -1), onLanes(3 * kLanes, -1);
        std::vector<char> placed(2 * kLanes, 0), placedOnLanes(2 * kLanes, 1);
        for (unsigned lane = 0; lane < kLanes; ++lane) {
            const double *px = x.data() + lane * part, *py = y.data() + lane * part;
            double *out = alone.data() + 3 * lane;
            placed[2 * lane] = geodesic.LineLength(part, px, py, out[0]);
            placed[2 * lane + 1] = geodesic.PolygonArea(part, px, py, out[1], out[2]);
        }
        EXPECT_EQ(placed, std::vector<char>({1, 1, 1, 1, 0, 0})) << code;
        geodesic.SetThreadCount(kLanes);
        double untouched[3] = {-3, -3, -3};
        EXPECT_FALSE(geodesic.LineLengthOnLane(kLanes, part, x.data(), y.data(), untouched[0]));
        EXPECT_FALSE(geodesic.PolygonAreaOnLane(kLanes, part, x.data(), y.data(), untouched[1],
                                                untouched[2]));
        EXPECT_FALSE(
            geodesic.PolygonAreaOnLane(0, 2, x.data(), y.data(), untouched[1], untouched[2]));
        EXPECT_TRUE(untouched[0] == -3 && untouched[1] == -3 && untouched[2] == -3);
        std::vector<std::thread> threads;
        for (unsigned lane = 0; lane < kLanes; ++lane)
            threads.emplace_back([&, lane] {
                const double *px = x.data() + lane * part, *py = y.data() + lane * part;
                double *out = onLanes.data() + 3 * lane;
                placedOnLanes[2 * lane] = geodesic.LineLengthOnLane(lane, part, px, py, out[0]);
                placedOnLanes[2 * lane + 1] =
                    geodesic.PolygonAreaOnLane(lane, part, px, py, out[1], out[2]);
            });
        for (auto &t : threads)
            t.join();
        EXPECT_EQ(placedOnLanes, placed) << code;
        EXPECT_TRUE(SameBits(onLanes, alone)) << code;
        EXPECT_TRUE(alone[0] > 0 && alone[1] > 0 && alone[2] > alone[0]) << code;
    }
}
