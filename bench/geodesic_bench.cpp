// Geodesic measurement: Inverse per call beside a bare GeographicLib Inverse per call (and beside
// a new PROJ transformation per call, what Inverse cost when it kept none); InverseBatch and
// LineLength over a million points beside bare GeographicLib loops; InverseBatch's million split
// over 1, 2 and the cores' threads (SetThreadCount) beside the single-threaded loop.
#include <vexogeo/vexogeo.h>

#include <proj.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_compare.h"
#include "bench_wall.h"
#include "geodesic/ellipsoid_geodesic.h"

using Geo::CCoordinateSystem;
using Geo::CGeodesic;

namespace {

constexpr std::size_t kPairs = 1000000;
constexpr std::size_t kVertices = 1000000;
constexpr std::size_t kCallPool = 1024;

struct PjDeleter {
    void operator()(PJ *pj) const { proj_destroy(pj); }
};
using PjPtr = std::unique_ptr<PJ, PjDeleter>;

// Pairs inside UTM zone 33N's band, in degrees and as the same positions in EPSG:32633.
struct Pairs {
    std::vector<double> lon1, lat1, lon2, lat2;
    std::vector<double> e1, n1, e2, n2;
};

const Pairs &SharedPairs() {
    static Pairs p;
    if (p.lon1.empty()) {
        std::mt19937_64 random(20260703);
        std::uniform_real_distribution<double> lon(12, 18), lat(0, 80);
        for (std::size_t i = 0; i < kPairs; ++i) {
            p.lon1.push_back(lon(random)), p.lat1.push_back(lat(random));
            p.lon2.push_back(lon(random)), p.lat2.push_back(lat(random));
        }
        p.e1 = p.lon1, p.n1 = p.lat1, p.e2 = p.lon2, p.n2 = p.lat2;
        const PjPtr utm(proj_create_crs_to_crs(nullptr, "EPSG:4326", "EPSG:32633", nullptr));
        const PjPtr normalized(proj_normalize_for_visualization(nullptr, utm.get()));
        proj_trans_generic(normalized.get(), PJ_FWD, p.e1.data(), 8, kPairs, p.n1.data(), 8, kPairs,
                           nullptr, 0, 0, nullptr, 0, 0);
        proj_trans_generic(normalized.get(), PJ_FWD, p.e2.data(), 8, kPairs, p.n2.data(), 8, kPairs,
                           nullptr, 0, 0, nullptr, 0, 0);
    }
    return p;
}

// A track of short steps (up to about 2 km) wandering inside the zone, in degrees and in 32633.
struct Track {
    std::vector<double> lon, lat, e, n;
};

const Track &SharedTrack() {
    static Track t;
    if (t.lon.empty()) {
        std::mt19937_64 random(7632026);
        std::uniform_real_distribution<double> step(-0.02, 0.02);
        double lon = 15, lat = 45;
        for (std::size_t i = 0; i < kVertices; ++i) {
            lon = std::min(17.5, std::max(12.5, lon + step(random)));
            lat = std::min(70.0, std::max(20.0, lat + step(random)));
            t.lon.push_back(lon), t.lat.push_back(lat);
        }
        t.e = t.lon, t.n = t.lat;
        const PjPtr utm(proj_create_crs_to_crs(nullptr, "EPSG:4326", "EPSG:32633", nullptr));
        const PjPtr normalized(proj_normalize_for_visualization(nullptr, utm.get()));
        proj_trans_generic(normalized.get(), PJ_FWD, t.e.data(), 8, kVertices, t.n.data(), 8,
                           kVertices, nullptr, 0, 0, nullptr, 0, 0);
    }
    return t;
}

bool IsProjected(const std::string &code) { return code == "32633"; }

GeographicLib::Geodesic Wgs84Solution() {
    CCoordinateSystem *wgs = CCoordinateSystem::FromEpsgCode("4326");
    double a = 0, b = 0;
    wgs->GetSpheroidDefinition(a, b);
    delete wgs;
    return Geo::MakeSeriesGeodesic(a, CCoordinateSystem::GetFlattening(a, b));
}

void Inverse(benchmark::State &state, std::string code) {
    const Pairs &p = SharedPairs();
    const auto &x1 = IsProjected(code) ? p.e1 : p.lon1, &y1 = IsProjected(code) ? p.n1 : p.lat1;
    const auto &x2 = IsProjected(code) ? p.e2 : p.lon2, &y2 = IsProjected(code) ? p.n2 : p.lat2;
    const CGeodesic geodesic(CCoordinateSystem::FromEpsgCode(code.c_str()));
    std::size_t i = 0;
    for (auto _ : state) {
        double distance = 0;
        if (!geodesic.Inverse(x1[i], y1[i], x2[i], y2[i], distance))
            state.SkipWithError("Inverse failed");
        benchmark::DoNotOptimize(distance);
        i = (i + 1) % kCallPool;
    }
    // The transformation and the ellipsoid are kept: a call costs two points through PROJ
    // beside GeographicLib's own work.
    VexoGeoBench::CompareWith(state, "BareInverse", "<=2");
}

// GeographicLib's Inverse alone, one call per pair, on the same positions in degrees.
void BareInverse(benchmark::State &state) {
    const Pairs &p = SharedPairs();
    const GeographicLib::Geodesic solution = Wgs84Solution();
    std::size_t i = 0;
    for (auto _ : state) {
        double distance = 0;
        solution.Inverse(p.lat1[i], p.lon1[i], p.lat2[i], p.lon2[i], distance);
        benchmark::DoNotOptimize(distance);
        i = (i + 1) % kCallPool;
    }
}

// A measurement that builds everything anew per call, written against PROJ and GeographicLib: a
// new normalized transformation into the geodetic system, two points through it, the ellipsoid
// read from PROJ, a new Geodesic and its Inverse.
void DirectInverse(benchmark::State &state, std::string code) {
    const Pairs &p = SharedPairs();
    const auto &x1 = IsProjected(code) ? p.e1 : p.lon1, &y1 = IsProjected(code) ? p.n1 : p.lat1;
    const auto &x2 = IsProjected(code) ? p.e2 : p.lon2, &y2 = IsProjected(code) ? p.n2 : p.lat2;
    const PjPtr working(proj_create(nullptr, ("EPSG:" + code).c_str()));
    const PjPtr geodetic(proj_crs_get_geodetic_crs(nullptr, working.get()));
    std::size_t i = 0;
    for (auto _ : state) {
        if (proj_get_type(working.get()) == PJ_TYPE_GEODETIC_CRS)
            state.SkipWithError("not the case measured here");
        const PjPtr crsToCrs(proj_create_crs_to_crs_from_pj(nullptr, working.get(), geodetic.get(),
                                                            nullptr, nullptr));
        const PjPtr normalized(proj_normalize_for_visualization(nullptr, crsToCrs.get()));
        double xs[2] = {x1[i], x2[i]};
        double ys[2] = {y1[i], y2[i]};
        proj_trans_generic(normalized.get(), PJ_FWD, xs, 8, 2, ys, 8, 2, nullptr, 8, 2, nullptr, 0,
                           0);
        const PjPtr ellipsoid(proj_get_ellipsoid(nullptr, geodetic.get()));
        double a = 0, b = 0;
        proj_ellipsoid_get_parameters(nullptr, ellipsoid.get(), &a, &b, nullptr, nullptr);
        const GeographicLib::Geodesic solution = Geo::MakeSeriesGeodesic(a, (a - b) / a);
        double distance = 0;
        solution.Inverse(ys[0], xs[0], ys[1], xs[1], distance);
        benchmark::DoNotOptimize(distance);
        i = (i + 1) % kCallPool;
    }
}

void InverseBatch(benchmark::State &state, std::string code, std::string target) {
    const Pairs &p = SharedPairs();
    const auto &x1 = IsProjected(code) ? p.e1 : p.lon1, &y1 = IsProjected(code) ? p.n1 : p.lat1;
    const auto &x2 = IsProjected(code) ? p.e2 : p.lon2, &y2 = IsProjected(code) ? p.n2 : p.lat2;
    const CGeodesic geodesic(CCoordinateSystem::FromEpsgCode(code.c_str()));
    std::vector<double> distance(kPairs);
    for (auto _ : state) {
        if (geodesic.InverseBatch(kPairs, x1.data(), y1.data(), x2.data(), y2.data(),
                                  distance.data(), nullptr, nullptr) != kPairs)
            state.SkipWithError("InverseBatch failed");
        benchmark::DoNotOptimize(distance.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kPairs));
    VexoGeoBench::CompareWith(state, "BareGeodesicLoop/pairs", target);
}

void BareGeodesicLoop(benchmark::State &state) {
    const Pairs &p = SharedPairs();
    const GeographicLib::Geodesic solution = Wgs84Solution();
    std::vector<double> distance(kPairs);
    for (auto _ : state) {
        for (std::size_t i = 0; i < kPairs; ++i)
            solution.Inverse(p.lat1[i], p.lon1[i], p.lat2[i], p.lon2[i], distance[i]);
        benchmark::DoNotOptimize(distance.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kPairs));
}

// The million pairs in degrees on `threads` threads, in wall-clock time (the threads' CPU time
// adds up; the elapsed time is what they save), as is the floor it is measured against.
void InverseBatchThreads(benchmark::State &state, unsigned threads) {
    const Pairs &p = SharedPairs();
    CGeodesic geodesic(CCoordinateSystem::FromEpsgCode("4326"));
    geodesic.SetThreadCount(threads);
    if (threads > 1 && geodesic.GetLaneCount() != threads)
        state.SkipWithError("no lanes");
    std::vector<double> distance(kPairs);
    VexoGeoBench::TimeWall(
        state, kPairs, [] {},
        [&] {
            const bool done =
                geodesic.InverseBatch(kPairs, p.lon1.data(), p.lat1.data(), p.lon2.data(),
                                      p.lat2.data(), distance.data(), nullptr, nullptr) == kPairs;
            benchmark::DoNotOptimize(distance.data());
            return done;
        },
        "InverseBatch failed");
    // One thread within 1.5 times the bare loop's time; two at least 1.8 times one thread's
    // throughput; more, 0.85 per thread.
    if (threads == 1)
        VexoGeoBench::CompareWith(state, "BareGeodesicWall/pairs", "<=1.5");
    else
        VexoGeoBench::CompareWith(state, "InverseBatchThreads/4326/1",
                                  VexoGeoBench::ThreadTarget(threads, "1", "1.8"));
}

// BareGeodesicLoop in wall-clock time, the floor of InverseBatchThreads.
void BareGeodesicWall(benchmark::State &state) {
    const Pairs &p = SharedPairs();
    const GeographicLib::Geodesic solution = Wgs84Solution();
    std::vector<double> distance(kPairs);
    VexoGeoBench::TimeWall(
        state, kPairs, [] {},
        [&] {
            for (std::size_t i = 0; i < kPairs; ++i)
                solution.Inverse(p.lat1[i], p.lon1[i], p.lat2[i], p.lon2[i], distance[i]);
            benchmark::DoNotOptimize(distance.data());
            return true;
        });
}

void LineLength(benchmark::State &state, std::string code) {
    const Track &t = SharedTrack();
    const auto &x = IsProjected(code) ? t.e : t.lon, &y = IsProjected(code) ? t.n : t.lat;
    const CGeodesic geodesic(CCoordinateSystem::FromEpsgCode(code.c_str()));
    for (auto _ : state) {
        double length = 0;
        if (!geodesic.LineLength(kVertices, x.data(), y.data(), length))
            state.SkipWithError("LineLength failed");
        benchmark::DoNotOptimize(length);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kVertices));
    if (!IsProjected(code))
        VexoGeoBench::CompareWith(state, "BareLengthLoop/vertices", "<=2");
}

