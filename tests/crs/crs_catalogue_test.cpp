// Extents, areas of use, system search and the chosen operation, checked against pyproj and
// cs2cs (both on the same PROJ database), and the densified extent checked point by point.
#include <vexogeo/vexogeo.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "crs/system_ref.h"
#include "support/subprocess.h"
#include "support/test_data.h"

using Geo::CConverter;
using Geo::CCoordinateSystem;
using SystemRef = Geo::CSystemRef;
using VexoGeoTest::TestTable;

namespace {

template <class... T> std::string Cat(const T &...parts) {
    std::ostringstream out;
    out.precision(17);
    (out << ... << parts);
    return out.str();
}

// Debian's python3 with python3-pyproj; a missing pyproj fails the calling test.
std::istringstream Pyproj(const std::string &script) {
    const auto result = VexoGeoTest::RunCommand("/usr/bin/python3 -", script);
    EXPECT_EQ(result.exitCode, 0) << "pyproj (package python3-pyproj), the independent oracle, "
                                     "failed on:\n"
                                  << script;
    return std::istringstream(result.out);
}

std::string Aoi(double w, double s, double e, double n) {
    return Cat(", area_of_interest=AreaOfInterest(", w, ", ", s, ", ", e, ", ", n, ")");
}

// Both factory handles go to the converter alone.
CConverter Between(const std::string &from, const std::string &to) {
    return CConverter(CCoordinateSystem::FromProj4Parameters(from.c_str()),
                      CCoordinateSystem::FromProj4Parameters(to.c_str()));
}

} // namespace

// The extent of the boxes of tests/data/crs/transform_bounds.tsv is the one pyproj's
// transform_bounds gives: it holds every densified point.
TEST(CrsCatalogue, TransformBoundsAgreesWithPyproj) {
    struct Case {
        std::string from, to, trace;
        std::array<double, 4> box; // west, south, east, north
        bool random;
    };
    std::vector<Case> cases;
    std::mt19937_64 random(14);
    for (const auto &row : TestTable("crs/transform_bounds.tsv", 7)) {
        const bool drawn = row[0] == "random";
        for (int round = 0; round < (drawn ? 25 : 1); ++round) {
            cases.push_back({row[1], row[2], row.m_trace, {}, drawn});
            cases.back().box = {row.Number(3), row.Number(4), row.Number(5), row.Number(6)};
            if (!drawn)
                continue;
            std::uniform_real_distribution<double> ux(row.Number(3), row.Number(4)),
                uy(row.Number(5), row.Number(6));
            const double x0 = ux(random), x1 = ux(random), y0 = uy(random), y1 = uy(random);
            cases.back().box = {std::min(x0, x1), std::min(y0, y1), std::max(x0, x1),
                                std::max(y0, y1)};
        }
    }
    std::string script = "from functools import cache\nfrom pyproj import Transformer\n"
                         "t = cache(lambda a, b: Transformer.from_crs(a, b, always_xy=True))\n";
    for (const auto &c : cases)
        script += Cat("print(*t('", c.from, "', '", c.to, "').transform_bounds(", c.box[0], ", ",
                      c.box[1], ", ", c.box[2], ", ", c.box[3], ", densify_pts=21))\n");
    auto expected = Pyproj(script);
    CConverter converter;
    std::string from, to;
    for (const auto &c : cases) {
        if (c.from != from || c.to != to)
            converter = Between(from = c.from, to = c.to);
        SCOPED_TRACE(Cat(c.trace, " ", c.box[0], " ", c.box[1], " ", c.box[2], " ", c.box[3]));
        double e[4] = {}, b[4] = {c.box[0], c.box[1], c.box[2], c.box[3]};
        ASSERT_TRUE(expected >> e[0] >> e[1] >> e[2] >> e[3]);
        ASSERT_TRUE(c.random ? converter.TransformBounds(b[0], b[1], b[2], b[3], 21)
                             : converter.TransformBounds(b[0], b[1], b[2], b[3]));
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(b[i], e[i], 1e-9 * std::max(1.0, std::fabs(e[i]))) << "bound " << i;
    }
}

