// The subcommands of vexogeo: each registers itself with the parser and hands back its work.
#ifndef VEXOGEO_TOOLS_VEXOGEO_COMMANDS_H
#define VEXOGEO_TOOLS_VEXOGEO_COMMANDS_H

#include "common.h"

#include <string>

namespace CLI {
class App;
}

namespace VexoGeoCli {

Command AddTransformCommand(CLI::App &app);
Command AddDistanceCommand(CLI::App &app);
Command AddMeasureCommand(CLI::App &app);
Command AddCrsCommand(CLI::App &app);
Command AddBoundsCommand(CLI::App &app);
Command AddGeocodeCommand(CLI::App &app);
Command AddReverseCommand(CLI::App &app);
Command AddWmsUrlCommand(CLI::App &app);
Command AddWmsCommand(CLI::App &app);
/// Adds "capabilities" and "getmap" to the wms command; its work answers -1 when neither ran.
Command AddWmsClientSubcommands(CLI::App &wms);
Command AddSridsCommand(CLI::App &app);
Command AddNamedWmsCommand(CLI::App &app);
/// `executableFolder` locates the sample data installed beside the tool.
Command AddTourCommand(CLI::App &app, const std::string &executableFolder);

} // namespace VexoGeoCli

#endif
