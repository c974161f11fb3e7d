// Counted references on one coordinate-system handle, taken and dropped from several threads;
// transformations split across threads, equal to one thread to the bit.
#include <vexogeo/vexogeo.h>

#include <gtest/gtest.h>

#include "crs/system_ref.h"
#include "support/threads.h"

#include <atomic>
#include <cmath>
#include <random>
#include <string>
#include <vector>

// Every thread holds one reference of its own while it churns more, then drops it; the handle
// must die exactly once, at the very last release, whichever thread makes it.
TEST(CoordinateSystemThreads, ConcurrentReferencesDestroyTheHandleExactlyOnce) {
    constexpr int kThreads = 8;
    for (int trial = 0; trial < 20; ++trial) {
        // Needs no database: cheap to repeat.
        auto *cs =
            Geo::CCoordinateSystem::FromProj4Parameters("+proj=longlat +ellps=GRS80 +type=crs");
        ASSERT_NE(cs, nullptr);
        for (int i = 0; i < kThreads; ++i)
            cs->AddRef();
        std::atomic<int> zeros{0};
        VexoGeoTest::RunThreads(kThreads, [&](int) {
            for (int r = 0; r < 20000; ++r) {
                cs->AddRef();
                zeros += cs->Release() == 0;
            }
            zeros += cs->Release() == 0;
        });
        EXPECT_EQ(zeros.load(), 1) << "trial " << trial;
    }
}

namespace {

using VexoGeoTest::SameBits;

struct SplitRun {
    std::vector<double> x, y, z;
    bool result = false;
    int code = 0;
};

// Points spread over a region, every 997th one beyond the pole (PROJ fails it) and every
// 1009th NaN, in `count` packed points.
void MakePoints(std::size_t count, double west, double east, double south, double north,
                std::vector<double> &x, std::vector<double> &y, std::vector<double> &z) {
    std::mt19937_64 random(22);
    std::uniform_real_distribution<double> lon(west, east), lat(south, north);
    x.resize(count);
    y.resize(count);
    z.assign(count, 50);
    for (std::size_t i = 0; i < count; ++i) {
        x[i] = lon(random);
        y[i] = i % 997 == 5 ? 95.0 : lat(random);
        if (i % 1009 == 7)
            x[i] = std::nan("");
    }
}

SplitRun RunSplit(Geo::CConverter &converter, unsigned threads, std::size_t count, bool withZ) {
    SplitRun run;
    MakePoints(count, -100, -70, 25, 48, run.x, run.y, run.z);
    converter.SetThreadCount(threads);
    converter.ClearError();
    run.result = converter.TransformCoordinates(count, run.x.data(), run.y.data(),
                                                withZ ? run.z.data() : nullptr);
    std::string message;
    bool isTransformation = false;
    converter.GetErrorInfo(run.code, message, isTransformation);
    return run;
}

} // namespace

