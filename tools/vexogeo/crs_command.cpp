// vexogeo crs: what the library knows of a coordinate system.
#include "commands.h"

#include <vexogeo/vexogeo.h>

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <memory>

namespace VexoGeoCli {
namespace {

int RunCrs(const std::string &definition) {
    std::string error;
    const CSystemRef system = CreateSystem(definition, error);
    if (!system) {
        PrintError("crs", error);
        return kExitFailure;
    }
    std::string text = "system: " + definition + "\n";
    text += "kind: " + DescribeKind(*system.Get()) + "\n";
    double semiMajor = 0, semiMinor = 0;
    if (system.Get()->GetSpheroidDefinition(semiMajor, semiMinor)) {
        const double flattening = Geo::CCoordinateSystem::GetFlattening(semiMajor, semiMinor);
        const double inverse = Geo::CCoordinateSystem::GetInverseFlattening(flattening);
        text += "semi-major axis: " + FormatNumber(semiMajor) + " m\n";
        text += "semi-minor axis: " + FormatNumber(semiMinor) + " m\n";
        text += "flattening: " + FormatNumber(flattening) + "\n";
        text += "inverse flattening: " +
                (std::isinf(inverse) ? std::string("infinite (a sphere)") : FormatNumber(inverse)) +
                "\n";
    } else {
        text += "ellipsoid: none\n";
    }
    Geo::CCoordinateSystem *geodetic = nullptr;
    if (system.Get()->GetLatLongCoordinateSystem(&geodetic)) {
        // The handle comes with one reference of its own, which the holder takes over.
        const CSystemRef held(geodetic);
        geodetic->Release();
        text += "geodetic system: " + DescribeKind(*held.Get()) + "\n";
    } else {
        text += "geodetic system: none\n";
    }
    std::fputs(text.c_str(), stdout);
    return kExitSuccess;
}

} // namespace

Command AddCrsCommand(CLI::App &app) {
    auto definition = std::make_shared<std::string>();
    CLI::App *sub =
        app.add_subcommand("crs", "Show a coordinate system's kind, ellipsoid and geodetic system");
    sub->add_option("CRS", *definition,
                    "EPSG:n, ESRI:n, authority:code, a PROJ string, WKT or @file")
        ->required();
    sub->footer("The kind is geographic, geocentric, geodetic or projected/other; the axes are "
                "in metres.\n\n"
                "Examples:\n"
                "  vexogeo crs EPSG:4326\n"
                "  vexogeo crs '+proj=utm +zone=33 +ellps=GRS80'\n"
                "  vexogeo crs @system.wkt");
    return {sub, [definition] { return RunCrs(*definition); }};
}

} // namespace VexoGeoCli
