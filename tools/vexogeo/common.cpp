// Diagnostics, numbers as text and coordinate systems from command-line arguments.
#include "common.h"

#include "text/code_page.h"

#include <vexogeo/vexogeo.h>

#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace VexoGeoCli {
namespace {

bool ReadWholeFile(const std::string &path, std::string &text) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad())
        return false;
    text = content.str();
    return true;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

} // namespace

void PrintError(const std::string &context, const std::string &message) {
    std::string line = "vexogeo: " + context + ": " + ToTerminalText(message);
    for (char &c : line) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    line += '\n';
    std::fflush(stdout);
    std::fputs(line.c_str(), stderr);
}

std::string ToTerminalText(const std::string &text) {
    constexpr unsigned kWindows1252 = 1252;
    if (Geo::IsValidUtf8(text))
        return text;
    std::vector<wchar_t> wide;
    std::vector<char> utf8;
    if (!Geo::ConvertToWide(kWindows1252, text.c_str(), wide) ||
        !Geo::ConvertToMultiByte(Geo::CP_UTF8, wide.data(), utf8))
        return text;
    return std::string(utf8.data());
}

char *FormatNumber(char *out, double value, int precision) {
    char *const last = out + kMaxNumberText;
    const std::to_chars_result result =
        precision < 0 ? std::to_chars(out, last, value)
                      : std::to_chars(out, last, value, std::chars_format::fixed, precision);
    return result.ptr;
}

std::string FormatNumber(double value, int precision) {
    char text[kMaxNumberText];
    return std::string(text, FormatNumber(text, value, precision));
}

const char *ParseNumber(const char *first, const char *last, double &value) {
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
        if (!ParseNumber(text.substr(start, comma == std::string_view::npos ? std::string_view::npos
                                                                            : comma - start),
                         value))
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
        if (!ReadWholeFile(path, definition)) {
            error = "cannot read the definition file '" + path + "'";
            return CSystemRef();
        }
        while (!definition.empty() &&
               (definition.back() == '\n' || definition.back() == '\r' || definition.back() == ' '))
            definition.pop_back();
    }
    // A PROJ string names an operation unless it says it is a coordinate system.
    if (StartsWith(definition, "+") && definition.find("+type=crs") == std::string::npos)
        definition += " +type=crs";
    CSystemRef system(Geo::CCoordinateSystem::FromProj4Parameters(definition.c_str()));
    if (!system)
        error = "unknown coordinate system '" + argument + "'";
    return system;
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

} // namespace VexoGeoCli
