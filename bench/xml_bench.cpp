// Benchmarks of CSerializer: a named SRID file of 10,000 entries, one WMS description loaded and
// saved, and the refusal of a "billion laughs" document.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <vexogeo/xml/serializer.h>

namespace {

namespace fs = std::filesystem;

fs::path g_folder;

void RemoveFolder() { fs::remove_all(g_folder); }

// Writes `bytes` to `name` in a temporary folder (made on first use, removed at exit).
std::string WriteFile(const std::string &name, const std::string &bytes) {
    if (g_folder.empty()) {
        char pattern[] = "/tmp/vexogeo-xml-bench-XXXXXX";
        if (!mkdtemp(pattern))
            std::abort();
        g_folder = pattern;
        std::atexit(RemoveFolder);
    }
    const fs::path path = g_folder / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
}

// Entries shaped like a real list: authority, code and a name in three cultures.
std::string NamedSridFile(int count) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<NamedSridConfiguration>\n";
    for (int i = 0; i < count; ++i) {
        const std::string code = std::to_string(2000 + i);
        xml += "  <NamedSrid>\n    <Authority>EPSG</Authority>\n    <Identifier>" + code +
               "</Identifier>\n    <Name>\n      <Culture id=\"en-us\">Coordinate system " + code +
               "</Culture>\n      <Culture id=\"de-de\">Koordinatensystem " + code +
               "</Culture>\n      <Culture id=\"\">" + code + "</Culture>\n    </Name>\n" +
               "  </NamedSrid>\n";
    }
    return xml + "</NamedSridConfiguration>\n";
}

void BM_LoadNamedSrid10000(benchmark::State &state) {
    const std::string path = WriteFile("srid.xml", NamedSridFile(10000));
    for (auto _ : state) {
        Geo::NamedSridConfiguration configuration;
        if (!Geo::CSerializer::LoadXmlFile(configuration, path) ||
            configuration.m_entries.size() != 10000)
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(configuration);
    }
}
BENCHMARK(BM_LoadNamedSrid10000)->Unit(benchmark::kMillisecond);

const Geo::CWms kWms("https://maps.example.org/geoserver/wms?map=a&amp=b", "topp:states,topp:roads",
                     "", "1.3.0");

void BM_LoadWms(benchmark::State &state) {
    const std::string path = WriteFile("load.xml", "");
    Geo::CSerializer::SaveXmlFile(kWms, path);
    for (auto _ : state) {
        Geo::CWms wms;
        if (!Geo::CSerializer::LoadXmlFile(wms, path))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(wms);
    }
}
BENCHMARK(BM_LoadWms)->Unit(benchmark::kMicrosecond);

// Includes the two fsync calls of the replacement, so it measures the disk as much as the code.
void BM_SaveWms(benchmark::State &state) {
    const std::string path = WriteFile("save.xml", "");
    for (auto _ : state)
        if (!Geo::CSerializer::SaveXmlFile(kWms, path))
            state.SkipWithError("save failed");
}
BENCHMARK(BM_SaveWms)->Unit(benchmark::kMicrosecond);

void BM_RefuseBillionLaughs(benchmark::State &state) {
    std::string xml = "<!DOCTYPE NamedSridConfiguration [<!ENTITY l0 \"lol\">";
    for (int i = 1; i < 10; ++i) {
        xml += "<!ENTITY l" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k)
            xml += "&l" + std::to_string(i - 1) + ";";
        xml += "\">";
    }
    xml += "]><NamedSridConfiguration><NamedSrid><Authority>&l9;</Authority><Identifier>1"
           "</Identifier><Name/></NamedSrid></NamedSridConfiguration>";
    const std::string path = WriteFile("laughs.xml", xml);
    for (auto _ : state) {
        Geo::NamedSridConfiguration configuration;
        if (Geo::CSerializer::LoadXmlFile(configuration, path))
            state.SkipWithError("loaded");
    }
}
BENCHMARK(BM_RefuseBillionLaughs)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
