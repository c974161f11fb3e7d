// vexogeo transform: points from files or standard input into another coordinate system.
#include "commands.h"
#include "stream.h"
#include "transform.h"

#include <vexogeo/vexogeo.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstring>
#include <memory>

namespace VexoGeoCli {
namespace {

struct TransformOptions {
    std::string m_from;
    std::string m_to;
    std::vector<std::string> m_files;
    int m_precision = kShortest;
    bool m_strict = false;
    std::string m_area;
    bool m_noBallpark = false;
    bool m_inverse = false;
    bool m_showOperation = false;
    unsigned m_threads = 1;
};

int RunTransform(const TransformOptions &options) {
    const std::string context = "transform";
    ConverterChoice choice;
    std::vector<double> area;
    if (!options.m_area.empty()) {
        if (!ParseNumberList(options.m_area, 4, area))
            ThrowUsage("--area: expected four numbers 'WEST,SOUTH,EAST,NORTH', not '" +
                       options.m_area + "'");
        choice.m_hasArea = true;
        std::copy(area.begin(), area.end(), choice.m_area);
    }
    choice.m_allowBallpark = !options.m_noBallpark;
    const CSystemRef from = OpenSystem("--from", options.m_from);
    const CSystemRef to = OpenSystem("--to", options.m_to);
    // Points in --to are brought into --from by the transformation PROJ chooses for that
    // direction.
    const CSystemRef &source = options.m_inverse ? to : from;
    const CSystemRef &target = options.m_inverse ? from : to;
    std::string error;
    const std::unique_ptr<Geo::CConverter> converter =
        CreateConverter(source, target, error, choice);
    if (!converter)
        ThrowFailure(error);
    const unsigned threads = ResolveThreads(options.m_threads);
    if (threads > 1)
        converter->SetThreadCount(threads);
    CLineReader reader(options.m_files, context);
    COutputBuffer out;
    COperationReport report(context);
    const TransformCounts counts =
        TransformLines(*converter, reader, out, options.m_precision, context, threads,
                       options.m_showOperation ? &report : nullptr);
    if (!out.Flush())
        ThrowFailure(std::string("cannot write the output: ") + std::strerror(out.GetError()));
    if (options.m_showOperation)
        report.Finish();
    const std::uint64_t bad = counts.m_failed + counts.m_unreadable;
    if (counts.m_failed > 0)
        PrintError(context, std::to_string(counts.m_failed) + " of " +
                                std::to_string(counts.m_points) +
                                " points could not be transformed");
    if (counts.m_unreadable > 0)
        PrintError(context, std::to_string(counts.m_unreadable) + " lines are not points");
    if (reader.GetFailedInputs() > 0 || (options.m_strict && bad > 0))
        return kExitFailure;
    return kExitSuccess;
}

} // namespace

Command AddTransformCommand(CLI::App &app) {
    auto options = std::make_shared<TransformOptions>();
    CLI::App *sub = app.add_subcommand(
        "transform",
        "Transform points, one 'x y [z] [text]' per line, into another coordinate system");
    AddSystemOption(*sub, "--from", options->m_from);
    AddSystemOption(*sub, "--to", options->m_to);
    AddPrecisionOption(*sub, options->m_precision);
    sub->add_flag("--strict", options->m_strict,
                  "Exit with 1 when a point fails or a line is not a point");
    sub->add_option("--area", options->m_area,
                    "WEST,SOUTH,EAST,NORTH in degrees: let PROJ choose the transformation best "
                    "for this area");
    sub->add_flag("--no-ballpark", options->m_noBallpark,
                  "Fail when only a ballpark transformation (no datum shift) exists");
    sub->add_flag("--inverse", options->m_inverse, "The points are in --to; write them in --from");
    sub->add_flag("--show-operation", options->m_showOperation,
                  "On standard error, name the operation PROJ used for each point, as runs of "
                  "lines ('FILE: lines 1-40: NAD27 to WGS 84 (6), accuracy 7 m'), with its "
                  "accuracy, the grids it needs, and 'ballpark transformation only (no datum "
                  "shift)' where that is all PROJ applied; slower where PROJ chooses among "
                  "several operations by place");
    AddThreadsOption(sub, options->m_threads);
    sub->add_option("FILE", options->m_files, "Input files ('-' or none: standard input)");
    sub->footer(
        "Fields are separated by blanks, tabs or a comma; x is longitude or easting, y latitude "
        "or northing, geographic values in the system's angular unit (degrees; grads in a "
        "grad system such as EPSG:4807). Each point is written in the layout of its "
        "line, with a third value whenever either system has a height axis (0 when the line "
        "gives none); text after the coordinates (a label, a '# note') passes through after "
        "them. A point that fails becomes '* *' (or '* * *') before its text, blank lines and "
        "'#' comments pass unchanged; a line longer than 1 MiB is reported and skipped. PROJ's "
        "own messages are written only when the command fails."
        "\n\n"
        "Examples:\n"
        "  echo '13.4 52.5' | vexogeo transform --from EPSG:4326 --to EPSG:25833\n"
        "  vexogeo transform --from EPSG:4326 --to EPSG:3857 --precision 3 points.txt\n"
        "  echo '16.37 48.21' | vexogeo transform --from EPSG:4326 --to EPSG:31287 "
        "--area 9.5,46.4,17.2,49 --show-operation\n"
        "  vexogeo transform --from '+proj=longlat +datum=WGS84' --to @utm33.wkt points.csv");
    return {sub, [options] { return RunTransform(*options); }};
}

} // namespace VexoGeoCli
