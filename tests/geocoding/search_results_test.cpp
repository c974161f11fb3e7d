// Reading search answers: every kind of unusable content, and what is taken from the rest.
#include "geocoding/nominatim_request.h"

#include <gtest/gtest.h>

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

TEST(SearchResults, BodiesAndElements) {
    const std::string box = R"("boundingbox":["1","2","3","4"])";
    const struct {
        std::string body;
        std::vector<Record> expected;
    } kCases[] = {
        // Not a readable array.
        {"{}", {}},
        {"[", {}},
        {"42", {}},
        {"[] x", {}},
        {"[1,]", {}},
        {"[NaN]", {}},
        {"/**/[]", {}},
        {std::string("[\0]", 3), {}},
        // Elements without both members of the right kinds.
        {R"([1, "x", null, [], {}])", {}},
        {R"([{"display_name":"A","boundingbox":["1","2","3"]}])", {}},
        {R"([{"display_name":"A","boundingbox":["1","2","3","4","5"]}])", {}},
        {R"([{"display_name":"A","boundingbox":"1,2,3,4"}])", {}},
        {R"([{"display_name":null,)" + box + "}]", {}},
        {R"([{"Display_Name":"A",)" + box + "}]", {}},
        // Non-string box values: numbers are taken, anything else leaves the place out.
        {R"([{"display_name":"N","boundingbox":[1.5,"2",-3,4e2]}])", {{1.5, 2, -3, 400, "N"}}},
        {R"([{"display_name":"N","boundingbox":["1",null,"3","4"]}])", {}},
        {R"([{"display_name":"N","boundingbox":["1","2",["3"],"4"]}])", {}},
        // Only the element with both members counts; the array's order is kept.
        {"[{" + box + R"(},{"display_name":"B",)" + box + R"(},{"display_name":"C",)" + box + "}]",
         {{1, 2, 3, 4, "B"}, {1, 2, 3, 4, "C"}}},
        // Numbers as atof reads them.
        {R"([{"display_name":"N","boundingbox":["x","1","2.5e1"," 7"]}])", {{0, 1, 25, 7, "N"}}},
        {R"([{"display_name":"N","boundingbox":["-0.5abc","1,5","  +3",""]}])",
         {{-0.5, 1, 3, 0, "N"}}},
        // Names: empty, first of two, up to an escaped NUL, bad UTF-8 substituted.
        {R"([{"display_name":"",)" + box + "}]", {{1, 2, 3, 4, ""}}},
        {R"([{"display_name":"1st","display_name":"2nd",)" + box + R"(,"boundingbox":[]}])",
         {{1, 2, 3, 4, "1st"}}},
        {R"([{"display_name":"A\u0000B",)" + box + "}]", {{1, 2, 3, 4, "A"}}},
        {"[{\"display_name\":\"K\xF6ln\"," + box + "}]", {{1, 2, 3, 4, "K\xEF\xBF\xBDln"}}},
        // The body ends at its first NUL.
        {R"([{"display_name":"A",)" + box + "}]" + std::string(1, '\0') + "x", {{1, 2, 3, 4, "A"}}},
    };
    for (const auto &c : kCases)
        EXPECT_EQ(Parse(c.body), c.expected) << c.body;
}

} // namespace
} // namespace Geo
