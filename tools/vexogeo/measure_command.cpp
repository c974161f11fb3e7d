// vexogeo measure: the geodesic length of a polyline, and the area and perimeter of a polygon.
#include "block_pipeline.h"
#include "commands.h"
#include "process.h"
#include "stream.h"

#include <vexogeo/vexogeo.h>

#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstring>
#include <memory>

namespace VexoGeoCli {
namespace {

struct MeasureOptions {
    std::string m_crs;
    std::string m_file;
    bool m_polygon = false;
    int m_precision = 3;
    unsigned m_threads = 1;
};

// A job's tallies, and where its numbers stand in `BlockJob::m_numbers`: its length, its first
// and last vertex, then (for a polygon) every vertex as x, y.
enum MeasureCount { kVertices, kUnplaced, kUnreadable };
enum MeasureNumber { kPart, kFirstX, kFirstY, kLastX, kLastY, kVertexList };

// What one thread reuses from job to job.
struct alignas(kScratchAlignment) Scratch {
    std::vector<double> m_xs, m_ys;
};

// Reads a job's vertices and measures the line through them; the line from the job before
// joins it where the jobs are written. The first line that is no vertex ends the job.
void MeasureJob(const Geo::CGeodesic &geodesic, bool onLane, unsigned lane, bool polygon,
                Scratch &scratch, BlockJob &job) {
    std::vector<double> &xs = scratch.m_xs, &ys = scratch.m_ys;
    xs.clear();
    ys.clear();
    job.m_numbers.assign(kVertexList, 0.0);
    std::uint64_t lineNumber = job.m_block.m_firstLine - 1;
    ForEachLine(job.m_block, [&](const char *p, const char *lineEnd) {
        ++lineNumber;
        const NumberLine line = ReadNumberLine(p, lineEnd, 2);
        if (line.m_kind == NumberLine::Kind::Bad ||
            (line.m_kind == NumberLine::Kind::Numbers && line.m_count != 2)) {
            job.m_counts[kUnreadable] = 1;
            job.m_diagnostics.push_back(
                {-1,
                 FormatLineError("measure", job.m_block.m_name, lineNumber, "not a vertex 'x y'",
                                 std::string_view(p, static_cast<std::size_t>(lineEnd - p)))});
            return false;
        }
        if (line.m_kind == NumberLine::Kind::Numbers) {
            xs.push_back(line.m_values[0]);
            ys.push_back(line.m_values[1]);
            if (polygon) {
                job.m_numbers.push_back(line.m_values[0]);
                job.m_numbers.push_back(line.m_values[1]);
            }
        }
        return true;
    });
    job.m_counts[kVertices] = xs.size();
    if (job.m_counts[kUnreadable] != 0 || xs.empty())
        return;
    job.m_numbers[kFirstX] = xs.front();
    job.m_numbers[kFirstY] = ys.front();
    job.m_numbers[kLastX] = xs.back();
    job.m_numbers[kLastY] = ys.back();
    if (xs.size() < 2)
        return;
    double part = 0;
    const bool placed = onLane
                            ? geodesic.LineLengthOnLane(lane, xs.size(), xs.data(), ys.data(), part)
                            : geodesic.LineLength(xs.size(), xs.data(), ys.data(), part);
    job.m_numbers[kPart] = placed ? part : 0.0;
    job.m_counts[kUnplaced] = placed ? 0 : 1;
}

int RunMeasure(const MeasureOptions &options) {
    const std::string context = "measure";
    const CSystemRef system = OpenSystem("--crs", options.m_crs);
    Geo::CGeodesic geodesic(system.Get());
    if (!geodesic.IsMeasurable())
        ThrowFailure("nothing can be measured: neither latitude and longitude nor projected "
                     "from them in " +
                     options.m_crs);

    // Each job measures the line through its own vertices (on a lane of its own with several
    // threads); the jobs are joined in input order by the segment from one job's last vertex to
    // the next one's first, so only a polygon keeps every vertex. The jobs and the order of the
    // sum are the same for every thread count, and so is the result.
    CLineReader reader(options.m_file.empty() ? std::vector<std::string>{}
                                              : std::vector<std::string>{options.m_file},
                       context);
    CProgress progress(context, reader.GetBytesTotal());
    const unsigned threads = UseLanes(geodesic, ResolveThreads(options.m_threads));
    const bool onLane = threads > 1;
    std::vector<Scratch> scratch(threads);
    std::vector<double> ringX, ringY;
    double length = 0;
    std::uint64_t vertices = 0;
    bool placed = true, readable = true, haveLast = false;
    double lastX = 0, lastY = 0;
    RunBlocks(
        reader, threads,
        [&](unsigned lane, BlockJob &job) {
            MeasureJob(geodesic, onLane, lane, options.m_polygon, scratch[lane], job);
        },
        [&](BlockJob &job) {
            WriteDiagnostics(job.m_diagnostics, nullptr, 0);
            if (job.m_counts[kUnreadable] != 0) {
                readable = false;
                return false;
            }
            progress.Update(reader.GetBytesRead());
            const std::uint64_t count = job.m_counts[kVertices];
            if (count == 0)
                return true;
            const std::vector<double> &n = job.m_numbers;
            if (haveLast) {
                double joint = 0;
                if (!geodesic.Inverse(lastX, lastY, n[kFirstX], n[kFirstY], joint))
                    placed = false;
                else
                    length += joint;
            }
            if (job.m_counts[kUnplaced] != 0)
                placed = false;
            length += n[kPart];
            lastX = n[kLastX];
            lastY = n[kLastY];
            haveLast = true;
            vertices += count;
            for (std::size_t i = kVertexList; i + 1 < n.size(); i += 2) {
                ringX.push_back(n[i]);
                ringY.push_back(n[i + 1]);
            }
            return true;
        });
    if (!readable)
        return kExitFailure;
    if (reader.GetFailedInputs() > 0 || reader.GetSkippedLines() > 0)
        return kExitFailure;
    const std::uint64_t needed = options.m_polygon ? 3 : 2;
    if (vertices < needed)
        ThrowFailure("at least " + std::to_string(needed) + " vertices are needed, read " +
                     std::to_string(vertices));
    const std::string unplaced = "a vertex cannot be placed on the ellipsoid (outside the "
                                 "system's domain, or a latitude beyond 90 degrees) of " +
                                 options.m_crs;
    // "*" for a figure that could not be measured (the reason goes to standard error), a number
    // with its unit otherwise.
    const auto figure = [&](bool measured, double value, const char *unit) {
        return measured ? FormatNumber(value, options.m_precision) + unit : std::string("*");
    };
    std::string out = "vertices: " + std::to_string(vertices) + "\n" +
                      "length: " + figure(placed, length, " m") + "\n";
    if (options.m_polygon) {
        double area = 0, perimeter = 0;
        const bool ring = placed && geodesic.PolygonArea(ringX.size(), ringX.data(), ringY.data(),
                                                         area, perimeter);
        placed = placed && ring;
        out += "area: " + figure(ring, area, " m^2") + "\n" +
               "perimeter: " + figure(ring, perimeter, " m") + "\n";
    }
    std::fputs(out.c_str(), stdout);
    if (!placed)
        ThrowFailure(unplaced);
    return kExitSuccess;
}

} // namespace

Command AddMeasureCommand(CLI::App &app) {
    auto options = std::make_shared<MeasureOptions>();
    CLI::App *sub = app.add_subcommand(
        "measure", "Geodesic length of a polyline; with --polygon also its area and perimeter");
    AddSystemOption(*sub, "--crs", options->m_crs);
    sub->add_flag("--polygon", options->m_polygon,
                  "Also the area and perimeter of the ring closed back to the first vertex");
    AddPrecisionOption(*sub, options->m_precision);
    AddThreadsOption(sub, options->m_threads);
    sub->add_option("FILE", options->m_file, "Vertices 'x y', one per line (none: standard input)");
    sub->footer(
        "x is longitude or easting, y latitude or northing; blank lines and '#' comments "
        "are skipped. The length follows the vertices in order without closing them; the "
        "area counts positive whichever way the ring winds. Lengths in metres, the area "
        "in square metres. A polygon keeps its vertices in memory (16 bytes each). A figure "
        "that cannot be measured prints as '*' (exit code 1, the reason on standard "
        "error). A latitude/longitude system takes its own angle unit and prime "
        "meridian.\n\n"
        "Examples:\n"
        "  vexogeo measure --crs EPSG:4326 route.txt\n"
        "  vexogeo measure --crs EPSG:25833 --polygon parcel.txt");
    return {sub, [options] { return RunMeasure(*options); }};
}

} // namespace VexoGeoCli
