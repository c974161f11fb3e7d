// Whole files for tests: the bytes of any file, and the test documents kept in tests/data.
#ifndef VEXOGEO_TESTS_SUPPORT_TEST_DATA_H
#define VEXOGEO_TESTS_SUPPORT_TEST_DATA_H

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace VexoGeoTest {

/// @return the bytes of the file at `path`; empty when it cannot be read.
inline std::string ReadBytes(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

/// @return the bytes of the test document `name` in tests/data (fuzz/shared_seeds.txt names
/// the folders there that seed a fuzzer as well); empty when it is missing.
inline std::string TestData(const std::string &name) {
    return ReadBytes(std::string(VEXOGEO_TEST_SOURCE_DIR) + "/tests/data/" + name);
}

/// One row of a table file: its fields, and where it is with the reason it exists.
struct TableRow {
    std::vector<std::string> fields;
    std::string where; ///< "file:line: why", for SCOPED_TRACE
};

/// `text` with \\ \t \n \r \0 \xHH read as bytes and {N*text} as that text N times, where
/// "{#}" in the text stands for the repetition's number from 0.
inline std::string ExpandField(const std::string &text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t star = text.find_first_not_of("0123456789", i + 1);
        if (text[i] == '{' && star > i + 1 && star < text.size() && text[star] == '*') {
            std::size_t end = star; // the first '}' that closes no "{#}"
            do
                end = text.find('}', end + 1);
            while (end != std::string::npos && text.compare(end - 2, 3, "{#}") == 0);
            const std::string unit = ExpandField(text.substr(star + 1, end - star - 1));
            const std::size_t mark = unit.find("{#}");
            for (long n = 0, count = std::strtol(&text[i + 1], nullptr, 10); n < count; ++n)
                out += mark == std::string::npos
                           ? unit
                           : unit.substr(0, mark) + std::to_string(n) + unit.substr(mark + 3);
            i = end;
        } else if (text[i] == '\\' && i + 1 < text.size()) {
            const char c = text[++i];
            if (c == 'x')
                out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)), i += 2;
            else
                out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c == '0' ? '\0' : c;
        } else {
            out += text[i];
        }
    }
    return out;
}

/// Reads the table `name` in tests/data: "# why" lines give the reason for the rows after them,
/// each other non-empty line is a row of `columns` tab-separated fields (see ExpandField).
/// Throws for a missing or empty table and for a row of another width: no table passes unread.
inline std::vector<TableRow> ReadTable(const std::string &name, std::size_t columns) {
    std::ifstream file(std::string(VEXOGEO_TEST_SOURCE_DIR) + "/tests/data/" + name,
                       std::ios::binary);
    std::vector<TableRow> rows;
    std::string why;
    bool joining = false; // consecutive comment lines make one reason
    int number = 0;
    for (std::string line; std::getline(file, line);) {
        const std::string where = name + ":" + std::to_string(++number);
        if (!line.empty() && line[0] == '#') {
            const std::string text = line.substr(std::min(line.size(), std::size_t(2)));
            why = joining ? why + " " + text : text;
            joining = true;
            continue;
        }
        joining = false;
        if (line.empty())
            continue;
        TableRow row{{}, where + ": " + why};
        for (std::size_t start = 0, tab = 0; tab != std::string::npos; start = tab + 1)
            row.fields.push_back(
                ExpandField(line.substr(start, (tab = line.find('\t', start)) - start)));
        if (row.fields.size() != columns)
            throw std::runtime_error(where + ": " + std::to_string(row.fields.size()) +
                                     " fields, not " + std::to_string(columns));
        rows.push_back(std::move(row));
    }
    if (rows.empty())
        throw std::runtime_error("no rows in tests/data/" + name);
    return rows;
}

/// `field`, or for a field "file:NAME" the bytes of the test document NAME.
inline std::string DocumentField(const std::string &field) {
    return field.rfind("file:", 0) == 0 ? TestData(field.substr(5)) : field;
}

} // namespace VexoGeoTest

#endif