// Name, kind, axes and area of use as pyproj reads them from the same database.
TEST(CrsCatalogue, SystemPropertiesAgreeWithPyproj) {
    const auto kSystems = TestTable("crs/system_properties.tsv", 2);
    std::string script = "from pyproj import CRS\n";
    for (const auto &s : kSystems)
        script += Cat("c = CRS('", s[0], "')\nu = c.area_of_use\nprint(c.name)\n",
                      "print(';'.join(a.abbrev + ',' + a.direction + ',' + a.unit_name for a in "
                      "c.axis_info))\nprint(repr(u.west), repr(u.south), repr(u.east), "
                      "repr(u.north), u.name) if u else print('none')\n");
    auto expected = Pyproj(script);
    for (const auto &s : kSystems) {
        SCOPED_TRACE(s.m_trace);
        std::string name, axes, line, ours, joined, areaName;
        ASSERT_TRUE(std::getline(expected, name) && std::getline(expected, axes) &&
                    std::getline(expected, line));
        SystemRef cs(CCoordinateSystem::FromProj4Parameters(s[0].c_str()));
        ASSERT_TRUE(cs);
        EXPECT_TRUE(cs->GetName(ours));
        EXPECT_EQ(ours, name);
        EXPECT_STREQ(Geo::GetCrsKindName(cs->GetKind()), s[1].c_str());
        std::vector<Geo::CrsAxis> list;
        EXPECT_TRUE(cs->GetAxes(list));
        for (const auto &a : list)
            joined +=
                Cat(joined.empty() ? "" : ";", a.m_abbreviation, ',', a.m_direction, ',', a.m_unit);
        EXPECT_EQ(joined, axes);
        Geo::AreaOfUse area;
        ASSERT_EQ(cs->GetAreaOfUse(area), line != "none");
        if (line == "none")
            continue;
        std::istringstream fields(line);
        double w = 0, so = 0, e = 0, n = 0;
        std::getline(fields >> w >> so >> e >> n >> std::ws, areaName);
        EXPECT_EQ((std::vector<double>{area.m_west, area.m_south, area.m_east, area.m_north}),
                  (std::vector<double>{w, so, e, n}));
        EXPECT_EQ(area.m_name, areaName);
    }
}

// The database answers: the same systems as pyproj's query for the same kind, authority and
// place; our own filters for words and order.
TEST(CrsCatalogue, SearchAgreesWithPyprojQuery) {
    for (const auto &row : TestTable("crs/search_queries.tsv", 3)) {
        SCOPED_TRACE(row.m_trace);
        const bool atPoint = !row[1].empty();
        const double lon = row.Number(1), lat = row.Number(2);
        auto lines = Pyproj(
            Cat("from pyproj.database import query_crs_info\nfrom pyproj.enums import PJType\n"
                "from pyproj.aoi import AreaOfInterest\nwords = '",
                row[0],
                "'.lower().split()\nfor i in query_crs_info(auth_name='EPSG', "
                "pj_types=PJType.PROJECTED_CRS",
                atPoint ? Aoi(lon, lat, lon, lat) + ", contains=True" : "",
                "):\n    if all(x in i.name.lower() for x in words): print(i.code)\n"));
        std::set<std::string> expected, found;
        for (std::string code; lines >> code;)
            expected.insert(code);

        Geo::CrsSearchQuery query;
        query.m_text = row[0];
        query.m_authority = "EPSG";
        query.m_kinds = {Geo::CrsKind::Projected};
        query.m_hasArea = atPoint;
        query.m_west = query.m_east = lon;
        query.m_south = query.m_north = lat;
        double lastSize = 0;
        for (const auto &hit : Geo::CCrsSearch::Find(query)) {
            const auto &a = hit.m_area;
            // PROJ's own query never finds a point inside an area that crosses the
            // antimeridian; such areas are checked against their box instead.
            if (atPoint && a.m_east < a.m_west) {
                EXPECT_TRUE((lon >= a.m_west || lon <= a.m_east) && lat >= a.m_south &&
                            lat <= a.m_north)
                    << hit.m_code;
                expected.erase(hit.m_code);
            } else {
                found.insert(hit.m_code);
                EXPECT_TRUE(hit.m_authority == "EPSG" && hit.m_kind == Geo::CrsKind::Projected &&
                            !hit.m_deprecated)
                    << hit.m_code;
            }
            // Point searches list the smaller areas first.
            const double w = a.m_east - a.m_west;
            const double size = (w < 0 ? w + 360 : w) * (a.m_north - a.m_south);
            EXPECT_TRUE(!atPoint || size >= lastSize) << hit.m_code;
            lastSize = size;
        }
        EXPECT_EQ(found, expected);
        EXPECT_FALSE(expected.empty());
    }
}

