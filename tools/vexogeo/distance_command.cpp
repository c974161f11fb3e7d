// vexogeo distance: geodesic distances between points given in one coordinate system.
#include "block_pipeline.h"
#include "commands.h"
#include "transform.h"
#include "process.h"
#include "stream.h"

#include <vexogeo/vexogeo.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

namespace VexoGeoCli {
namespace {

constexpr std::uint64_t kReportedUnreadable = 5;
// Why a distance is missing: the whole system, or one pair of points.
const char *const kUnmeasurable = "no distance can be measured: neither latitude and longitude "
                                  "nor projected from them in ";
const char *const kUnplaced = "a point cannot be placed on the ellipsoid (outside the "
                              "system's domain, or a latitude beyond 90 degrees) of ";

struct DistanceOptions {
    std::string m_crs;
    std::vector<std::string> m_coordinates;
    int m_precision = kShortest;
    unsigned m_threads = 1;
};

enum DistanceCount { kPairs, kFailed, kUnreadable };

// What one thread reuses from block to block.
struct alignas(kScratchAlignment) Scratch {
    std::vector<NumberLine::Kind> m_kinds;
    std::vector<double> m_x1, m_y1, m_x2, m_y2, m_distances;
    std::vector<std::string_view> m_passed;
};

void MeasureJob(const Geo::CGeodesic &geodesic, bool onLane, unsigned lane, Scratch &s,
                BlockJob &job, const std::string &crs, int precision) {
    const std::string context = "distance";
    const InputBlock &block = job.m_block;
    s.m_kinds.clear();
    s.m_passed.clear();
    s.m_x1.clear();
    s.m_y1.clear();
    s.m_x2.clear();
    s.m_y2.clear();
    std::uint64_t lineNumber = block.m_firstLine - 1;
    ForEachLine(block, [&](const char *p, const char *lineEnd) {
        ++lineNumber;
        const NumberLine line = ReadNumberLine(p, lineEnd, 4);
        NumberLine::Kind kind = line.m_kind;
        if (kind == NumberLine::Kind::Numbers && line.m_count != 4)
            kind = NumberLine::Kind::Bad;
        if (kind == NumberLine::Kind::Numbers) {
            s.m_x1.push_back(line.m_values[0]);
            s.m_y1.push_back(line.m_values[1]);
            s.m_x2.push_back(line.m_values[2]);
            s.m_y2.push_back(line.m_values[3]);
        } else if (kind == NumberLine::Kind::Pass) {
            s.m_passed.emplace_back(p, static_cast<std::size_t>(lineEnd - p));
        } else if (++job.m_counts[kUnreadable] <= kReportedUnreadable) {
            // Only the first few of the whole run are written: a block holds back no more.
            job.m_diagnostics.push_back(
                {kUnreadable,
                 FormatLineError(context, block.m_name, lineNumber, "not 'x1 y1 x2 y2'",
                                 std::string_view(p, static_cast<std::size_t>(lineEnd - p)))});
        }
        s.m_kinds.push_back(kind);
        return true;
    });
    // NaN where a pair could not be measured (a batch that measures nothing leaves its outputs
    // as they were).
    const std::size_t count = s.m_x1.size();
    s.m_distances.assign(count, std::numeric_limits<double>::quiet_NaN());
    if (count > 0) {
        if (onLane)
            geodesic.InverseBatchOnLane(lane, count, s.m_x1.data(), s.m_y1.data(), s.m_x2.data(),
                                        s.m_y2.data(), s.m_distances.data(), nullptr, nullptr);
        else
            geodesic.InverseBatch(count, s.m_x1.data(), s.m_y1.data(), s.m_x2.data(), s.m_y2.data(),
                                  s.m_distances.data(), nullptr, nullptr);
    }

    CJobText out(job.m_output);
    std::size_t pair = 0, pass = 0;
    for (std::size_t k = 0; k < s.m_kinds.size(); ++k) {
        const NumberLine::Kind kind = s.m_kinds[k];
        if (kind == NumberLine::Kind::Pass) {
            out.Append(s.m_passed[pass++]);
        } else if (kind == NumberLine::Kind::Bad) {
            out.Append('*');
        } else {
            ++job.m_counts[kPairs];
            const double d = s.m_distances[pair++];
            if (std::isfinite(d)) {
                out.Commit(FormatNumber(out.Reserve(kMaxNumberText), d, precision));
            } else {
                if (++job.m_counts[kFailed] <= kReportedUnreadable)
                    job.m_diagnostics.push_back(
                        {kFailed, FormatError(context, block.m_name + ":" +
                                                           std::to_string(block.m_firstLine + k) +
                                                           ": " + kUnplaced + crs)});
                out.Append('*');
            }
        }
        out.Append('\n');
    }
}

// Whether points of `system` can be brought to its own latitude and longitude: a projection
// without an inverse cannot, and then no pair at all can be measured.
bool CanReachLatLong(const CSystemRef &system) {
    Geo::CCoordinateSystem *latLong = nullptr;
    if (!system.Get()->GetLatLongCoordinateSystem(&latLong))
        return false;
    // The handle comes with one reference of its own, which the holder takes over.
    const CSystemRef held(latLong);
    latLong->Release();
    std::string error;
    const std::unique_ptr<Geo::CConverter> converter = CreateConverter(system, held, error);
    if (!converter)
        return false;
    // PROJ may build the transformation with its forward half missing: a point projected from
    // the middle of the area of use that does not come back shows it.
    Geo::AreaOfUse area;
    double x = 0, y = 0;
    if (system.Get()->GetAreaOfUse(area)) {
        x = area.m_west + (area.m_east - area.m_west + (area.m_east < area.m_west ? 360 : 0)) / 2;
        x = x > 180 ? x - 360 : x;
        y = (area.m_south + area.m_north) / 2;
    }
    const bool back = converter->InverseTransformCoordinate(x, y) && std::isfinite(x) &&
                      std::isfinite(y) && converter->TransformCoordinate(x, y) &&
                      std::isfinite(x);
    converter->ClearError();
    return back;
}

// One distance per "x1 y1 x2 y2" line of standard input, in blocks on `threads` threads.
int RunBulk(Geo::CGeodesic &geodesic, const std::string &crs, int precision, unsigned threads) {
    const std::string context = "distance";
    CLineReader reader({}, context);
    COutputBuffer out;
    CProgress progress(context, reader.GetBytesTotal());
    // Each thread measures on a lane of its own; without lanes the work runs alone.
    threads = UseLanes(geodesic, threads);
    const bool onLane = threads > 1;
    std::vector<Scratch> scratch(threads);
    std::uint64_t counts[3] = {};
    std::uint64_t printed[3] = {};
    RunBlocks(
        reader, threads,
        [&](unsigned lane, BlockJob &job) {
            MeasureJob(geodesic, onLane, lane, scratch[lane], job, crs, precision);
        },
        [&](BlockJob &job) {
            for (int i = 0; i < 3; ++i)
                counts[i] += job.m_counts[i];
            WriteDiagnostics(job.m_diagnostics, printed, kReportedUnreadable);
            out.Append(job.m_output.Text());
            const bool written = out.Flush();
            progress.Update(reader.GetBytesRead());
            return written;
        });
    const std::uint64_t unreadable = counts[kUnreadable] + reader.GetSkippedLines();
    const std::uint64_t failed = counts[kFailed];
    if (!out.Flush())
        ThrowFailure(std::string("cannot write the output: ") + std::strerror(out.GetError()));
    if (failed > 0)
        PrintError(context, std::to_string(failed) + " of " + std::to_string(counts[kPairs]) +
                                " distances could not be measured");
    if (unreadable > 0)
        PrintError(context, std::to_string(unreadable) + " lines are not coordinate pairs");
    return reader.GetFailedInputs() > 0 || failed > 0 ? kExitFailure : kExitSuccess;
}

int RunDistance(const DistanceOptions &options) {
    const std::string context = "distance";
    if (!options.m_coordinates.empty() && options.m_coordinates.size() != 4)
        ThrowUsage("give four coordinates 'x1 y1 x2 y2', or none to read standard input");
    double values[4] = {};
    for (std::size_t i = 0; i < options.m_coordinates.size(); ++i) {
        if (!ParseNumber(options.m_coordinates[i], values[i]))
            ThrowUsage("not a number: " + QuoteText(options.m_coordinates[i]));
    }
    const CSystemRef system = OpenSystem("--crs", options.m_crs);
    Geo::CGeodesic geodesic(system.Get());
    if (!geodesic.IsMeasurable())
        ThrowFailure(kUnmeasurable + options.m_crs);
    if (!CanReachLatLong(system))
        ThrowFailure("no distance can be measured in " + options.m_crs +
                     ": PROJ cannot take its points back to latitude and longitude (the "
                     "projection has no inverse)");
    if (options.m_coordinates.empty())
        return RunBulk(geodesic, options.m_crs, options.m_precision,
                       ResolveThreads(options.m_threads));

    double distance = 0;
    if (!geodesic.Inverse(values[0], values[1], values[2], values[3], distance)) {
        std::printf("*\n");
        ThrowFailure(kUnplaced + options.m_crs);
    }
    std::printf("%s\n", FormatNumber(distance, options.m_precision).c_str());
    return kExitSuccess;
}

} // namespace

Command AddDistanceCommand(CLI::App &app) {
    auto options = std::make_shared<DistanceOptions>();
    CLI::App *sub = app.add_subcommand(
        "distance", "Geodesic distance in metres between two points of one coordinate system");
    AddSystemOption(*sub, "--crs", options->m_crs);
    AddPrecisionOption(*sub, options->m_precision);
    AddThreadsOption(sub, options->m_threads);
    sub->add_option("x1 y1 x2 y2", options->m_coordinates,
                    "The two points; none: read 'x1 y1 x2 y2' lines from standard input");
    sub->footer("x is longitude or easting, y latitude or northing. In bulk mode each input "
                "line gives one output line: the distance, '*' when it cannot be measured (the "
                "reason goes to standard error and the exit code is 1); blank lines and '#' "
                "comments pass unchanged. A latitude/longitude system takes its own angle unit "
                "(grads for EPSG:4807) and prime meridian; geocentric systems measure nothing."
                "\n\n"
                "Examples:\n"
                "  vexogeo distance --crs EPSG:4326 13.4 52.5 2.35 48.86\n"
                "  vexogeo distance --crs EPSG:32633 -- 391000 5820000 -10000 5400000\n"
                "  vexogeo distance --crs EPSG:4326 --precision 3 < pairs.txt");
    return {sub, [options] { return RunDistance(*options); }};
}

} // namespace VexoGeoCli
