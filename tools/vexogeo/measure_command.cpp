// vexogeo measure: the geodesic length of a polyline, and the area and perimeter of a polygon.
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
};

int RunMeasure(const MeasureOptions &options) {
    const std::string context = "measure";
    const CSystemRef system = OpenSystem("--crs", options.m_crs);
    const Geo::CGeodesic geodesic(system.Get());
    if (!geodesic.IsMeasurable())
        ThrowFailure("nothing can be measured: neither latitude and longitude nor projected "
                     "from them in " +
                     options.m_crs);

    // The length is summed block by block, each block starting at the last vertex of the one
    // before, so only a polygon keeps every vertex.
    CLineReader reader(options.m_file.empty() ? std::vector<std::string>{}
                                              : std::vector<std::string>{options.m_file},
                       context);
    CProgress progress(context, reader.GetBytesTotal());
    std::vector<double> xs, ys, ringX, ringY;
    double length = 0;
    std::uint64_t vertices = 0, lineNumber = 0;
    bool placed = true;
    InputBlock block;
    while (reader.Next(block)) {
        lineNumber = block.m_firstLine - 1;
        const bool readable = ForEachLine(block, [&](const char *p, const char *lineEnd) {
            ++lineNumber;
            const NumberLine line = ReadNumberLine(p, lineEnd, 2);
            if (line.m_kind == NumberLine::Kind::Bad ||
                (line.m_kind == NumberLine::Kind::Numbers && line.m_count != 2)) {
                PrintLineError(context, block.m_name, lineNumber, "not a vertex 'x y'",
                               std::string_view(p, static_cast<std::size_t>(lineEnd - p)));
                return false;
            }
            if (line.m_kind == NumberLine::Kind::Numbers) {
                xs.push_back(line.m_values[0]);
                ys.push_back(line.m_values[1]);
                ++vertices;
                if (options.m_polygon) {
                    ringX.push_back(line.m_values[0]);
                    ringY.push_back(line.m_values[1]);
                }
            }
            return true;
        });
        if (!readable)
            return kExitFailure;
        if (xs.size() >= 2) {
            double part = 0;
            if (!geodesic.LineLength(xs.size(), xs.data(), ys.data(), part))
                placed = false;
            length += part;
            xs.erase(xs.begin(), xs.end() - 1);
            ys.erase(ys.begin(), ys.end() - 1);
        }
        progress.Update(reader.GetBytesRead());
    }
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
