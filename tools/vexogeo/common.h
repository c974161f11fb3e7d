// What every command of the tool shares: exit codes, diagnostics, numbers as text and counted
// coordinate systems made from command-line arguments.
#ifndef VEXOGEO_TOOLS_VEXOGEO_COMMON_H
#define VEXOGEO_TOOLS_VEXOGEO_COMMON_H

#include "crs/system_ref.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
class Option;
} // namespace CLI

namespace VexoGeoCli {

constexpr int kExitSuccess = 0; ///< the work was done
constexpr int kExitFailure = 1; ///< the work failed (a file, a system, a service, a point)
constexpr int kExitUsage = 2;   ///< the command line cannot be read

/// Why a command stops: `main` writes the message once, under the command's name, as
/// `PrintError` does, and exits with the code (kExitUsage for a command line that cannot be
/// read, kExitFailure for work that failed).
class CCommandError : public std::runtime_error {
  public:
    CCommandError(int exitCode, const std::string &message)
        : std::runtime_error(message), m_exitCode(exitCode) {}
    int GetExitCode() const noexcept { return m_exitCode; }

  private:
    int m_exitCode;
};

/// Throws CCommandError with kExitUsage.
[[noreturn]] void ThrowUsage(const std::string &message);
/// Throws CCommandError with kExitFailure.
[[noreturn]] void ThrowFailure(const std::string &message);

/// Sets up the parser of the whole tool before any command is added (subcommands copy it): an
/// argument starting with '/' is a value (a path), never an option, on every system.
void PrepareParser(CLI::App &app);

/// A subcommand and the work it runs once the command line chose it; the work answers the exit
/// code.
struct Command {
    CLI::App *m_pApp = nullptr;
    std::function<int()> m_run;
};

/// Writes "vexogeo: `context`: `message`" as one line on standard error: line breaks inside the
/// message become blanks, other control bytes are escaped as by `QuoteText`, and a message
/// longer than `kMaxMessage` bytes is cut, so no input or server text reaches the terminal raw.
void PrintError(const std::string &context, const std::string &message);

/// Writes a message of a library (PROJ's log) as one line on standard error, escaped and cut
/// as `PrintError` does, without a prefix of its own.
void PrintLibraryMessage(const char *message);

/// One diagnostic kept back to be written later, in input order.
struct HeldDiagnostic {
    int m_limitClass = -1; ///< -1: always written; otherwise counted against that class's limit
    std::string m_line;    ///< the whole line, '\n' included
};

/// While alive, `PrintError` and `PrintLibraryMessage` on the constructing thread append their
/// lines to `sink` instead of writing them (PROJ's log reaches it too when PROJ runs on this
/// thread), so work done on several threads reports in input order.
class CDiagnosticCapture {
  public:
    explicit CDiagnosticCapture(std::vector<HeldDiagnostic> *sink);
    ~CDiagnosticCapture();
    CDiagnosticCapture(const CDiagnosticCapture &) = delete;
    CDiagnosticCapture &operator=(const CDiagnosticCapture &) = delete;

