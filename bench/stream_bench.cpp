// The tool's streaming commands on a million lines at 1, 2 and the cores' threads, beside the
// single-threaded floor: lean code doing the same work by hand (bench/lean_stream.h), timed in
// this process after its PROJ set-up and, for transform, also as a program of its own from its
// start. All in wall-clock time; the tool's runs include its start.
#include <vexogeo/vexogeo.h>

#include <proj.h>

#include <algorithm>
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
#include "lean_stream.h"

namespace {

constexpr std::size_t kLines = 1000000;

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

void LeanTransform(benchmark::State &state) {
    const PjPtr crsToCrs(proj_create_crs_to_crs(nullptr, "EPSG:4326", "EPSG:32633", nullptr));
    const PjPtr pj(proj_normalize_for_visualization(nullptr, crsToCrs.get()));
    const std::string &input = InputFile(false);
    std::vector<double> x, y;
    VexoGeoBench::TimeWall(
        state, kLines, [] {},
        [&] {
            VexoGeoBench::LeanStream(input, "/dev/null", 2,
                                     [&](const std::vector<double> &v, std::string &text) {
                                         VexoGeoBench::LeanTransformBlock(pj.get(), v, text, x, y);
                                     });
            return true;
        });
}

// The same floor as a program of its own (bench/lean_transform.cpp), its start included as the
// tool's is: loading PROJ and finding the transformation in PROJ's proj.db.
void LeanTransformProgram(benchmark::State &state) {
    if (!std::filesystem::exists("lean_transform")) {
        state.SkipWithError("no ./lean_transform");
        return;
    }
    const std::string command = "./lean_transform " + InputFile(false);
    VexoGeoBench::TimeWall(
        state, kLines, [] {}, [&] { return std::system(command.c_str()) == 0; },
        "lean_transform failed");
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
            VexoGeoBench::LeanStream(
                input, "/dev/null", 4, [&](const std::vector<double> &v, std::string &text) {
                    for (std::size_t i = 0; i + 3 < v.size(); i += 4) {
                        double distance = 0;
                        solution.Inverse(v[i + 1], v[i], v[i + 3], v[i + 2], distance);
                        VexoGeoBench::AppendShortest(text, distance);
                        text += '\n';
                    }
                });
            return true;
        });
}

// The tool beside this program (bench/run runs it from bin/), against `floor`. With
// `lessStart` each run is timed less a run of the same command on empty input (its start:
// loading its libraries, opening PROJ's database, making its systems and transformation), which
// leaves the streaming rate that the in-process floor, its set-up outside its timing, measures.
void Tool(benchmark::State &state, bool pairs, unsigned threads, const char *floor,
          bool lessStart) {
    if (!std::filesystem::exists("vexogeo")) {
        state.SkipWithError("no ./vexogeo");
        return;
    }
    const std::string run =
        std::string("PROJ_DEBUG=0 ./vexogeo ") +
        (pairs ? "distance --crs EPSG:4326" : "transform --from EPSG:4326 --to EPSG:32633") +
        " --threads " + std::to_string(threads) + " > /dev/null < ";
    const std::string command = run + InputFile(pairs), start = run + "/dev/null";
    if (!lessStart) {
        VexoGeoBench::TimeWall(
            state, kLines, [] {}, [&] { return std::system(command.c_str()) == 0; },
            "the tool failed");
    } else {
        using Clock = std::chrono::steady_clock;
        for (auto _ : state) {
            const Clock::time_point t0 = Clock::now();
            const bool started = std::system(start.c_str()) == 0;
            const Clock::time_point t1 = Clock::now();
            const bool ran = std::system(command.c_str()) == 0;
            const Clock::time_point t2 = Clock::now();
            // A start that took longer than the whole run (a stall) leaves a token time.
            state.SetIterationTime(
                std::max(1e-6, std::chrono::duration<double>((t2 - t1) - (t1 - t0)).count()));
            if (!started || !ran)
                state.SkipWithError("the tool failed");
        }
        state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kLines));
    }
    // One thread keeps the floor's pace; two give 1.7 (transform) or 1.8 (distance) times its
    // throughput; more, 0.85 per thread.
    VexoGeoBench::CompareWith(state, floor,
                              VexoGeoBench::ThreadTarget(threads, "0.9", pairs ? "1.8" : "1.7"));
}

const bool kRegistered = [] {
    benchmark::RegisterBenchmark("LeanTransform", LeanTransform)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime();
    benchmark::RegisterBenchmark("LeanTransformProgram", LeanTransformProgram)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->UseManualTime();
    benchmark::RegisterBenchmark("LeanDistance", LeanDistance)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime();
    // Each tool run against the floor in process (its start not counted) and, for transform,
    // against the floor as a program (both starts counted) and as a streaming rate (neither).
    const struct {
        const char *name;
        bool pairs;
        const char *floor;
        bool lessStart;
    } kRows[] = {{"ToolTransform/", false, "LeanTransform", false},
                 {"ToolTransformVsProgram/", false, "LeanTransformProgram", false},
                 {"ToolTransformRate/", false, "LeanTransform", true},
                 {"ToolDistance/", true, "LeanDistance", false}};
    for (const auto &row : kRows) {
        for (const unsigned threads : VexoGeoBench::ThreadCounts()) {
            benchmark::RegisterBenchmark((row.name + std::to_string(threads)).c_str(), Tool,
                                         row.pairs, threads, row.floor, row.lessStart)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1)
                ->UseManualTime();
        }
    }
    return true;
}();

} // namespace
