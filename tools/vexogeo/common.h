// What every command of the tool shares: exit codes, diagnostics, numbers as text and counted
// coordinate systems made from command-line arguments.
#ifndef VEXOGEO_TOOLS_VEXOGEO_COMMON_H
#define VEXOGEO_TOOLS_VEXOGEO_COMMON_H

#include "crs/system_ref.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
}

namespace VexoGeoCli {

constexpr int kExitSuccess = 0; ///< the work was done
constexpr int kExitFailure = 1; ///< the work failed (a file, a system, a service, a point)
constexpr int kExitUsage = 2;   ///< the command line cannot be read

/// A subcommand and the work it runs once the command line chose it; the work answers the exit
/// code.
struct Command {
    CLI::App *m_pApp = nullptr;
    std::function<int()> m_run;
};

/// Writes "vexogeo: `context`: `message`" as one line on standard error; line breaks inside the
/// message become blanks.
void PrintError(const std::string &context, const std::string &message);

/// Text produced by the library for people (its localized table is Windows-1252) as UTF-8 for
/// the terminal; text that already is valid UTF-8 comes back unchanged.
std::string ToTerminalText(const std::string &text);

/// Shortest text that reads back to the same double, as precision.
constexpr int kShortest = -1;
/// Room that `FormatNumber` may fill for any double with a precision up to `kMaxPrecision`.
constexpr std::size_t kMaxNumberText = 352;
/// Largest `--precision` accepted.
constexpr int kMaxPrecision = 17;

/// Writes `value` at `out`: the shortest round-trip text for `kShortest`, else fixed notation
/// with `precision` decimals. @return the end of the text written.
char *FormatNumber(char *out, double value, int precision);
/// As above, as a string.
std::string FormatNumber(double value, int precision = kShortest);

/// Reads one number at [`first`, `last`): C-locale decimal or scientific notation, with an
/// optional leading "+". @return the end of the number, or null when none starts at `first`.
const char *ParseNumber(const char *first, const char *last, double &value);
/// Reads `text` as exactly one number. @return false for anything else.
bool ParseNumber(std::string_view text, double &value);
/// Reads exactly `count` numbers separated by commas ("1,2,3,4"). @return false otherwise.
bool ParseNumberList(std::string_view text, std::size_t count, std::vector<double> &values);

/// One counted reference on a coordinate system; copies share it, the last one releases it.
using CSystemRef = Geo::CSystemRef;

/// The system a command-line argument names: "EPSG:4326", any "authority:code", a PROJ string
/// (made a CRS when it does not say so), WKT, or "@path" for a definition held in a file.
/// @return an empty reference with `error` set when the file cannot be read or PROJ rejects it.
CSystemRef CreateSystem(const std::string &argument, std::string &error);

/// The kind of a system in words: "geographic", "geocentric", "geodetic" or "projected/other".
std::string DescribeKind(const Geo::CCoordinateSystem &system);

} // namespace VexoGeoCli

#endif
