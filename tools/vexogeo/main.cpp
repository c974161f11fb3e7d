// vexogeo: the services of the VexoGeo library in a terminal.
#include "commands.h"
#include "common.h"
#include "process.h"

#include <vexogeo/crs/proj_messages.h>
#include <vexogeo/geocoding/geocoder.h>
#include <vexogeo/wms/wms_client.h>

#include <CLI/CLI.hpp>

#include <clocale>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

namespace {

// The subcommands the command line chose, outermost first.
std::vector<CLI::App *> ChosenCommands(CLI::App &app) {
    std::vector<CLI::App *> chain;
    for (CLI::App *at = &app; !at->get_subcommands().empty();) {
        at = at->get_subcommands().front();
        chain.push_back(at);
    }
    return chain;
}

std::string NameOf(const std::vector<CLI::App *> &chain) {
    std::string name;
    for (const CLI::App *command : chain)
        name += (name.empty() ? "" : " ") + command->get_name();
    return name;
}

// A command line the parser rejected: one diagnostic, with any echoed argument quoted safely,
// and a word on where help is. A word where a subcommand belongs is named as the unknown
// command it is.
int ReportUsageError(CLI::App &app, const CLI::ParseError &error) {
    using namespace VexoGeoCli;
    const std::vector<CLI::App *> chain = ChosenCommands(app);
    CLI::App &last = chain.empty() ? app : *chain.back();
    const std::string name = NameOf(chain);
    std::string message = error.what();
    if (last.get_require_subcommand_min() > 0) {
        for (const std::string &word : last.remaining()) {
            if (!word.empty() && word[0] != '-') {
                message = "unknown command " + QuoteText(name.empty() ? word : name + " " + word);
                break;
            }
        }
    }
    PrintError(name.empty() ? "usage" : name, message);
    std::fputs(
        ("Run 'vexogeo " + (name.empty() ? "" : name + " ") + "--help' for more information.\n")
            .c_str(),
        stderr);
    return kExitUsage;
}

// The one place a command's error becomes its diagnostic and exit code: the tool's own, the
// library's refusals of an argument (exit 2, the library decides what is valid) and failed work.
int ReportCommandError(const std::string &name) {
    using namespace VexoGeoCli;
    const std::string context = name.empty() ? "error" : name;
    try {
        throw;
    } catch (const CCommandError &e) {
        PrintError(context, e.what());
        return e.GetExitCode();
    } catch (const Geo::GeocodingError &e) {
        PrintError(context, e.what());
        return e.GetKind() == Geo::GeocodingErrorKind::InvalidArgument ? kExitUsage : kExitFailure;
    } catch (const Geo::CWmsError &e) {
        if (e.GetKind() == Geo::WmsErrorKind::ServiceException)
            PrintError(context, "service exception " +
                                    (e.GetCode().empty() ? std::string("(no code)") : e.GetCode()) +
                                    ": " + e.GetText());
        else
            PrintError(context, e.what());
    } catch (const std::exception &e) {
        PrintError(context, e.what());
    }
    return kExitFailure;
}

} // namespace

int main(int argc, char **argv) {
    // Numbers are read and written in the "C" locale whatever the environment says.
    std::setlocale(LC_ALL, "C");
    using namespace VexoGeoCli;

    CLI::App app("vexogeo: coordinate systems, transformations, geodesic distances, geocoding, "
                 "WMS request URLs and WMS files from the command line.",
                 "vexogeo");
    PrepareParser(app);
    app.set_version_flag("--version", "vexogeo " VEXOGEO_CLI_VERSION);
    app.require_subcommand(1);
    app.footer("Exit codes: 0 success, 1 the work failed (also when the output cannot be "
               "written), 2 the command line cannot be read.\n"
               "Results go to standard output, diagnostics to standard error; a diagnostic "
               "quotes input with control bytes escaped and long text cut.\n\n"
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
        // Help and version go to standard output and must reach it like any result.
        if (e.get_exit_code() != 0)
            return ReportUsageError(app, e);
        const std::string name = NameOf(ChosenCommands(app));
        return FinishOutput(name.empty() ? "help" : name, app.exit(e));
    }

    // Every command's results are checked here, once: what could not be written fails the run.
    const std::string name = NameOf(ChosenCommands(app));
    int code = kExitUsage;
    try {
        for (const Command &command : commands) {
            if (command.m_pApp->parsed()) {
                code = command.m_run();
                break;
            }
        }
    } catch (const std::exception &) {
        code = ReportCommandError(name);
    }
    // PROJ's messages, which the library keeps, explain a failure; after a success they are
    // noise. They may quote a definition from the command line, so they are escaped like every
    // diagnostic.
    if (code != kExitSuccess) {
        for (const std::string &message : Geo::CProjMessages::Take())
            PrintLibraryMessage(message.c_str());
    }
    return FinishOutput(name, code);
}