TEST(CrsCatalogue, SearchOrderAndFilters) {
    for (const auto &row : TestTable("crs/search_order.tsv", 4)) {
        SCOPED_TRACE(row.m_trace);
        Geo::CrsSearchQuery query;
        query.m_text = row[0];
        query.m_authority = row[1];
        query.m_includeDeprecated = row[2] == "1";
        const auto hits = Geo::CCrsSearch::Find(query);
        ASSERT_EQ(hits.empty(), row[3].empty());
        EXPECT_TRUE(row[3].empty() || hits[0].m_name == row[3]) << hits[0].m_name;
    }
    // Deprecated systems only when asked: EPSG:32633's predecessors include deprecated ones.
    Geo::CrsSearchQuery query;
    query.m_text = "UTM zone";
    query.m_authority = "EPSG";
    const auto current = Geo::CCrsSearch::Find(query);
    query.m_includeDeprecated = true;
    EXPECT_GT(Geo::CCrsSearch::Find(query).size(), current.size());
    EXPECT_TRUE(std::none_of(current.begin(), current.end(),
                             [](const Geo::CrsSearchHit &h) { return h.m_deprecated; }));
    // An area that is not a longitude/latitude box finds nothing.
    query.m_hasArea = true;
    query.m_west = 200;
    EXPECT_TRUE(Geo::CCrsSearch::Find(query).empty());
}

// The operation chosen, with and without an area of interest, is the one pyproj ranks first for
// the same pair; after a point, the one ranked first for that point's area. cs2cs, given the same
// area (--bbox) and ballpark choice, puts the point in the same place and refuses what the
// converter refuses.
TEST(CrsCatalogue, ChosenOperationAgreesWithPyprojAndCs2cs) {
    VEXOGEO_REQUIRE_PROGRAM("cs2cs", "proj-bin");
    const auto kCases = TestTable("crs/chosen_operation.tsv", 11);
    std::string script = "import warnings\nwarnings.simplefilter('ignore')\n"
                         "from pyproj.transformer import TransformerGroup\n"
                         "from pyproj.aoi import AreaOfInterest\n";
    for (const auto &c : kCases) {
        const double a[] = {c.Number(2), c.Number(3), c.Number(4), c.Number(5)};
        for (const auto &aoi : {c[2].empty() ? std::string() : Aoi(a[0], a[1], a[2], a[3]),
                                Aoi(c.Number(6), c.Number(7), c.Number(6), c.Number(7))})
            if (c[9] == "1") // pyproj's ranking is compared too
                script += Cat("g = TransformerGroup('", c[0], "', '", c[1], "', always_xy=True",
                              aoi, ")\nprint(g.transformers[0].accuracy)\n",
                              "print(g.transformers[0].description)\n");
    }
    auto ranking = Pyproj(script);
    for (const auto &c : kCases) {
        const double a[] = {c.Number(2), c.Number(3), c.Number(4), c.Number(5)};
        const bool hasArea = !c[2].empty(), ballpark = c[8] == "1";
        const std::string options = Cat(
            "-f %.12f ", hasArea ? Cat("--bbox ", a[0], ',', a[1], ',', a[2], ',', a[3], ' ') : "",
            ballpark ? "" : "--no-ballpark ");
        SCOPED_TRACE(Cat(c.m_trace, " ", options));
        // Every source takes latitude first; every target gives its y (latitude, northing) first.
        double ex = 0, ey = 0, x = c.Number(6), y = c.Number(7);
        const auto oracle = VexoGeoTest::RunCommand(
            Cat("cs2cs ", options, "'", c[0], "' '", c[1], "' 2>/dev/null"), Cat(y, ' ', x, '\n'));
        auto converter = Between(c[0], c[1]);
        ASSERT_TRUE(!hasArea || converter.SetAreaOfInterest(a[0], a[1], a[2], a[3]));
        converter.SetAllowBallpark(ballpark);
        std::istringstream out(oracle.out);
        const bool oracleDone = oracle.exitCode == 0 && (out >> ey >> ex);
        ASSERT_EQ(converter.HasTransformation(), oracleDone);
        if (!oracleDone)
            continue;
        Geo::OperationInfo info;
        for (const bool afterPoint : {false, true}) {
            double accuracy = 0;
            std::string name;
            ASSERT_TRUE(!afterPoint || converter.TransformCoordinate(x, y));
            ASSERT_TRUE(converter.GetOperationInfo(info));
            if (c[9] != "1")
                continue;
            ASSERT_TRUE(ranking >> accuracy);
            std::getline(ranking >> std::ws, name);
            EXPECT_EQ(info.m_name, name) << afterPoint;
            EXPECT_EQ(info.m_accuracy, accuracy) << afterPoint;
        }
        EXPECT_NEAR(x, ex, 1e-10);
        EXPECT_NEAR(y, ey, 1e-10);
        EXPECT_EQ(info.m_ballpark, c[10] == "1");
        for (const auto &grid : info.m_grids)
            EXPECT_TRUE(grid.m_available && !grid.m_path.empty()) << grid.m_name;
    }
}

