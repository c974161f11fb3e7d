// The catalogue search as people type it: codes, aliases, accents, typos and the ranking.
#include <vexogeo/crs/crs_search.h>
#include <vexogeo/crs/proj_messages.h>

#include <gtest/gtest.h>

#include <string>

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
    const struct {
        const char *text;
        bool at;
        double lon, lat;
        const char *id;
        std::size_t within; // `id` is among the first `within` hits
    } kCases[] = {
        {"web mercator", false, 0, 0, "EPSG:3857", 1}, // an alias of EPSG:3857
        {"Web Mercator", false, 0, 0, "EPSG:3857", 1},
        {"wgs84", false, 0, 0, "EPSG:4326", 1}, // the name with its blank left out
        {"4326", false, 0, 0, "EPSG:4326", 1},  // a code without its authority
        {"EPSG:3857", false, 0, 0, "EPSG:3857", 1},
        {" epsg:4326 ", false, 0, 0, "EPSG:4326", 1},
        {"gauss krüger", true, 9, 50, "EPSG:31467", 3}, // DHDN / 3-degree Gauss-Kruger zone 3
        {"GAUSS-KRÜGER zone 3", true, 9, 50, "EPSG:31467", 3},
        {"mercartor", false, 0, 0, "EPSG:3857", 3},      // one typo in a long word
        {"psuedo mercatr", false, 0, 0, "EPSG:3857", 1}, // a swap, and a letter left out
        {"utm zone 33n", false, 0, 0, "EPSG:32633", 3},  // a whole zone before national variants
        {"utm zone 33n", true, 13.4, 52.5, "EPSG:25833", 5},
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.text);
        Geo::CrsSearchQuery query;
        query.m_text = c.text;
        query.m_hasArea = c.at;
        query.m_west = query.m_east = c.lon;
        query.m_south = query.m_north = c.lat;
        const auto hits = Geo::CCrsSearch::Find(query);
        EXPECT_LT(PlaceOf(hits, c.id), c.within) << hits.size() << " hits";
    }
}

TEST(CrsSearch, FindsNothingForGibberishBrokenTextOrAHugeQuery) {
    const std::string kTexts[] = {"qzxjvw kplmtr",
                                  "\xff\xfe\xc3",
                                  "utm \xc3",
                                  "epsg:99999999",
                                  std::string(1 << 20, 'a'),
                                  std::string(1 << 20, '\xc3')};
    Geo::CProjMessages::Clear();
    for (const std::string &text : kTexts) {
        Geo::CrsSearchQuery query;
        query.m_text = text;
        EXPECT_TRUE(Geo::CCrsSearch::Find(query).empty()) << text.substr(0, 20);
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
    const struct {
        const char *text, *folded;
    } kFolds[] = {
        {"Gauß-Krüger", "gauss-kruger"},
        {"ÀÉÎÕÜÝÿ", "aeiouyy"},
        {"ÆæŒœÞ", "aeaeoeoeth"},
        {"ŁódźŘĳ", "lodzrij"},
        {"×÷€", "×÷€"}, // signs and other letters kept
        {"a\xc3", "a\xc3"},
        {"\xc3\xc3\xa9", "\xc3"
                         "e"}, // broken sequences
    };
    for (const auto &f : kFolds)
        EXPECT_EQ(Geo::FoldForMatching(f.text), f.folded) << f.text;
}
