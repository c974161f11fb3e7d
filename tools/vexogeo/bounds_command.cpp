// vexogeo bounds: a box in one coordinate system as the box that holds it in another.
#include "commands.h"
#include "transform.h"

#include <vexogeo/vexogeo.h>

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

namespace VexoGeoCli {
namespace {

struct BoundsOptions {
    std::string m_from;
    std::string m_to;
    std::string m_box;
    int m_densify = 21;
    bool m_inverse = false;
    std::string m_format;
};

int RunBounds(const BoundsOptions &options) {
    std::vector<double> box;
    if (!ParseNumberList(options.m_box, 4, box))
        ThrowUsage("expected four numbers 'WEST,SOUTH,EAST,NORTH', not " +
                   QuoteText(options.m_box));
    const CSystemRef source = OpenSystem("--from", options.m_from);
    const CSystemRef target = OpenSystem("--to", options.m_to);
    // PROJ needs two points on each edge to tell a box across the antimeridian into a
    // geographic output; fewer is refused here rather than by PROJ after the fact.
    const CSystemRef &output = options.m_inverse ? source : target;
    if (options.m_densify < 2 && output.Get()->IsGeographic())
        ThrowUsage("--densify: a geographic output needs at least 2, not " +
                   std::to_string(options.m_densify));
    std::string error;
    const std::unique_ptr<Geo::CConverter> converter = CreateConverter(source, target, error);
    if (!converter)
        ThrowFailure(error);
    double west = box[0], south = box[1], east = box[2], north = box[3];
    const bool done =
        options.m_inverse
            ? converter->InverseTransformBounds(west, south, east, north, options.m_densify)
            : converter->TransformBounds(west, south, east, north, options.m_densify);
    if (!done)
        ThrowFailure("the box cannot be transformed");
    const std::string text = options.m_format == "json"
                                 ? "{\"west\": " + FormatNumber(west) +
                                       ", \"south\": " + FormatNumber(south) +
                                       ", \"east\": " + FormatNumber(east) +
                                       ", \"north\": " + FormatNumber(north) + "}\n"
                                 : FormatNumber(west) + "," + FormatNumber(south) + "," +
                                       FormatNumber(east) + "," + FormatNumber(north) + "\n";
    std::fputs(text.c_str(), stdout);
    return kExitSuccess;
}

} // namespace

Command AddBoundsCommand(CLI::App &app) {
    auto options = std::make_shared<BoundsOptions>();
    CLI::App *sub =
        app.add_subcommand("bounds", "Transform a box, its edges densified, into another system");
    AddSystemOption(*sub, "--from", options->m_from);
    AddSystemOption(*sub, "--to", options->m_to);
    sub->add_option("BOX", options->m_box,
                    "WEST,SOUTH,EAST,NORTH: x is longitude or easting, y latitude or northing")
        ->required();
    sub->add_option("--densify", options->m_densify, "Points added along each edge (default 21)")
        ->check(CLI::Range(0, 10000));
    sub->add_flag("--inverse", options->m_inverse, "The box is in --to; print it in --from");
    AddFormatOption(*sub, options->m_format, {"text", "json"});
    sub->footer("Prints the smallest box WEST,SOUTH,EAST,NORTH that holds the transformed edges. "
                "In a geographic target a box across the antimeridian has WEST > EAST (also when PROJ "
                "has several operations: such a box is transformed in two halves, one on each "
                "side), and --densify must be at least 2 (exit 2 otherwise).\n\n"
                "Examples:\n"
                "  vexogeo bounds --from EPSG:4326 --to EPSG:32633 12,45,18,55\n"
                "  vexogeo bounds --from EPSG:3857 --to EPSG:4326 19000000,-1e6,21000000,1e6");
    return {sub, [options] { return RunBounds(*options); }};
}

} // namespace VexoGeoCli