// The inverse direction runs on the same transformation: it returns the points the forward
// direction started from, and the extent of the transformed box holds the original one.
TEST(CrsCatalogue, InverseReturnsWhatTheForwardDirectionTook) {
    for (const auto &row : TestTable("crs/inverse_round_trip.tsv", 5)) {
        SCOPED_TRACE(row.m_trace);
        const double x = row.Number(2), y = row.Number(3), tolerance = row.Number(4);
        auto converter = Between(row[0], row[1]);
        double xs[2] = {x, x + tolerance * 1e3}, ys[2] = {y, y}, zs[2] = {0, 10};
        ASSERT_TRUE(converter.TransformCoordinates(2, xs, ys, zs));
        EXPECT_NE(xs[0], x);
        ASSERT_TRUE(converter.InverseTransformCoordinates(2, xs, ys, zs));
        EXPECT_NEAR(xs[0], x, tolerance);
        EXPECT_NEAR(ys[0], y, tolerance);
        EXPECT_NEAR(zs[1], 10, 1e-6);
    }
    auto utm = Between("EPSG:4326", "EPSG:32633");
    double w = 14, s = 47, e = 16, n = 49;
    ASSERT_TRUE(utm.TransformBounds(w, s, e, n));
    ASSERT_TRUE(utm.InverseTransformBounds(w, s, e, n));
    EXPECT_TRUE(w <= 14 && s <= 47 && e >= 16 && n >= 49) << w << " " << s << " " << e << " " << n;
}

TEST(CrsCatalogue, FailuresLeaveTheirOutputsAlone) {
    CConverter none;
    double w = 1, s = 2, e = 3, n = 4, x = 5, y = 6;
    Geo::OperationInfo info;
    info.m_name = "kept";
    EXPECT_FALSE(none.TransformBounds(w, s, e, n));
    EXPECT_FALSE(none.InverseTransformCoordinate(x, y));
    EXPECT_FALSE(none.GetOperationInfo(info));
    EXPECT_FALSE(none.HasTransformation());
    EXPECT_EQ(info.m_name, "kept");
    EXPECT_TRUE(w == 1 && s == 2 && e == 3 && n == 4 && x == 5 && y == 6);

    auto converter = Between("EPSG:4326", "EPSG:32633");
    EXPECT_FALSE(converter.TransformBounds(w, s, e, n, -1));
    EXPECT_TRUE(w == 1 && s == 2 && e == 3 && n == 4);
    const double kBadAreas[][4] = {
        {-181, 0, 10, 10}, {0, 10, 10, 0}, {0, -91, 10, 0}, {NAN, 0, 1, 1}};
    for (const auto &a : kBadAreas) {
        EXPECT_FALSE(converter.SetAreaOfInterest(a[0], a[1], a[2], a[3]));
        EXPECT_FALSE(converter.GetAreaOfInterest(w, s, e, n));
        EXPECT_TRUE(converter.HasTransformation());
    }
    // The area and the ballpark choice travel with copies.
    converter.SetAllowBallpark(false);
    ASSERT_TRUE(converter.SetAreaOfInterest(14, 47, 16, 49));
    const CConverter copy(converter);
    ASSERT_TRUE(copy.GetAreaOfInterest(w, s, e, n));
    EXPECT_TRUE(w == 14 && s == 47 && e == 16 && n == 49);
    EXPECT_FALSE(copy.GetAllowBallpark());

    CCoordinateSystem empty;
    Geo::AreaOfUse area;
    area.m_name = "kept";
    std::string name = "kept";
    std::vector<Geo::CrsAxis> axes;
    EXPECT_FALSE(empty.GetAreaOfUse(area));
    EXPECT_FALSE(empty.GetName(name));
    EXPECT_FALSE(empty.GetAxes(axes));
    EXPECT_EQ(empty.GetKind(), Geo::CrsKind::Unknown);
    EXPECT_EQ(area.m_name + name, "keptkept");
    EXPECT_STREQ(Geo::GetCrsKindName(static_cast<Geo::CrsKind>(99)), "unknown");
}
