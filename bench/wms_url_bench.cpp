// Benchmarks of CWmsUrl: composing and parsing a typical GetMap request, and one coordinate.
#include <benchmark/benchmark.h>

#include <string>

#include <vexogeo/wms/wms_url.h>

#include "wms/coordinate_text.h"

namespace {

const char kTypicalUrl[] =
    "https://maps.example.org/geoserver/wms?service=WMS&version=1.3.0&request=GetMap"
    "&layers=topp:states,topp:roads&styles=&format=image/png&crs=EPSG:4326"
    "&bbox=-124.73142200000001,24.955967,-66.969849,49.371735&width=768&height=330"
    "&transparent=TRUE&bgcolor=0xFFFFFF";

Geo::CWmsUrl Typical() {
    Geo::CWmsUrl wms;
    wms.Parse(kTypicalUrl);
    wms.SetCrs("EPSG:4326");
    wms.SetBBox({-124.73142200000001, 24.955967, 57.761573, 24.415768});
    wms.SetWidth(768);
    wms.SetHeight(330);
    return wms;
}

void BM_GetUrl(benchmark::State &state) {
    Geo::CWmsUrl wms = Typical();
    for (auto _ : state)
        benchmark::DoNotOptimize(wms.GetUrl());
}
BENCHMARK(BM_GetUrl);

void BM_Parse(benchmark::State &state) {
    Geo::CWmsUrl wms;
    const std::string url = kTypicalUrl;
    for (auto _ : state) {
        wms.Parse(url);
        benchmark::DoNotOptimize(wms);
    }
}
BENCHMARK(BM_Parse);

void BM_FormatCoordinate(benchmark::State &state) {
    double value = -124.73142200000001;
    char text[Geo::kCoordinateTextCapacity];
    for (auto _ : state) {
        benchmark::DoNotOptimize(value);
        benchmark::DoNotOptimize(Geo::FormatCoordinate(value, text));
    }
}
BENCHMARK(BM_FormatCoordinate);

} // namespace

BENCHMARK_MAIN();
