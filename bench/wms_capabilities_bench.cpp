// Reading a large capabilities document: a generated 10 MB document of 5,000 layers in groups,
// a root of 303 systems that every layer inherits and partly declares again, boxes, styles and
// dimensions to inherit, against OWSLib (Python) on the same bytes. OWSLib's figure is the CPU
// time of its parse alone, measured inside Python and reported as manual time. The tool's JSON
// of the same document is timed whole (read, parse, write) with its peak memory.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <vexogeo/wms/wms_capabilities.h>

#include "bench_compare.h"
#ifdef VEXOGEO_BENCH_CLI_WRITER
#include "stream.h"
#include "wms_capabilities_output.h"
#endif

namespace {

constexpr int kGroups = 50;
constexpr int kLayersPerGroup = 100;

std::string Number(int value) { return std::to_string(value); }

std::string Document() {
    std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<WMS_Capabilities version="1.3.0" xmlns="http://www.opengis.net/wms" xmlns:xlink="http://www.w3.org/1999/xlink">
<Service><Name>WMS</Name><Title>Large</Title><Abstract>Generated</Abstract></Service>
<Capability><Request><GetMap><Format>image/png</Format><Format>image/jpeg</Format>
<DCPType><HTTP><Get><OnlineResource xlink:href="http://h/wms?"/></Get></HTTP></DCPType></GetMap></Request>
<Exception><Format>XML</Format></Exception>
<Layer><Title>Root</Title><CRS>EPSG:4326</CRS><CRS>EPSG:3857</CRS><CRS>CRS:84</CRS>
<Attribution><Title>Generated</Title><OnlineResource xlink:href="http://h/about"/></Attribution>
)";
    // As GeoServer does: the root lists hundreds of systems, which every layer inherits.
    for (int code = 32601; code <= 32660; ++code)
        xml += "<CRS>EPSG:" + Number(code) + "</CRS><CRS>EPSG:" + Number(code + 100) +
               "</CRS><CRS>EPSG:" + Number(code - 32601 + 2001) +
               "</CRS><CRS>EPSG:" + Number(code - 32601 + 3001) +
               "</CRS><CRS>EPSG:" + Number(code - 32601 + 4001) + "</CRS>";
    xml += R"(
<EX_GeographicBoundingBox><westBoundLongitude>-180</westBoundLongitude><eastBoundLongitude>180</eastBoundLongitude><southBoundLatitude>-90</southBoundLatitude><northBoundLatitude>90</northBoundLatitude></EX_GeographicBoundingBox>
<BoundingBox CRS="EPSG:4326" minx="-90" miny="-180" maxx="90" maxy="180"/>
<Style><Name>default</Name><Title>Default</Title><LegendURL width="20" height="20"><Format>image/png</Format><OnlineResource xlink:href="http://h/legend?l=root"/></LegendURL></Style>
)";
    const std::string padding(1400, 'x');
    for (int g = 0; g < kGroups; ++g) {
        xml += "<Layer><Name>group" + Number(g) + "</Name><Title>Group " + Number(g) +
               "</Title><CRS>EPSG:258" + Number(28 + g % 10) +
               "</CRS><Dimension name=\"time\" units=\"ISO8601\" default=\"2024\">"
               "2000/2024/P1Y</Dimension>\n";
        for (int l = 0; l < kLayersPerGroup; ++l) {
            const std::string id = Number(g) + "_" + Number(l);
            const int west = -180 + (g * 7 + l) % 300;
            xml += "<Layer queryable=\"1\"><Name>layer" + id + "</Name><Title>Layer " + id +
                   "</Title><Abstract>" + padding +
                   "</Abstract><CRS>EPSG:4326</CRS><CRS>EPSG:3857</CRS><CRS>CRS:84</CRS>"
                   "<CRS>EPSG:326" +
                   Number(10 + l % 50) + "</CRS><CRS>EPSG:9" + Number(1000 + l) +
                   "</CRS>"
                   "<EX_GeographicBoundingBox><westBoundLongitude>" +
                   Number(west) + "</westBoundLongitude><eastBoundLongitude>" + Number(west + 10) +
                   "</eastBoundLongitude><southBoundLatitude>-40</southBoundLatitude>"
                   "<northBoundLatitude>40.5</northBoundLatitude></EX_GeographicBoundingBox>"
                   "<BoundingBox CRS=\"EPSG:3857\" minx=\"-1.5e6\" miny=\"-2e6\" maxx=\"1.25e6\" "
                   "maxy=\"2e6\"/><Style><Name>s" +
                   id + "</Name><Title>Style " + id +
                   "</Title><LegendURL width=\"20\" height=\"20\"><Format>image/png</Format>"
                   "<OnlineResource xlink:href=\"http://h/legend?l=" +
                   id +
                   "\"/></LegendURL></Style><MinScaleDenominator>1000</MinScaleDenominator>"
                   "<MaxScaleDenominator>5e6</MaxScaleDenominator></Layer>\n";
        }
        xml += "</Layer>\n";
    }
    return xml + "</Layer></Capability></WMS_Capabilities>\n";
}

const std::string &Bytes() {
    static const std::string bytes = Document();
    return bytes;
}

std::string g_path;
// VEXOGEO_BENCH_KEEP keeps the generated document for profiling the tool by hand.
void RemoveFile() {
    if (!std::getenv("VEXOGEO_BENCH_KEEP"))
        std::remove(g_path.c_str());
}

