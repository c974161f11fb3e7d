// Reading search answers: every kind of unusable content, and what is taken from the rest.
#include "geocoding/nominatim_request.h"
#include "support/test_data.h"

#include <gtest/gtest.h>

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
// reads as are in tests/data/search_results.tsv.
TEST(SearchResults, BodiesAndElements) {
    const auto rows = VexoGeoTest::TestTable("search_results.tsv", 2);
    EXPECT_EQ(rows.size(), 25u); // every answer in search_results/
    for (const auto &c : rows) {
        std::vector<Record> expected;
        std::istringstream places(c[1]);
        for (std::string place; std::getline(places, place, '|');) {
            std::istringstream fields(place);
            Record r;
            fields >> std::get<0>(r) >> std::get<1>(r) >> std::get<2>(r) >> std::get<3>(r);
            std::getline(fields >> std::ws, std::get<4>(r));
            std::get<4>(r).erase(std::get<4>(r).find_last_not_of(' ') + 1); // before the next '|'
            expected.push_back(r);
        }
        EXPECT_EQ(Parse(VexoGeoTest::TestData("search_results/" + c[0])), expected) << c.m_trace;
    }
}

} // namespace
} // namespace Geo