  private:
    std::vector<HeldDiagnostic> *m_pPrevious;
};

/// The line `PrintError` would write for `context` and `message`.
std::string FormatError(const std::string &context, const std::string &message);

/// Most threads a streaming command uses.
constexpr unsigned kMaxThreads = 64;
/// Adds "--threads N" to a streaming command: worker threads for reading, computing and
/// formatting blocks of lines, the output the same for every N. `threads` starts as the cores
/// available; 0 asks for them as well; more than `kMaxThreads` is `kMaxThreads`.
void AddThreadsOption(CLI::App *sub, unsigned &threads);
/// The thread count an option value stands for (0: the cores available; at most `kMaxThreads`).
unsigned ResolveThreads(unsigned threads);

/// Longest diagnostic `PrintError` writes whole (bytes).
constexpr std::size_t kMaxMessage = 4096;
/// Longest piece of input a diagnostic quotes whole (bytes).
constexpr std::size_t kMaxQuoted = 120;

/// `text` between single quotes, safe for a terminal: control bytes (NUL, ESC, DEL, the C1
/// controls), bytes that are not UTF-8 and the backslash written as escapes ("\x1B", "\0",
/// "\\"); text longer than `limit` bytes is cut and says how long it was.
std::string QuoteText(std::string_view text, std::size_t limit = kMaxQuoted);

/// Writes out standard output and reports a write that failed, now or before, under `context`.
/// @return `code`, or kExitFailure in place of kExitSuccess when the output was lost.
int FinishOutput(const std::string &context, int code);

/// Text a server sent (a place name, a layer title) as one printable line: valid UTF-8 with
/// control characters escaped visibly, as `Geo::ToSafeLine` writes it.
std::string ServerLine(std::string_view text);

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

/// `text` as a JSON string with its quotes, exactly (`Geo::AppendJsonString`): made valid UTF-8,
/// '"', '\\' and control characters escaped.
std::string JsonString(std::string_view text);

/// `value` as a JSON number in its shortest exact form; null for infinities and NaN, which
/// JSON cannot write.
std::string JsonNumber(double value);

/// Reads one number at [`first`, `last`): C-locale decimal or scientific notation, with an
/// optional leading "+". @return the end of the number, or null when none starts at `first`.
const char *ParseNumber(const char *first, const char *last, double &value);
/// Reads `text` as exactly one number. @return false for anything else.
bool ParseNumber(std::string_view text, double &value);
/// Reads exactly `count` numbers separated by commas ("1,2,3,4"), blanks and tabs allowed
/// around each ("13, 52, 14, 52.5"). @return false otherwise.
bool ParseNumberList(std::string_view text, std::size_t count, std::vector<double> &values);

/// Longest --timeout any command accepts (seconds): a day.
constexpr double kMaxTimeoutSeconds = 86400;

/// Adds "--timeout SECONDS" to `app`, stored in `seconds` (its value now is the default).
void AddTimeoutOption(CLI::App &app, double &seconds);

/// The one check of every command's --timeout: the seconds rounded up to whole milliseconds.
/// @throw CCommandError (usage) unless `seconds` is finite, above 0 and at most a day.
std::chrono::milliseconds TimeoutMilliseconds(double seconds);

/// Adds "--format FORMAT": one of `choices` (the first is the default), refused otherwise by
/// the parser (exit 2).
void AddFormatOption(CLI::App &app, std::string &format, const std::vector<std::string> &choices);

/// Adds "--format TYPE" for the image type a WMS request asks for (default image/png).
void AddImageFormatOption(CLI::App &app, std::string &format);

/// Adds "--precision N", 0 to `kMaxPrecision` decimals; `precision` now is the default
/// (`kShortest`: the shortest text that reads back to the same number).
void AddPrecisionOption(CLI::App &app, int &precision);

/// Adds the system option `name` ("--crs", "--from" or "--to"), required, taking every form
/// `CreateSystem` reads.
void AddSystemOption(CLI::App &app, const std::string &name, std::string &definition);

/// Adds "--crs" for the system a WMS request names as the server knows it ("EPSG:4326",
/// "CRS:84"), sent as given.
CLI::Option *AddServerCrsOption(CLI::App &app, std::string &crs);

/// Adds "--bbox WEST,SOUTH,EAST,NORTH", read by `ReadCornerBox`.
CLI::Option *AddBoxOption(CLI::App &app, std::string &box);

/// Reads a box "WEST,SOUTH,EAST,NORTH" given to `option` (x is longitude or easting, y
/// latitude or northing). @throw CCommandError (usage) unless it is four numbers with
/// west < east and south < north; `hint` ends the message.
std::vector<double> ReadCornerBox(const std::string &option, const std::string &text,
                                  const std::string &hint = "");

/// One counted reference on a coordinate system; copies share it, the last one releases it.
using CSystemRef = Geo::CSystemRef;

/// Largest definition file an "@path" argument may name (bytes).
constexpr std::size_t kMaxDefinitionFile = 1024 * 1024;

/// The system a command-line argument names: "EPSG:4326", any "authority:code", a PROJ string
/// (made a CRS when it does not say so), WKT, or "@path" for a definition held in a regular file
/// of at most `kMaxDefinitionFile` bytes. @return an empty reference with `error` set when the
/// file is not such a file, cannot be read, or PROJ rejects the definition.
CSystemRef CreateSystem(const std::string &argument, std::string &error);

/// The system the option `name` (as `AddSystemOption` adds it) names in `argument`.
/// @throw CCommandError (failure) with the option's name and `CreateSystem`'s reason.
CSystemRef OpenSystem(const std::string &name, const std::string &argument);

/// How many coordinates a point of `system` has: 3 for a geocentric system or one with a
/// height axis (also inside a compound or bound system), else 2.
int CountAxes(const Geo::CCoordinateSystem &system);

/// The kind of a system in words: "geographic", "geocentric", "geodetic" or "projected/other".
std::string DescribeKind(const Geo::CCoordinateSystem &system);

} // namespace VexoGeoCli

#endif