const std::string &DocumentFile() {
    if (g_path.empty()) {
        char pattern[] = "/tmp/vexogeo-wms-bench-XXXXXX";
        const int fd = ::mkstemp(pattern);
        if (fd < 0)
            std::abort();
        ::close(fd);
        g_path = pattern;
        std::ofstream(g_path, std::ios::binary) << Bytes();
        std::atexit(RemoveFile);
    }
    return g_path;
}

void BM_ParseWmsCapabilities10MB(benchmark::State &state) {
    const std::string &bytes = Bytes();
    VexoGeoBench::CompareWith(state, "BM_OwsLibCapabilities10MB", ">=10");
    std::size_t layers = 0;
    for (auto _ : state) {
        Geo::WmsCapabilities capabilities;
        std::string error;
        if (!Geo::ParseWmsCapabilities(bytes, capabilities, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        layers = Geo::FlattenWmsLayers(capabilities).size();
        benchmark::DoNotOptimize(capabilities);
    }
    state.counters["layers"] = static_cast<double>(layers);
    state.counters["MB"] = static_cast<double>(bytes.size()) / 1e6;
}
BENCHMARK(BM_ParseWmsCapabilities10MB)->Unit(benchmark::kMillisecond);

// OWSLib reads the same file from bytes (no network) and walks every layer; Python prints the
// CPU seconds of that work alone, start-up and imports excluded.
constexpr char kOwsLibScript[] = R"(
import sys, time
from owslib.wms import WebMapService
data = open(sys.argv[1], 'rb').read()
start = time.process_time()
wms = WebMapService('http://h/wms', version='1.3.0', xml=data)
count = sum(1 for _ in wms.contents)
print(time.process_time() - start, count)
)";

void BM_OwsLibCapabilities10MB(benchmark::State &state) {
    const std::string &path = DocumentFile();
    for (auto _ : state) {
        const std::string command = "/usr/bin/python3 -c \"$VEXOGEO_OWSLIB_SCRIPT\" '" + path + "'";
        ::setenv("VEXOGEO_OWSLIB_SCRIPT", kOwsLibScript, 1);
        FILE *pipe = ::popen(command.c_str(), "r");
        double seconds = -1;
        int count = 0;
        const bool read = pipe && std::fscanf(pipe, "%lf %d", &seconds, &count) == 2;
        const bool exited = pipe && ::pclose(pipe) == 0;
        if (!read || !exited || seconds <= 0) {
            state.SkipWithError("OWSLib (python3-owslib) did not parse the document");
            return;
        }
        state.SetIterationTime(seconds);
        state.counters["named layers"] = count;
    }
}
BENCHMARK(BM_OwsLibCapabilities10MB)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

#ifdef VEXOGEO_BENCH_CLI_WRITER
// The tool's JSON writer alone, on the parsed document, into /dev/null: output MB/s.
void BM_CapabilitiesJsonWriter10MB(benchmark::State &state) {
    Geo::WmsCapabilities capabilities;
    std::string error;
    if (!Geo::ParseWmsCapabilities(Bytes(), capabilities, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::string json;
    {
        VexoGeoCli::COutputBuffer capture(&json);
        VexoGeoCli::WriteCapabilitiesJson(capabilities, capture);
    }
    const int sink = ::open("/dev/null", O_WRONLY);
    for (auto _ : state) {
        VexoGeoCli::COutputBuffer out(sink);
        VexoGeoCli::WriteCapabilitiesJson(capabilities, out);
    }
    ::close(sink);
    state.SetBytesProcessed(static_cast<int64_t>(json.size()) * state.iterations());
    state.counters["JSON MB"] = static_cast<double>(json.size()) / 1e6;
}
BENCHMARK(BM_CapabilitiesJsonWriter10MB)->Unit(benchmark::kMillisecond);
#endif

// `vexogeo wms capabilities FILE --format json` into a file: output megabytes per second of the
// whole run (reading and parsing included, so the writer alone is faster) and the peak memory.
void BM_ToolCapabilitiesJson10MB(benchmark::State &state) {
    const std::string &path = DocumentFile();
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        state.SkipWithError("cannot find the benchmark's own folder");
        return;
    }
    std::string tool(self, static_cast<std::size_t>(length));
    tool = tool.substr(0, tool.rfind('/') + 1) + "vexogeo";
    const std::string output = path + ".json";
    double bytes = 0, peak = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const pid_t child = ::fork();
        if (child == 0) {
            const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd < 0 || ::dup2(fd, 1) < 0)
                ::_exit(127);
            ::execl(tool.c_str(), tool.c_str(), "wms", "capabilities", path.c_str(), "--format",
                    "json", static_cast<char *>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        struct rusage usage {};
        if (child < 0 || ::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            state.SkipWithError("the tool did not write the JSON (is bin/vexogeo built?)");
            return;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        struct stat written {};
        ::stat(output.c_str(), &written);
        bytes = static_cast<double>(written.st_size);
        peak = static_cast<double>(usage.ru_maxrss) / 1024.0;
    }
    if (!std::getenv("VEXOGEO_BENCH_KEEP"))
        std::remove(output.c_str());
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
    state.counters["JSON MB"] = bytes / 1e6;
    state.counters["peak MB"] = peak;
}
BENCHMARK(BM_ToolCapabilitiesJson10MB)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
