// CConverter::TransformBounds beside a bare proj_trans_bounds call on the same normalized
// transformation (many short repetitions: the best of each side is compared), and the search of
// coordinate systems by name over the whole database against a 50 ms budget.
#include <vexogeo/vexogeo.h>

#include <proj.h>

#include <ctime>
#include <memory>
#include <string>

#include "bench_compare.h"

using Geo::CConverter;
using Geo::CCoordinateSystem;

namespace {

struct PjDeleter {
    void operator()(PJ *pj) const { proj_destroy(pj); }
};
using PjPtr = std::unique_ptr<PJ, PjDeleter>;

struct BoundsCase {
    const char *name, *from, *to;
    double box[4];
};

const BoundsCase kCases[] = {
    {"4326_to_32633", "EPSG:4326", "EPSG:32633", {12, 45, 18, 55}},
    {"3857_to_4326", "EPSG:3857", "EPSG:4326", {19000000, -1000000, 21000000, 1000000}},
    {"31287_to_4326", "EPSG:31287", "EPSG:4326", {100000, 250000, 700000, 600000}},
};

void TransformBounds(benchmark::State &state, const BoundsCase &c) {
    const CConverter converter(CCoordinateSystem::FromProj4Parameters(c.from),
                               CCoordinateSystem::FromProj4Parameters(c.to));
    for (auto _ : state) {
        double w = c.box[0], s = c.box[1], e = c.box[2], n = c.box[3];
        if (!converter.TransformBounds(w, s, e, n, 21))
            state.SkipWithError("the box cannot be transformed");
        benchmark::DoNotOptimize(w + s + e + n);
    }
    VexoGeoBench::CompareWith(state, std::string("BareProjTransBounds/") + c.name, ">=0.95");
}

// Built with the very calls the converter makes, so both sides run the same pipeline.
void BareProjTransBounds(benchmark::State &state, const BoundsCase &c) {
    const PjPtr from(proj_create(nullptr, c.from)), to(proj_create(nullptr, c.to));
    const PjPtr crsToCrs(
        proj_create_crs_to_crs_from_pj(nullptr, from.get(), to.get(), nullptr, nullptr));
    const PjPtr pj(crsToCrs ? proj_normalize_for_visualization(nullptr, crsToCrs.get()) : nullptr);
    if (!pj) {
        state.SkipWithError("no transformation");
        return;
    }
    for (auto _ : state) {
        double w = 0, s = 0, e = 0, n = 0;
        if (!proj_trans_bounds(nullptr, pj.get(), PJ_FWD, c.box[0], c.box[1], c.box[2], c.box[3],
                               &w, &s, &e, &n, 21))
            state.SkipWithError("the box cannot be transformed");
        benchmark::DoNotOptimize(w + s + e + n);
    }
}

// The first search reads the catalogue from PROJ's database; registered first, it runs first.
void SearchFirstCall(benchmark::State &state) {
    Geo::CrsSearchQuery query;
    query.m_text = "utm zone 33n";
    for (auto _ : state)
        benchmark::DoNotOptimize(Geo::CCrsSearch::Find(query).size());
}

void SearchByName(benchmark::State &state, const char *text) {
    Geo::CrsSearchQuery query;
    query.m_text = text;
    if (Geo::CCrsSearch::Find(query).empty())
        state.SkipWithError("nothing found");
    for (auto _ : state)
        benchmark::DoNotOptimize(Geo::CCrsSearch::Find(query).size());
    VexoGeoBench::CompareWith(state, "SearchBudget/50ms", "<=1");
}

// The time a name search may take at most: 50 ms of processor time, spent spinning.
void SearchBudget(benchmark::State &state) {
    for (auto _ : state) {
        const std::clock_t start = std::clock();
        while (std::clock() - start < CLOCKS_PER_SEC / 20)
            benchmark::ClobberMemory();
    }
}

// Benchmark names carry no blanks: the comparison table splits on them.
std::string NameOf(std::string text) {
    for (char &c : text)
        c = c == ' ' ? '_' : c;
    return text;
}

const bool kRegistered = [] {
    benchmark::RegisterBenchmark("SearchFirstCall", SearchFirstCall)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    for (const BoundsCase &c : kCases) {
        benchmark::RegisterBenchmark((std::string("TransformBounds/") + c.name).c_str(),
                                     TransformBounds, c)
            ->Unit(benchmark::kMicrosecond)
            ->Repetitions(30);
        benchmark::RegisterBenchmark((std::string("BareProjTransBounds/") + c.name).c_str(),
                                     BareProjTransBounds, c)
            ->Unit(benchmark::kMicrosecond)
            ->Repetitions(30);
    }
    // An alias ("web mercator") and a typo ("mercartor", found by the second, forgiving pass).
    for (const char *text : {"utm zone 33n", "wgs 84", "lambert", "web mercator", "mercartor"})
        benchmark::RegisterBenchmark(("SearchByName/" + NameOf(text)).c_str(), SearchByName, text)
            ->Unit(benchmark::kMillisecond)
            ->Repetitions(5);
    benchmark::RegisterBenchmark("SearchBudget/50ms", SearchBudget)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    return true;
}();

} // namespace
