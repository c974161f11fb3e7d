// Diagnostics, numbers as text and coordinate systems from command-line arguments.
#include "common.h"

#include <vexogeo/vexogeo.h>

#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace VexoGeoCli {
namespace {

// The characters Windows-1252 puts at 0x80-0x9F, as Unicode code points (0: unassigned).
constexpr char32_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool IsValidUtf8(const std::string &text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        if (c < 0x80)
            extra = 0;
        else if (c >= 0xC2 && c <= 0xDF)
            extra = 1;
        else if (c >= 0xE0 && c <= 0xEF)
            extra = 2;
        else if (c >= 0xF0 && c <= 0xF4)
            extra = 3;
        else
            return false;
        if (i + extra >= text.size() && extra != 0)
            return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += extra + 1;
    }
    return true;
}

void AppendUtf8(std::string &out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

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
    if (IsValidUtf8(text))
        return text;
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        char32_t code = byte;
        if (byte >= 0x80 && byte < 0xA0)
            code = kWindows1252High[byte - 0x80] != 0 ? kWindows1252High[byte - 0x80] : U'?';
        AppendUtf8(out, code);
    }
    return out;
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

CSystemRef::CSystemRef(Geo::CCoordinateSystem *system) : m_pSystem(system) {
    if (m_pSystem != nullptr)
        m_pSystem->AddRef();
}

CSystemRef::CSystemRef(const CSystemRef &other) : CSystemRef(other.m_pSystem) {}

CSystemRef &CSystemRef::operator=(const CSystemRef &other) {
    if (other.m_pSystem != nullptr)
        other.m_pSystem->AddRef();
    if (m_pSystem != nullptr)
        m_pSystem->Release();
    m_pSystem = other.m_pSystem;
    return *this;
}

CSystemRef::~CSystemRef() {
    if (m_pSystem != nullptr)
        m_pSystem->Release();
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
