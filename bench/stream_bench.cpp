// The tool's streaming commands on a million lines at 1, 2 and the cores' threads, beside the
// single-threaded floor: a lean program doing the same work by hand (blocks of 1 MiB read, the
// numbers parsed, one PROJ or GeographicLib call per block, the shortest text written). All in
// wall-clock time; the tool's runs include its start.
#include <vexogeo/vexogeo.h>

#include <proj.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_compare.h"
#include "bench_wall.h"
#include "geodesic/ellipsoid_geodesic.h"

namespace {

constexpr std::size_t kLines = 1000000;
constexpr std::size_t kBlock = 1024 * 1024;

struct PjDeleter {
    void operator()(PJ *pj) const { proj_destroy(pj); }
};
using PjPtr = std::unique_ptr<PJ, PjDeleter>;

// The inputs, written once into the temporary folder: points in UTM zone 33N's band as
// "longitude latitude", pairs anywhere as "x1 y1 x2 y2", six decimals.
const std::string &InputFile(bool pairs) {
    static std::string points, pairFile;
    std::string &path = pairs ? pairFile : points;
    if (path.empty()) {
        path = (std::filesystem::temp_directory_path() /
                ("vexogeo-stream-bench-" + std::to_string(pairs) + ".txt"))
                   .string();
        std::FILE *f = std::fopen(path.c_str(), "wb");
        std::mt19937_64 random(pairs ? 20240602 : 20240601);
        std::uniform_real_distribution<double> lon(pairs ? -180 : 12, pairs ? 180 : 18);
        std::uniform_real_distribution<double> lat(pairs ? -80 : 0, 80);
        for (std::size_t i = 0; i < kLines && f != nullptr; ++i) {
            if (pairs)
                std::fprintf(f, "%.6f %.6f %.6f %.6f\n", lon(random), lat(random), lon(random),
                             lat(random));
            else
                std::fprintf(f, "%.6f %.6f\n", lon(random), lat(random));
        }
        if (f != nullptr)
            std::fclose(f);
    }
    return path;
}

// Reads `path` in blocks of whole lines, hands each block's numbers (`fields` per line) to
// `compute`, which writes the block's output text.
template <typename Compute>
void LeanStream(const std::string &path, std::size_t fields, Compute compute) {
    std::FILE *in = std::fopen(path.c_str(), "rb");
    std::FILE *out = std::fopen("/dev/null", "wb");
    std::vector<char> buffer(kBlock + 4096);
    std::vector<double> values;
    std::string text;
    std::size_t kept = 0;
    while (in != nullptr && out != nullptr) {
        const std::size_t got = std::fread(buffer.data() + kept, 1, kBlock, in);
        const std::size_t size = kept + got;
        if (size == 0)
            break;
        std::size_t end = size;
        while (got > 0 && end > 0 && buffer[end - 1] != '\n')
            --end;
        values.clear();
        const char *p = buffer.data(), *stop = buffer.data() + end;
        while (p < stop) {
            for (std::size_t i = 0; i < fields; ++i) {
                while (*p == ' ')
                    ++p;
                double v = 0;
                p = std::from_chars(p, stop, v).ptr;
                values.push_back(v);
            }
            while (p < stop && *p++ != '\n') {
            }
        }
        text.clear();
        compute(values, text);
        std::fwrite(text.data(), 1, text.size(), out);
        kept = size - end;
        std::copy(buffer.data() + end, buffer.data() + size, buffer.data());
        if (got == 0)
            break;
    }
    if (in != nullptr)
        std::fclose(in);
    if (out != nullptr)
        std::fclose(out);
}

void Append(std::string &text, double value) {
    char digits[32];
    text.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

void LeanTransform(benchmark::State &state) {
    const PjPtr crsToCrs(proj_create_crs_to_crs(nullptr, "EPSG:4326", "EPSG:32633", nullptr));
    const PjPtr pj(proj_normalize_for_visualization(nullptr, crsToCrs.get()));
    const std::string &input = InputFile(false);
    std::vector<double> x, y;
    VexoGeoBench::TimeWall(
        state, kLines, [] {},
        [&] {
            LeanStream(input, 2, [&](const std::vector<double> &v, std::string &text) {
                const std::size_t n = v.size() / 2;
                x.resize(n);
                y.resize(n);
                for (std::size_t i = 0; i < n; ++i)
                    x[i] = v[2 * i], y[i] = v[2 * i + 1];
                proj_trans_generic(pj.get(), PJ_FWD, x.data(), 8, n, y.data(), 8, n, nullptr, 0, 0,
                                   nullptr, 0, 0);
                for (std::size_t i = 0; i < n; ++i) {
                    Append(text, x[i]);
                    text += ' ';
                    Append(text, y[i]);
                    text += '\n';
                }
            });
            return true;
        });
}

void LeanDistance(benchmark::State &state) {
    Geo::CCoordinateSystem *wgs = Geo::CCoordinateSystem::FromEpsgCode("4326");
    double a = 0, b = 0;
    wgs->GetSpheroidDefinition(a, b);
    delete wgs;
    const GeographicLib::Geodesic solution =
        Geo::MakeSeriesGeodesic(a, Geo::CCoordinateSystem::GetFlattening(a, b));
    const std::string &input = InputFile(true);
    VexoGeoBench::TimeWall(
        state, kLines, [] {},
        [&] {
            LeanStream(input, 4, [&](const std::vector<double> &v, std::string &text) {
                for (std::size_t i = 0; i + 3 < v.size(); i += 4) {
                    double distance = 0;
                    solution.Inverse(v[i + 1], v[i], v[i + 3], v[i + 2], distance);
                    Append(text, distance);
                    text += '\n';
                }
            });
            return true;
        });
}

// The tool beside this program (bench/run runs it from bin/).
void Tool(benchmark::State &state, bool pairs, unsigned threads) {
    if (!std::filesystem::exists("vexogeo")) {
        state.SkipWithError("no ./vexogeo");
        return;
    }
    const std::string command =
        std::string("PROJ_DEBUG=0 ./vexogeo ") +
        (pairs ? "distance --crs EPSG:4326" : "transform --from EPSG:4326 --to EPSG:32633") +
        " --threads " + std::to_string(threads) + " < " + InputFile(pairs) + " > /dev/null";
    VexoGeoBench::TimeWall(
        state, kLines, [] {}, [&] { return std::system(command.c_str()) == 0; }, "the tool failed");
    // One thread keeps the floor's pace; two give 1.7 (transform) or 1.8 (distance) times its
    // throughput; more, 0.85 per thread.
    VexoGeoBench::CompareWith(state, pairs ? "LeanDistance" : "LeanTransform",
                              VexoGeoBench::ThreadTarget(threads, "0.9", pairs ? "1.8" : "1.7"));
}

const bool kRegistered = [] {
    benchmark::RegisterBenchmark("LeanTransform", LeanTransform)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime();
    benchmark::RegisterBenchmark("LeanDistance", LeanDistance)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime();
    for (const bool pairs : {false, true}) {
        for (const unsigned threads : VexoGeoBench::ThreadCounts()) {
            benchmark::RegisterBenchmark(
                (std::string(pairs ? "ToolDistance/" : "ToolTransform/") + std::to_string(threads))
                    .c_str(),
                Tool, pairs, threads)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1)
                ->UseManualTime();
        }
    }
    return true;
}();

} // namespace
