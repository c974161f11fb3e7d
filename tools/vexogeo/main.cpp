// vexogeo: the services of the VexoGeo library in a terminal.
#include "commands.h"
#include "common.h"
#include "process.h"

#include <CLI/CLI.hpp>

#include <clocale>
#include <exception>
#include <vector>

int main(int argc, char **argv) {
    // Numbers are read and written in the "C" locale whatever the environment says.
    std::setlocale(LC_ALL, "C");
    using namespace VexoGeoCli;

    CLI::App app("vexogeo: coordinate systems, transformations, geodesic distances, geocoding, "
                 "WMS request URLs and WMS files from the command line.",
                 "vexogeo");
    app.set_version_flag("--version", "vexogeo " VEXOGEO_CLI_VERSION);
    app.require_subcommand(1);
    app.footer("Exit codes: 0 success, 1 the work failed, 2 the command line cannot be read.\n"
               "Results go to standard output, diagnostics to standard error.\n\n"
               "Examples:\n"
               "  vexogeo tour\n"
               "  echo '13.4 52.5' | vexogeo transform --from EPSG:4326 --to EPSG:25833\n"
               "  vexogeo distance --crs EPSG:4326 13.4 52.5 2.35 48.86\n"
               "  vexogeo measure --crs EPSG:4326 --polygon ring.txt\n"
               "  vexogeo crs EPSG:3857\n"
               "  vexogeo geocode Berlin --limit 3 --format geojson\n"
               "  vexogeo wms-url parse 'https://example.org/wms?service=WMS&version=1.3.0'\n"
               "Run 'vexogeo COMMAND --help' for the options of a command.");

    std::vector<Command> commands = {
        AddTransformCommand(app),
        AddDistanceCommand(app),
        AddMeasureCommand(app),
        AddCrsCommand(app),
        AddBoundsCommand(app),
        AddGeocodeCommand(app),
        AddReverseCommand(app),
        AddWmsUrlCommand(app),
        AddWmsCommand(app),
        AddSridsCommand(app),
        AddNamedWmsCommand(app),
        AddTourCommand(app, GetExecutableFolder(argc > 0 ? argv[0] : nullptr))};

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        const int code = app.exit(e);
        return code == 0 ? kExitSuccess : kExitUsage;
    }

    try {
        for (const Command &command : commands) {
            if (command.m_pApp->parsed())
                return command.m_run();
        }
    } catch (const std::exception &e) {
        PrintError("error", e.what());
        return kExitFailure;
    }
    return kExitUsage;
}
