// Whole files for tests: the bytes of any file, the test documents kept in tests/data, and the
// tables of cases there (one case a line, tab-separated, each with a comment on why it is there).
#ifndef VEXOGEO_TESTS_SUPPORT_TEST_DATA_H
#define VEXOGEO_TESTS_SUPPORT_TEST_DATA_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
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

/// One case of a table: its fields, and "file:line: why" for the failure message (SCOPED_TRACE).
struct TableRow {
    std::vector<std::string> m_fields;
    std::string m_trace;
    const std::string &operator[](std::size_t i) const { return m_fields.at(i); }
    /// The field read as a number in the "C" locale ("inf", "nan" and "1e300" too); 0 when empty.
    double Number(std::size_t i) const { return std::strtod(m_fields.at(i).c_str(), nullptr); }
};

/// Undoes the escapes of a table field: \t \n \r \\ \0, \xHH (exactly two hex digits), and
/// \{N|text\} for `text` (escaped, holding no "\}") written N times.
inline std::string Unescape(const std::string &field) {
    static const std::string kFrom = "tnr0", kTo("\t\n\r\0", 4);
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            out += field[i];
        } else if (field[++i] == 'x' && i + 2 < field.size()) {
            out += static_cast<char>(std::stoi(field.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else if (const auto close = field.find("\\}", i);
                   field[i] == '{' && close != std::string::npos) {
            const std::size_t bar = field.find('|', i);
            const std::string text = Unescape(field.substr(bar + 1, close - bar - 1));
            for (auto count = std::stoul(field.substr(i + 1, bar - i - 1)); count > 0; --count)
                out += text;
            i = close + 1;
        } else {
            const auto k = kFrom.find(field[i]);
            out += k == std::string::npos ? field[i] : kTo[k];
        }
    }
    return out;
}

/// @return the cases of the table `name` in tests/data: one a line, `columns` fields separated
/// by tabs and unescaped; the '#' lines above a case say why it is there, blank lines
/// end a comment. A missing or empty table, or a case of another width, fails the calling test.
inline std::vector<TableRow> TestTable(const std::string &name, std::size_t columns) {
    std::istringstream lines(TestData(name));
    std::vector<TableRow> rows;
    std::string why;
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        if (line.empty() || line[0] == '#') { // a blank line ends a comment
            const auto text = line.find_first_not_of("# ");
            why = line.empty()
                      ? ""
                      : why + (why.empty() ? "" : " ") + line.substr(std::min(text, line.size()));
            continue;
        }
        TableRow row;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');)
            row.m_fields.push_back(Unescape(field));
        if (line.back() == '\t')
            row.m_fields.emplace_back();
        row.m_trace = name + ":" + std::to_string(number) + ": " + why;
        EXPECT_EQ(row.m_fields.size(), columns) << row.m_trace;
        row.m_fields.resize(columns);
        rows.push_back(std::move(row));
        why.clear();
    }
    EXPECT_FALSE(rows.empty()) << "no cases in tests/data/" << name;
    return rows;
}

} // namespace VexoGeoTest

#endif
