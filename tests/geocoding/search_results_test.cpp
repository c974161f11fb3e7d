// Reading search answers: every kind of unusable content, and what is taken from the rest.
#include "geocoding/nominatim_request.h"
#include "support/test_data.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <tuple>

namespace Geo {
namespace {

using Record = std::tuple<double, double, double, double, std::string>;

std::vector<Record> Parse(const std::string &body) {
    std::vector<Record> records;
    for (const auto &r : ParseSearchResults(body)) {
        const auto &b = r.m_boundingBox;
        records.emplace_back(b[0], b[1], b[2], b[3], r.m_displayName);
    }
    return records;
}

// Every unusable body and element, and what is taken from the rest: the answers and what each
// reads as are in tests/data/search_results.txt.
TEST(SearchResults, BodiesAndElements) {
    const std::string data = std::string(VEXOGEO_TEST_SOURCE_DIR) + "/tests/data/";
    std::ifstream table(data + "search_results.txt");
    int cases = 0;
    for (std::string line; std::getline(table, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        const std::string file = line.substr(0, line.find(':'));
        std::vector<Record> expected;
        std::istringstream places(line.substr(file.size() + 1));
        for (std::string place; std::getline(places, place, '|');) {
            std::istringstream fields(place);
            Record r;
            fields >> std::get<0>(r) >> std::get<1>(r) >> std::get<2>(r) >> std::get<3>(r);
            std::getline(fields >> std::ws, std::get<4>(r));
            std::get<4>(r).erase(std::get<4>(r).find_last_not_of(' ') + 1); // before the next '|'
            expected.push_back(r);
        }
        EXPECT_EQ(Parse(VexoGeoTest::TestData("search_results/" + file)), expected) << file;
        ++cases;
    }
    EXPECT_EQ(cases, 25);
}

} // namespace
} // namespace Geo
