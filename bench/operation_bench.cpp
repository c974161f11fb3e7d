// The recording CConverter::TransformCoordinates (which operation served each point) beside the
// plain call on the same points: NAD27 points sorted by place and alternating between places
// (PROJ chooses among several operations per point), and a transformation with one operation.
#include <vexogeo/vexogeo.h>

#include <string>
#include <vector>

#include "bench_compare.h"

namespace {

constexpr std::size_t kPoints = 100000;

struct Case {
    const char *name, *from, *to;
    std::size_t run; // points in a row at one place
};

const Case kCases[] = {
    {"4267_sorted", "EPSG:4267", "EPSG:4326", 1000},
    {"4267_alternating", "EPSG:4267", "EPSG:4326", 1},
    {"4326_to_32633", "EPSG:4326", "EPSG:32633", 1000},
};

// Texas, Quebec and a ballpark place for NAD27; three places in UTM zone 33 otherwise.
void Fill(const Case &c, std::vector<double> &x, std::vector<double> &y) {
    const bool nad27 = std::string(c.from) == "EPSG:4267";
    const double places[3][2] = {{nad27 ? -97.5 : 13, 30.5}, {nad27 ? -75 : 14, 45.5}, {15, 50}};
    x.resize(kPoints);
    y.resize(kPoints);
    for (std::size_t i = 0; i < kPoints; ++i) {
        const double *p = places[(i / c.run) % 3];
        x[i] = p[0] + 1e-6 * static_cast<double>(i % 1000);
        y[i] = p[1];
    }
}

void Transform(benchmark::State &state, const Case &c, bool record) {
    Geo::CConverter converter(Geo::CCoordinateSystem::FromProj4Parameters(c.from),
                              Geo::CCoordinateSystem::FromProj4Parameters(c.to));
    std::vector<double> x0, y0;
    Fill(c, x0, y0);
    std::vector<double> x, y;
    Geo::OperationsUsed used;
    for (auto _ : state) {
        x = x0;
        y = y0;
        const bool done =
            record ? converter.TransformCoordinates(kPoints, x.data(), y.data(), nullptr, used)
                   : converter.TransformCoordinates(kPoints, x.data(), y.data(), nullptr);
        benchmark::DoNotOptimize(done);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kPoints));
    if (record)
        VexoGeoBench::CompareWith(state, std::string("Plain/") + c.name,
                                  c.run == 1 ? "<=4" : "<=1.3");
}

const bool kRegistered = [] {
    for (const Case &c : kCases) {
        benchmark::RegisterBenchmark((std::string("Plain/") + c.name).c_str(), Transform, c, false)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("Recorded/") + c.name).c_str(), Transform, c,
                                     true)
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

} // namespace