void BareLengthLoop(benchmark::State &state) {
    const Track &t = SharedTrack();
    const GeographicLib::Geodesic solution = Wgs84Solution();
    for (auto _ : state) {
        double length = 0;
        for (std::size_t i = 1; i < kVertices; ++i) {
            double s12 = 0;
            solution.Inverse(t.lat[i - 1], t.lon[i - 1], t.lat[i], t.lon[i], s12);
            length += s12;
        }
        benchmark::DoNotOptimize(length);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kVertices));
}

void PolygonArea(benchmark::State &state, std::string code) {
    const Track &t = SharedTrack();
    const auto &x = IsProjected(code) ? t.e : t.lon, &y = IsProjected(code) ? t.n : t.lat;
    const CGeodesic geodesic(CCoordinateSystem::FromEpsgCode(code.c_str()));
    for (auto _ : state) {
        double area = 0, perimeter = 0;
        if (!geodesic.PolygonArea(kVertices, x.data(), y.data(), area, perimeter))
            state.SkipWithError("PolygonArea failed");
        benchmark::DoNotOptimize(area);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kVertices));
}

} // namespace

BENCHMARK_CAPTURE(Inverse, 4326, "4326")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(DirectInverse, 4326, "4326")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Inverse, 32633, "32633")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(DirectInverse, 32633, "32633")->Unit(benchmark::kMicrosecond);
BENCHMARK(BareInverse)->Name("BareInverse")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(InverseBatch, 4326, "4326", "<=1.5")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(InverseBatch, 32633, "32633", "<=2")->Unit(benchmark::kMillisecond);
BENCHMARK(BareGeodesicLoop)->Name("BareGeodesicLoop/pairs")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LineLength, 4326, "4326")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LineLength, 32633, "32633")->Unit(benchmark::kMillisecond);
BENCHMARK(BareLengthLoop)->Name("BareLengthLoop/vertices")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PolygonArea, 4326, "4326")->Unit(benchmark::kMillisecond);

static const bool kThreadsRegistered = [] {
    benchmark::RegisterBenchmark("BareGeodesicWall/pairs", BareGeodesicWall)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime();
    for (const unsigned threads : VexoGeoBench::ThreadCounts()) {
        benchmark::RegisterBenchmark(
            ("InverseBatchThreads/4326/" + std::to_string(threads)).c_str(), InverseBatchThreads,
            threads)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime();
    }
    return true;
}();
