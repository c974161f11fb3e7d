// Diagnostics, numbers as text and coordinate systems from command-line arguments.
#include "common.h"

#include "platform/regular_file.h"
#include "text/ascii.h"
#include "text/code_page.h"
#include "text/server_text.h"

#include <vexogeo/vexogeo.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>

namespace VexoGeoCli {
namespace {

// The error number of a write to standard output that failed while a diagnostic flushed it.
int g_outputError = 0;

void AppendHex(std::string &out, unsigned char byte) {
    out += "\\x";
    Geo::AppendHexByte(out, byte);
}

// The length of the UTF-8 sequence at [`p`, `last`), 0 when none starts there.
std::size_t Utf8Length(const unsigned char *p, const unsigned char *last) {
    return Geo::Utf8SequenceLength(
        std::string_view(reinterpret_cast<const char *>(p), static_cast<std::size_t>(last - p)));
}

// Appends at most `limit` bytes of `text` with every byte a terminal could act on escaped. A
// quotation escapes every blank but the space, and the backslash, so that it reads back
// unambiguously; a message turns line breaks into blanks and keeps what it quoted as it is.
// @return whether `text` was cut.
bool AppendEscaped(std::string &out, std::string_view text, std::size_t limit, bool quotation) {
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    const auto *const last = p + text.size();
    const auto *const stop = p + std::min(limit, text.size());
    while (p < stop) {
        const unsigned char c = *p;
        const std::size_t length = Utf8Length(p, stop);
        if (length == 0) {
            // A sequence cut by the limit is left out whole; a broken one is shown byte by byte.
            if (stop != last && Utf8Length(p, last) != 0)
                break;
            AppendHex(out, c);
            ++p;
        } else if (length > 1) {
            // The C1 controls (U+0080 to U+009F) start terminal sequences as ESC does.
            if (c == 0xC2 && p[1] < 0xA0) {
                AppendHex(out, p[0]);
                AppendHex(out, p[1]);
            } else {
                out.append(reinterpret_cast<const char *>(p), length);
            }
            p += length;
        } else {
            if ((c == '\n' || c == '\r') && !quotation)
                out += ' ';
            else if ((c == '\\' || c == '\t') && !quotation)
                out += static_cast<char>(c);
            else if (c == '\\')
                out += "\\\\";
            else if (c == '\0')
                out += "\\0";
            else if (c == '\t')
                out += "\\t";
            else if (c == '\n')
                out += "\\n";
            else if (c == '\r')
                out += "\\r";
            else if (c < 0x20 || c == 0x7F)
                AppendHex(out, c);
            else
                out += static_cast<char>(c);
            ++p;
        }
    }
    return text.size() > limit;
}

// Reads a definition file: a regular file only (a FIFO, a device or a folder could block or
// never end), and never more than `kMaxDefinitionFile` bytes. The look at the path names the
// reason; the read itself asks the file it opened again, without waiting, so that a pipe put in
// its place meanwhile is refused too.
bool ReadDefinitionFile(const std::string &path, std::string &text, std::string &error) {
    const std::string quoted = QuoteText(path);
    std::error_code failure;
    const std::filesystem::file_status status = std::filesystem::status(path, failure);
    if (failure || !std::filesystem::exists(status)) {
        error = "cannot read the definition file " + quoted;
        return false;
    }
    if (!std::filesystem::is_regular_file(status)) {
        error = "the definition file " + quoted + " is not a regular file";
        return false;
    }
    const std::string tooLarge = "the definition file " + quoted + " is larger than " +
                                 std::to_string(kMaxDefinitionFile) + " bytes";
    const std::uintmax_t size = std::filesystem::file_size(path, failure);
    if (!failure && size > kMaxDefinitionFile) {
        error = tooLarge;
        return false;
    }
    std::string content;
    if (!Geo::Platform::ReadRegularFile(path, kMaxDefinitionFile, content)) {
        error = content.size() >= kMaxDefinitionFile ? tooLarge
                                                     : "cannot read the definition file " + quoted;
        return false;
    }
    text = std::move(content);
    return true;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

} // namespace

namespace {
thread_local std::vector<HeldDiagnostic> *t_pCapture = nullptr;
} // namespace

CDiagnosticCapture::CDiagnosticCapture(std::vector<HeldDiagnostic> *sink)
    : m_pPrevious(t_pCapture) {
    t_pCapture = sink;
}

CDiagnosticCapture::~CDiagnosticCapture() { t_pCapture = m_pPrevious; }

std::string FormatError(const std::string &context, const std::string &message) {
    std::string line = "vexogeo: ";
    AppendEscaped(line, context, kMaxMessage, false);
    line += ": ";
    const std::string text = ToTerminalText(message);
    if (AppendEscaped(line, text, kMaxMessage, false))
        line += "... (" + std::to_string(text.size()) + " bytes)";
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    line += '\n';
    return line;
}

unsigned ResolveThreads(unsigned threads) {
    if (threads == 0) {
        const unsigned cores = std::thread::hardware_concurrency();
        threads = cores > 0 ? cores : 1;
    }
    return std::min(threads, kMaxThreads);
}

void AddThreadsOption(CLI::App *sub, unsigned &threads) {
    threads = ResolveThreads(0);
    sub->add_option("--threads", threads,
                    "Threads reading, computing and formatting blocks of lines (default: the "
                    "cores available, " +
                        std::to_string(threads) + " here; 0: the same; at most " +
                        std::to_string(kMaxThreads) +
                        "); output and diagnostics are the same for every count")
        ->check(CLI::NonNegativeNumber);
}

void PrintError(const std::string &context, const std::string &message) {
    const std::string line = FormatError(context, message);
    if (t_pCapture != nullptr) {
        t_pCapture->push_back({-1, line});
        return;
    }
    // What the command wrote so far comes first; a failure to write it is reported at the end.
    if (std::fflush(stdout) != 0 && g_outputError == 0)
        g_outputError = errno;
    std::fputs(line.c_str(), stderr);
}

void PrintLibraryMessage(const char *message) {
    const std::string text = message != nullptr ? message : "";
    std::string line;
    if (AppendEscaped(line, text, kMaxMessage, false))
        line += "... (" + std::to_string(text.size()) + " bytes)";
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    line += '\n';
    if (t_pCapture != nullptr) {
        t_pCapture->push_back({-1, line});
        return;
    }
    std::fputs(line.c_str(), stderr);
}

std::string QuoteText(std::string_view text, std::size_t limit) {
    std::string quoted = "'";
    const bool cut = AppendEscaped(quoted, text, limit, true);
    quoted += cut ? "...' (" + std::to_string(text.size()) + " bytes)" : "'";
    return quoted;
}

int FinishOutput(const std::string &context, int code) {
    const bool flushed = std::fflush(stdout) == 0;
    if (!flushed && g_outputError == 0)
        g_outputError = errno;
    if (flushed && !std::ferror(stdout))
        return code;
    PrintError(context, "cannot write the output" +
                            (g_outputError != 0 ? ": " + std::string(std::strerror(g_outputError))
                                                : std::string()));
    return code == kExitSuccess ? kExitFailure : code;
}

std::string ToTerminalText(const std::string &text) {
    constexpr unsigned kWindows1252 = 1252;
    if (Geo::IsValidUtf8(text))
        return text;
    std::vector<wchar_t> wide;
    std::vector<char> utf8;
    if (!Geo::ConvertToWide(kWindows1252, text.c_str(), wide) ||
        !Geo::ConvertToMultiByte(Geo::kCodePageUtf8, wide.data(), utf8))
        return text;
    return std::string(utf8.data());
}

namespace {

#if defined(__SIZEOF_INT128__) && defined(__BYTE_ORDER__) &&                                       \
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr std::uint64_t kIntegerPowersOfTen[] = {1,
                                                 10,
                                                 100,
                                                 1000,
                                                 10000,
                                                 100000,
                                                 1000000,
                                                 10000000,
                                                 100000000,
                                                 1000000000,
                                                 10000000000,
                                                 100000000000,
                                                 1000000000000,
                                                 10000000000000,
                                                 100000000000000,
                                                 1000000000000000,
                                                 10000000000000000,
                                                 100000000000000000};

// A GNU extension: without the marker a pedantic build warns about it.
__extension__ typedef unsigned __int128 UInt128;

enum class Nearest { Inside, Outside, Tie };

// The decimal with `decimals` decimals nearest to m / 2^shift, as the integer `digits` (its
// value times 10^decimals), and whether it lies strictly inside the half-ulp interval around
// the value, so that reading it back gives the value. Exact halves, at either step, answer Tie:
// those are left to the general algorithm.
Nearest NearestDecimal(std::uint64_t m, int shift, int decimals, std::uint64_t &digits) {
    const UInt128 scaled = static_cast<UInt128>(m) * kIntegerPowersOfTen[decimals];
    const auto low = static_cast<std::uint64_t>(scaled);
    const auto high = static_cast<std::uint64_t>(scaled >> 64);
    const std::uint64_t unit = std::uint64_t{1} << shift;
    const std::uint64_t rest = low & (unit - 1);
    // Without branches: which way the value rounds is a coin toss a branch would mispredict.
    const std::uint64_t up = (unit / 2 - rest) >> 63; // 1 when rest > unit / 2
    digits = ((low >> shift) | (high << (64 - shift))) + up;
    // The distance to the value in units of 2^-shift / 10^decimals, twice: inside the interval
    // when below one unit of the decimal.
    const std::uint64_t twice = 2 * (rest + up * (unit - 2 * rest));
    if ((rest == unit / 2) | (twice == kIntegerPowersOfTen[decimals]))
        return Nearest::Tie;
    return twice < kIntegerPowersOfTen[decimals] ? Nearest::Inside : Nearest::Outside;
}

// The eight digits of `value` (below 10^8, leading zeros kept) as ASCII in one word, the first
// digit in the lowest byte: split in lanes of four, two and one digits at once.
inline std::uint64_t EightDigits(std::uint32_t value) {
    const std::uint64_t upper = value / 10000;
    const std::uint64_t fours = upper | (static_cast<std::uint64_t>(value - upper * 10000) << 32);
    const std::uint64_t hundreds = ((fours * 10486) >> 20) & 0x0000007F0000007FULL;
    const std::uint64_t twos = hundreds | ((fours - hundreds * 100) << 16);
    const std::uint64_t tens = ((twos * 103) >> 10) & 0x000F000F000F000FULL;
    return (tens | ((twos - tens * 10) << 8)) + 0x3030303030303030ULL;
}

void StoreWord(char *out, std::uint64_t word) { std::memcpy(out, &word, sizeof word); }

// The shortest round-trip text of a coordinate-like double, 1 <= |value| < 10^8 with a
// fraction, without the general algorithm: its fixed form (always the shorter one here, so the
// very text std::to_chars writes), found by trying fewer decimals while the nearest decimal
// still reads back as the value. Writes at most 26 bytes but may touch 34. @return null,
// having written nothing, for any other value, a power of two (a narrower interval below) or a
// tie.
char *FormatCoordinateShortest(char *out, double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const int exponent = static_cast<int>((bits >> 52) & 0x7ff) - 1023;
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    if (exponent < 0 || exponent > 26 || fraction == 0)
        return nullptr;
    const std::uint64_t m = fraction | (std::uint64_t{1} << 52);
    const int shift = 52 - exponent;
    const std::uint64_t whole = m >> shift;
    if (whole >= kIntegerPowersOfTen[8])
        return nullptr;
    // The digits of the whole part from its bit length: 1233 / 4096 is just above log10(2).
    const int bitLength = 64 - __builtin_clzll(whole);
    int wholeDigits = (bitLength * 1233) >> 12;
    wholeDigits += whole >= kIntegerPowersOfTen[wholeDigits] ? 1 : 0;
    // Seventeen significant digits always read back, sixteen mostly do: start there, and go
    // down while the nearest decimal still reads back as the value (one that does stays one
    // with a decimal more, so the first that does not ends the search).
    int decimals = 16 - wholeDigits;
    std::uint64_t digits = 0;
    Nearest nearest = NearestDecimal(m, shift, decimals, digits);
    if (nearest == Nearest::Outside) {
        ++decimals;
        nearest = NearestDecimal(m, shift, decimals, digits);
        if (nearest != Nearest::Inside)
            return nullptr;
    }
    while (nearest == Nearest::Inside) {
        std::uint64_t shorter = 0;
        nearest = NearestDecimal(m, shift, decimals - 1, shorter);
        if (nearest == Nearest::Inside) {
            // An integer is written in whichever form is shorter: the general algorithm decides.
            if (decimals == 1)
                return nullptr;
            digits = shorter;
            --decimals;
        }
    }
    if (nearest == Nearest::Tie)
        return nullptr;
    // A fraction rounded up into the whole part (9.99... to 10) leaves it to the general way.
    const std::uint64_t decimalPart = digits - whole * kIntegerPowersOfTen[decimals];
    if (digits < whole * kIntegerPowersOfTen[decimals] ||
        decimalPart >= kIntegerPowersOfTen[decimals])
        return nullptr;
    if (bits >> 63)
        *out++ = '-';
    // Words of eight digits with their leading zeros shifted out; each later word overwrites
    // what the earlier one wrote past its digits.
    StoreWord(out, EightDigits(static_cast<std::uint32_t>(whole)) >> (8 * (8 - wholeDigits)));
    out += wholeDigits;
    *out++ = '.';
    const std::uint64_t upper = decimalPart / 100000000;
    const std::uint64_t lower =
        EightDigits(static_cast<std::uint32_t>(decimalPart - upper * 100000000));
    if (decimals <= 8) {
        StoreWord(out, lower >> (8 * (8 - decimals)));
    } else {
        StoreWord(out, EightDigits(static_cast<std::uint32_t>(upper)) >> (8 * (16 - decimals)));
        StoreWord(out + decimals - 8, lower);
    }
    return out + decimals;
}
#else
char *FormatCoordinateShortest(char *, double) { return nullptr; }
#endif

} // namespace

char *FormatNumber(char *out, double value, int precision) {
    char *const last = out + kMaxNumberText;
    if (precision < 0) {
        // Coordinates and distances, nearly every number the streaming commands write, take
        // the short way; the text is the same.
        if (char *end = FormatCoordinateShortest(out, value))
            return end;
        return std::to_chars(out, last, value).ptr;
    }
    return std::to_chars(out, last, value, std::chars_format::fixed, precision).ptr;
}

std::string FormatNumber(double value, int precision) {
    char text[kMaxNumberText];
    return std::string(text, FormatNumber(text, value, precision));
}

namespace {

// Powers of ten a double holds exactly.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The common coordinate "-13.094781": at most 15 digits, no exponent. Its digits make an integer
// below 2^53 and its decimals an exact power of ten, so one division rounds it exactly as
// from_chars does, at a fraction of the cost. @return null for any other text.
const char *ParseShortDecimal(const char *first, const char *last, double &value) {
    const char *p = first;
    const bool negative = p != last && *p == '-';
    if (negative)
        ++p;
    std::uint64_t digits = 0;
    int count = 0, decimals = 0;
    const char *const start = p;
    while (p != last && *p >= '0' && *p <= '9') {
        digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
        ++count;
    }
    if (p == start)
        return nullptr;
    if (p != last && *p == '.') {
        ++p;
        while (p != last && *p >= '0' && *p <= '9') {
            digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
            ++count;
            ++decimals;
        }
    }
    if (count > 15 || (p != last && (*p == 'e' || *p == 'E')))
        return nullptr;
    const double magnitude = static_cast<double>(digits) / kExactPowersOfTen[decimals];
    value = negative ? -magnitude : magnitude;
    return p;
}

} // namespace

const char *ParseNumber(const char *first, const char *last, double &value) {
    if (const char *end = ParseShortDecimal(first, last, value))
        return end;
    // from_chars takes no leading plus; a plus followed by a sign would read as a number.
    if (first != last && *first == '+') {
        ++first;
        if (first == last || *first == '-' || *first == '+')
            return nullptr;
    }
    const std::from_chars_result result = std::from_chars(first, last, value);
    if (result.ec == std::errc::invalid_argument)
        return nullptr;
    // Out of range: from_chars leaves the value alone; the text still names a number beyond
    // what a double holds, which no coordinate is.
    if (result.ec == std::errc::result_out_of_range)
        return nullptr;
    return result.ptr;
}

bool ParseNumber(std::string_view text, double &value) {
    const char *first = text.data();
    const char *last = first + text.size();
    const char *end = ParseNumber(first, last, value);
    return end != nullptr && end == last;
}

bool ParseNumberList(std::string_view text, std::size_t count, std::vector<double> &values) {
    std::vector<double> read;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        double value = 0;
        std::string_view piece = text.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        // Blanks around a number, as people type lists ("13, 52, 14, 52.5").
        while (!piece.empty() && (piece.front() == ' ' || piece.front() == '\t'))
            piece.remove_prefix(1);
        while (!piece.empty() && (piece.back() == ' ' || piece.back() == '\t'))
            piece.remove_suffix(1);
        if (!ParseNumber(piece, value))
            return false;
        read.push_back(value);
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    if (read.size() != count)
        return false;
    values = std::move(read);
    return true;
}

CSystemRef CreateSystem(const std::string &argument, std::string &error) {
    std::string definition = argument;
    if (StartsWith(argument, "@")) {
        const std::string path = argument.substr(1);
        if (!ReadDefinitionFile(path, definition, error))
            return CSystemRef();
        while (!definition.empty() &&
               (definition.back() == '\n' || definition.back() == '\r' || definition.back() == ' '))
            definition.pop_back();
    }
    definition = Geo::AsCrsDefinition(std::move(definition));
    CSystemRef system(Geo::CCoordinateSystem::FromProj4Parameters(definition.c_str()));
    if (!system)
        error = "unknown coordinate system " + QuoteText(argument);
    return system;
}

int CountAxes(const Geo::CCoordinateSystem &system) {
    if (system.IsGeocent())
        return 3;
    std::vector<Geo::CrsAxis> axes;
    return system.GetAxes(axes) && axes.size() >= 3 ? 3 : 2;
}

std::string DescribeKind(const Geo::CCoordinateSystem &system) {
    if (system.IsGeographic())
        return "geographic";
    if (system.IsGeocent())
        return "geocentric";
    if (system.IsLatLong())
        return "geodetic";
    return "projected/other";
}

std::string JsonString(std::string_view text) {
    std::string out;
    Geo::AppendJsonString(out, text);
    return out;
}

std::string ServerLine(std::string_view text) { return Geo::ToSafeLine(text); }

void ThrowUsage(const std::string &message) { throw CCommandError(kExitUsage, message); }

void ThrowFailure(const std::string &message) { throw CCommandError(kExitFailure, message); }

void PrepareParser(CLI::App &app) {
    // CLI11 reads "/x" as the option x on Windows; a path such as "/data/points.txt" must
    // reach the command as it does elsewhere.
    app.allow_windows_style_options(false);
}

void AddTimeoutOption(CLI::App &app, double &seconds) {
    app.add_option("--timeout", seconds,
                   "Seconds before the request is given up (default " + FormatNumber(seconds) +
                       "; above 0, at most 86400)");
}

std::chrono::milliseconds TimeoutMilliseconds(double seconds) {
    // NaN fails every comparison, so the test is written to pass only the good range.
    if (!(seconds > 0 && seconds <= kMaxTimeoutSeconds))
        ThrowUsage("--timeout: expected seconds above 0 and up to 86400, not " +
                   FormatNumber(seconds));
    return std::chrono::milliseconds(static_cast<long long>(std::ceil(seconds * 1000)));
}

void AddFormatOption(CLI::App &app, std::string &format, const std::vector<std::string> &choices) {
    std::string help = "Output format: ";
    for (std::size_t i = 0; i < choices.size(); ++i)
        help += (i == 0                    ? ""
                 : i + 1 == choices.size() ? " or "
                                           : ", ") +
                choices[i] + (i == 0 ? " (default)" : "");
    format = choices.front();
    app.add_option("--format", format, help)->check(CLI::IsMember(choices));
}

void AddImageFormatOption(CLI::App &app, std::string &format) {
    format = "image/png";
    app.add_option("--format", format, "Image format, a MIME type (default image/png)");
}

void AddPrecisionOption(CLI::App &app, int &precision) {
    app.add_option("--precision", precision,
                   "Decimals of every number written, 0 to " + std::to_string(kMaxPrecision) +
                       " (default: " +
                       (precision == kShortest
                            ? std::string("the shortest text that reads back to the same number")
                            : std::to_string(precision)) +
                       ")")
        ->check(CLI::Range(0, kMaxPrecision));
}

void AddSystemOption(CLI::App &app, const std::string &name, std::string &definition) {
    const std::string role = name == "--from" ? "Source system"
                             : name == "--to" ? "Target system"
                                              : "System of the coordinates";
    app.add_option(name, definition,
                   role + ": EPSG:n, ESRI:n, authority:code, a PROJ string, WKT or @file (a "
                          "regular file of at most 1 MiB)")
        ->required();
}

CLI::Option *AddServerCrsOption(CLI::App &app, std::string &crs) {
    return app.add_option("--crs", crs,
                          "Coordinate system as the server names it, e.g. EPSG:4326 or CRS:84");
}

CLI::Option *AddBoxOption(CLI::App &app, std::string &box) {
    return app.add_option("--bbox", box,
                          "WEST,SOUTH,EAST,NORTH, easting/longitude first whatever the system");
}

std::vector<double> ReadCornerBox(const std::string &option, const std::string &text,
                                  const std::string &hint) {
    std::vector<double> box;
    if (!ParseNumberList(text, 4, box) || !(box[0] < box[2]) || !(box[1] < box[3]))
        ThrowUsage(option +
                   ": expected 'WEST,SOUTH,EAST,NORTH' with west < east and south < "
                   "north, not " +
                   QuoteText(text) + hint);
    return box;
}

CSystemRef OpenSystem(const std::string &name, const std::string &argument) {
    std::string error;
    CSystemRef system = CreateSystem(argument, error);
    if (!system)
        ThrowFailure(name + ": " + error);
    return system;
}

std::string JsonNumber(double value) {
    return std::isfinite(value) ? FormatNumber(value) : std::string("null");
}

} // namespace VexoGeoCli
