// The catalogue search as people type it: codes, aliases, accents, typos and the ranking.
#include <vexogeo/crs/crs_search.h>
#include <vexogeo/crs/proj_messages.h>

#include <gtest/gtest.h>

#include <string>

#include "support/test_data.h"
#include "text/folding.h"

namespace {

// Where `id` stands among the hits (0 is first); the hit count when it is missing.
std::size_t PlaceOf(const std::vector<Geo::CrsSearchHit> &hits, const std::string &id) {
    std::size_t place = 0;
    while (place < hits.size() && hits[place].m_authority + ":" + hits[place].m_code != id)
        ++place;
    return place;
}

} // namespace

TEST(CrsSearch, FindsWhatPeopleTypeAmongTheFirstPlaces) {
    for (const auto &c : VexoGeoTest::TestTable("crs/typed_searches.tsv", 5)) {
        SCOPED_TRACE(c.m_trace);
        Geo::CrsSearchQuery query;
        query.m_text = c[0];
        query.m_hasArea = !c[1].empty();
        query.m_west = query.m_east = c.Number(1);
        query.m_south = query.m_north = c.Number(2);
        const auto hits = Geo::CCrsSearch::Find(query);
        EXPECT_LT(PlaceOf(hits, c[3]), c.Number(4)) << hits.size() << " hits";
    }
}

TEST(CrsSearch, FindsNothingForGibberishBrokenTextOrAHugeQuery) {
    Geo::CProjMessages::Clear();
    for (const auto &c : VexoGeoTest::TestTable("crs/gibberish_searches.tsv", 1)) {
        Geo::CrsSearchQuery query;
        query.m_text = c[0];
        EXPECT_TRUE(Geo::CCrsSearch::Find(query).empty()) << c.m_trace;
    }
    // Finding nothing is no failure of PROJ's: nothing is left for a host to show later.
    EXPECT_TRUE(Geo::CProjMessages::Take().empty());
    // Typos are forgiven only when nothing matches as typed: "colombia" finds no "Columbia".
    Geo::CrsSearchQuery query;
    query.m_text = "colombia";
    const auto hits = Geo::CCrsSearch::Find(query);
    EXPECT_FALSE(hits.empty());
    for (const auto &hit : hits)
        EXPECT_NE(Geo::FoldForMatching(hit.m_name).find("colombia"), std::string::npos)
            << hit.m_name;
}

TEST(TextFolding, LatinLettersFoldToTheirBaseLetters) {
    for (const auto &c : VexoGeoTest::TestTable("crs/folding.tsv", 2))
        EXPECT_EQ(Geo::FoldForMatching(c[0]), c[1]) << c.m_trace;
}