// Every thread count gives the bits, the failed points, the result and the error state of one
// thread: a single-operation projection and a datum shift that chooses among operations per
// point, 2-D and 3-D, counts around the split threshold.
TEST(ConverterThreads, SplitCallsEqualOneThreadToTheBit) {
    const struct {
        const char *source, *target;
        bool recordsFailures; // PROJ leaves no error behind an operation chosen per point
    } kPairs[] = {{"EPSG:4326", "EPSG:32614", true}, {"EPSG:4267", "EPSG:4326", false}};
    for (const auto &pair : kPairs) {
        Geo::CSystemRef source(Geo::CCoordinateSystem::FromProj4Parameters(pair.source));
        Geo::CSystemRef target(Geo::CCoordinateSystem::FromProj4Parameters(pair.target));
        Geo::CConverter converter(source.Get(), target.Get());
        ASSERT_TRUE(converter.HasTransformation()) << pair.source;
        for (const std::size_t count : {std::size_t{8191}, std::size_t{8192}, std::size_t{50001}}) {
            for (const bool withZ : {false, true}) {
                const SplitRun one = RunSplit(converter, 1, count, withZ);
                EXPECT_EQ(one.code != 0, pair.recordsFailures) << pair.source;
                for (const unsigned threads : {2u, 3u, 8u, 0u}) {
                    const SplitRun many = RunSplit(converter, threads, count, withZ);
                    EXPECT_TRUE(SameBits(one.x, many.x) && SameBits(one.y, many.y) &&
                                SameBits(one.z, many.z))
                        << pair.source << " " << count << " points, " << threads << " threads";
                    EXPECT_EQ(one.result, many.result);
                    EXPECT_EQ(one.code, many.code) << pair.source << " " << threads;
                }
            }
        }
        if (!pair.recordsFailures)
            continue;
        // Good points leave a pending error as it was, with any number of threads.
        Geo::CConverter clean(source.Get(), target.Get());
        for (const unsigned threads : {1u, 4u}) {
            std::vector<double> x(20000, -90.0), y(20000, 40.0);
            clean.SetThreadCount(threads);
            clean.ClearError();
            double px = std::nan(""), py = 40;
            clean.TransformCoordinate(px, py);
            int pending = 0;
            std::string message;
            bool isTransformation = false;
            clean.GetErrorInfo(pending, message, isTransformation);
            EXPECT_TRUE(clean.TransformCoordinates(x.size(), x.data(), y.data(), nullptr));
            int after = 0;
            clean.GetErrorInfo(after, message, isTransformation);
            EXPECT_NE(pending, 0);
            EXPECT_EQ(after, pending) << threads << " threads";
        }
    }
}

// A host's own threads, one lane each, all at once: every block equals one thread's bits.
TEST(ConverterThreads, LanesTransformAtOnceOnTheHostsThreads) {
    Geo::CSystemRef source(Geo::CCoordinateSystem::FromEpsgCode("4326"));
    Geo::CSystemRef target(Geo::CCoordinateSystem::FromEpsgCode("32633"));
    Geo::CConverter converter(source.Get(), target.Get());
    std::vector<double> x, y, z;
    MakePoints(40000, 10, 20, 30, 60, x, y, z);
    std::vector<double> ex = x, ey = y;
    ASSERT_TRUE(converter.TransformCoordinates(ex.size(), ex.data(), ey.data(), nullptr));
    std::vector<double> ix = ex, iy = ey;
    ASSERT_TRUE(converter.InverseTransformCoordinates(ix.size(), ix.data(), iy.data(), nullptr));
    constexpr unsigned kLanes = 4;
    converter.SetThreadCount(kLanes);
    ASSERT_EQ(converter.GetLaneCount(), kLanes);
    EXPECT_FALSE(converter.TransformCoordinatesOnLane(kLanes, 1, x.data(), y.data(), nullptr));
    EXPECT_FALSE(
        converter.InverseTransformCoordinatesOnLane(kLanes, 1, x.data(), y.data(), nullptr));
    std::vector<std::vector<double>> xs(kLanes, x), ys(kLanes, y), bx(kLanes), by(kLanes);
    VexoGeoTest::RunThreads(kLanes, [&](unsigned lane) {
        for (int round = 0; round < 3; ++round) {
            xs[lane] = x;
            ys[lane] = y;
            converter.TransformCoordinatesOnLane(lane, x.size(), xs[lane].data(), ys[lane].data(),
                                                 nullptr);
            bx[lane] = xs[lane];
            by[lane] = ys[lane];
            converter.InverseTransformCoordinatesOnLane(lane, x.size(), bx[lane].data(),
                                                        by[lane].data(), nullptr);
        }
    });
    for (unsigned lane = 0; lane < kLanes; ++lane) {
        EXPECT_TRUE(SameBits(xs[lane], ex) && SameBits(ys[lane], ey)) << "lane " << lane;
        EXPECT_TRUE(SameBits(bx[lane], ix) && SameBits(by[lane], iy)) << "lane " << lane;
    }
}
