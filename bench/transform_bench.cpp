// CConverter::TransformCoordinates over a million points, packed and as xyz records, beside a
// bare proj_trans_generic loop on the same normalized transformation; and the same million split
// over 1, 2 and the cores' threads (SetThreadCount) beside that single-threaded floor.
#include <vexogeo/vexogeo.h>

#include <proj.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_compare.h"
#include "bench_wall.h"

using Geo::CConverter;
using Geo::CCoordinateSystem;

namespace {

constexpr std::size_t kPoints = 1000000;

struct Record {
    double x, y, z;
};

// Geographic points (degrees) inside the target's area of use: all of it for Web Mercator,
// the zone's band for UTM 33N.
struct Points {
    std::vector<double> x, y;
    std::vector<Record> records;
};

const Points &PointsFor(const std::string &target) {
    static Points mercator, utm;
    Points &p = target == "EPSG:3857" ? mercator : utm;
    if (p.x.empty()) {
        std::mt19937_64 random(7632026);
        const bool world = &p == &mercator;
        std::uniform_real_distribution<double> lon(world ? -180 : 12, world ? 180 : 18);
        std::uniform_real_distribution<double> lat(world ? -85 : 0, world ? 85 : 84);
        for (std::size_t i = 0; i < kPoints; ++i) {
            p.x.push_back(lon(random));
            p.y.push_back(lat(random));
            p.records.push_back({p.x.back(), p.y.back(), 100.0});
        }
    }
    return p;
}

// The arrays both sides transform: the same memory for figure and baseline, so neither gains
// from where the allocator happened to place its copy.
Points &WorkFor(const std::string &target) {
    static Points mercator, utm;
    Points &work = target == "EPSG:3857" ? mercator : utm;
    if (work.x.empty())
        work = PointsFor(target);
    return work;
}

struct PjDeleter {
    void operator()(PJ *pj) const { proj_destroy(pj); }
};
using PjPtr = std::unique_ptr<PJ, PjDeleter>;

// Built with the very calls the converter makes, so both sides run the same pipeline.
PjPtr NormalizedTransformation(const char *source, const char *target) {
    const PjPtr from(proj_create(nullptr, source));
    const PjPtr to(proj_create(nullptr, target));
    const PjPtr crsToCrs(
        proj_create_crs_to_crs_from_pj(nullptr, from.get(), to.get(), nullptr, nullptr));
    if (!crsToCrs)
        return nullptr;
    return PjPtr(proj_normalize_for_visualization(nullptr, crsToCrs.get()));
}

std::string CaseName(bool packed, const std::string &target) {
    return std::string(packed ? "packed" : "stride24") + "/4326_to_" + target.substr(5);
}

// Puts the untransformed points back, so every timed pass starts from the same input.
void Refill(Points &work, const Points &source) {
    work.x = source.x;
    work.y = source.y;
    work.records = source.records;
}

// Each iteration transforms fresh copies of the points; the copy is not timed.
void TransformCoordinates(benchmark::State &state, bool packed, std::string target) {
    const Points &source = PointsFor(target);
    CCoordinateSystem *from = CCoordinateSystem::FromEpsgCode("4326");
    CCoordinateSystem *to = CCoordinateSystem::FromEpsgCode(target.substr(5).c_str());
    const CConverter converter(from, to);
    Points &work = WorkFor(target);
    for (auto _ : state) {
        state.PauseTiming();
        Refill(work, source);
        state.ResumeTiming();
        const bool done =
            packed ? converter.TransformCoordinates(kPoints, work.x.data(), work.y.data(), nullptr)
                   : converter.TransformCoordinates(kPoints, 24, &work.records[0].x, kPoints, 24,
                                                    &work.records[0].y, kPoints, 24,
                                                    &work.records[0].z);
        if (!done)
            state.SkipWithError("transformation failed");
        benchmark::DoNotOptimize(work.x.data());
        benchmark::DoNotOptimize(work.records.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kPoints));
    VexoGeoBench::CompareWith(state, "BareProjTransGeneric/" + CaseName(packed, target), ">=0.98");
}

void BareProjTransGeneric(benchmark::State &state, bool packed, std::string target) {
    const Points &source = PointsFor(target);
    const PjPtr pj = NormalizedTransformation("EPSG:4326", target.c_str());
    if (!pj) {
        state.SkipWithError("no transformation");
        return;
    }
    Points &work = WorkFor(target);
    for (auto _ : state) {
        state.PauseTiming();
        Refill(work, source);
        state.ResumeTiming();
        const std::size_t n =
            packed ? proj_trans_generic(pj.get(), PJ_FWD, work.x.data(), 8, kPoints, work.y.data(),
                                        8, kPoints, nullptr, 0, 0, nullptr, 0, 0)
                   : proj_trans_generic(pj.get(), PJ_FWD, &work.records[0].x, 24, kPoints,
                                        &work.records[0].y, 24, kPoints, &work.records[0].z, 24,
                                        kPoints, nullptr, 0, 0);
        if (n == 0)
            state.SkipWithError("transformation failed");
        benchmark::DoNotOptimize(work.x.data());
        benchmark::DoNotOptimize(work.records.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kPoints));
}

// The packed million on `threads` threads. Wall-clock time (the threads' CPU time adds up, the
// elapsed time is what they save), so the floor it is measured against runs the same way.
void TransformThreads(benchmark::State &state, unsigned threads, std::string target) {
    const Points &source = PointsFor(target);
    CCoordinateSystem *from = CCoordinateSystem::FromEpsgCode("4326");
    CCoordinateSystem *to = CCoordinateSystem::FromEpsgCode(target.substr(5).c_str());
    CConverter converter(from, to);
    converter.SetThreadCount(threads);
    if (threads > 1 && converter.GetLaneCount() != threads)
        state.SkipWithError("no lanes");
    Points &work = WorkFor(target);
    VexoGeoBench::TimeWall(
        state, kPoints, [&] { Refill(work, source); },
        [&] {
            const bool done =
                converter.TransformCoordinates(kPoints, work.x.data(), work.y.data(), nullptr);
            benchmark::DoNotOptimize(work.x.data());
            return done;
        },
        "transformation failed");
    // One thread keeps the floor's pace; two give at least 1.8 times its throughput; more,
    // 0.85 per thread.
    VexoGeoBench::CompareWith(state, "BareProjTransWall/packed/" + target.substr(5),
                              VexoGeoBench::ThreadTarget(threads, "0.95", "1.8"));
}

// The single-threaded floor of TransformThreads: bare proj_trans_generic, timed the same way.
void BareProjTransWall(benchmark::State &state, std::string target) {
    const Points &source = PointsFor(target);
    const PjPtr pj = NormalizedTransformation("EPSG:4326", target.c_str());
    if (!pj) {
        state.SkipWithError("no transformation");
        return;
    }
    Points &work = WorkFor(target);
    VexoGeoBench::TimeWall(
        state, kPoints, [&] { Refill(work, source); },
        [&] {
            const bool done =
                proj_trans_generic(pj.get(), PJ_FWD, work.x.data(), 8, kPoints, work.y.data(), 8,
                                   kPoints, nullptr, 0, 0, nullptr, 0, 0) != 0;
            benchmark::DoNotOptimize(work.x.data());
            return done;
        },
        "transformation failed");
}

// The two sides run the same PROJ pipeline, so their ratio is close to 1 and the load of a
// shared machine decides it: many single passes give each side many chances at a quiet moment,
// and bench/run takes each side's best.
void Configure(benchmark::internal::Benchmark *b) {
    b->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(60);
}

// Figure and baseline side by side for each target system and layout.
const bool kRegistered = [] {
    for (const char *target : {"EPSG:3857", "EPSG:32633"}) {
        for (const bool packed : {true, false}) {
            const std::string name = CaseName(packed, target);
            benchmark::RegisterBenchmark(("TransformCoordinates/" + name).c_str(),
                                         TransformCoordinates, packed, std::string(target))
                ->Apply(Configure);
            benchmark::RegisterBenchmark(("BareProjTransGeneric/" + name).c_str(),
                                         BareProjTransGeneric, packed, std::string(target))
                ->Apply(Configure);
        }
    }
    for (const char *target : {"EPSG:32633"}) {
        const std::string code = std::string(target).substr(5);
        benchmark::RegisterBenchmark(("BareProjTransWall/packed/" + code).c_str(),
                                     BareProjTransWall, std::string(target))
            ->Apply(Configure)
            ->Repetitions(15)
            ->UseManualTime();
        for (const unsigned threads : VexoGeoBench::ThreadCounts()) {
            benchmark::RegisterBenchmark(
                ("TransformThreads/packed/" + code + "/" + std::to_string(threads)).c_str(),
                TransformThreads, threads, std::string(target))
                ->Apply(Configure)
                ->Repetitions(15)
                ->UseManualTime();
        }
    }
    return true;
}();

} // namespace
