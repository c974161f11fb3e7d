// Extents, areas of use, system search and the chosen operation, checked against pyproj and
// cs2cs (both on the same PROJ database), and the densified extent checked point by point.
#include <vexogeo/vexogeo.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/proj_keeper.h"
#include "support/subprocess.h"

using Geo::CConverter;
using Geo::CCoordinateSystem;
using VexoGeoTest::SystemRef;

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
CConverter Between(const char *from, const char *to) {
    return CConverter(CCoordinateSystem::FromProj4Parameters(from),
                      CCoordinateSystem::FromProj4Parameters(to));
}

// A system on an unknown datum: from WGS 84 only a ballpark transformation reaches it.
const char *const kUnknownDatum =
    "GEOGCRS[\"x\",DATUM[\"y\",ELLIPSOID[\"International 1924\",6378388,297]],"
    "CS[ellipsoidal,2],AXIS[\"lat\",north],AXIS[\"lon\",east],"
    "ANGLEUNIT[\"degree\",0.0174532925199433]]";

} // namespace

// The extent of fixed boxes and of seeded random ones is the one pyproj's transform_bounds gives
// (21 points on each edge, also our default): it holds every densified point.
TEST(CrsCatalogue, TransformBoundsAgreesWithPyproj) {
    struct Case {
        const char *from, *to;
        double box[4]; // west, south, east, north
        bool random;
    };
    std::vector<Case> cases = {
        {"EPSG:4326", "EPSG:32633", {12, 45, 18, 55}, false},
        {"EPSG:32633", "EPSG:4326", {200000, 4000000, 800000, 8000000}, false},
        {"EPSG:31287", "EPSG:4326", {100000, 250000, 700000, 600000}, false}, // northing first
        {"EPSG:3857", "EPSG:4326", {19000000, -1000000, 21000000, 1000000}, false}, // across 180°
        {"EPSG:4326", "EPSG:3413", {-180, 60, 180, 90}, false},                     // north pole
        {"EPSG:3031", "EPSG:4326", {-1000000, -1000000, 1000000, 1000000}, false},  // south pole
    };
    const struct {
        const char *from, *to;
        double xMin, xMax, yMin, yMax; // where random boxes are drawn
    } kRanges[] = {
        {"EPSG:4326", "EPSG:32633", 5, 25, 1, 80},
        {"EPSG:4326", "EPSG:3857", -179, 179, -84, 84},
        {"EPSG:31287", "EPSG:4326", 100000, 700000, 250000, 600000},
        {"EPSG:27700", "EPSG:3035", 0, 700000, 0, 1200000},
    };
    std::mt19937_64 random(14);
    for (const auto &r : kRanges) {
        std::uniform_real_distribution<double> ux(r.xMin, r.xMax), uy(r.yMin, r.yMax);
        for (int round = 0; round < 25; ++round) {
            const double x0 = ux(random), x1 = ux(random), y0 = uy(random), y1 = uy(random);
            cases.push_back(
                {r.from,
                 r.to,
                 {std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1)},
                 true});
        }
    }
    std::string script = "from functools import cache\nfrom pyproj import Transformer\n"
                         "t = cache(lambda a, b: Transformer.from_crs(a, b, always_xy=True))\n";
    for (const auto &c : cases)
        script += Cat("print(*t('", c.from, "', '", c.to, "').transform_bounds(", c.box[0], ", ",
                      c.box[1], ", ", c.box[2], ", ", c.box[3], ", densify_pts=21))\n");
    auto expected = Pyproj(script);
    CConverter converter;
    const char *from = nullptr, *to = nullptr;
    for (const auto &c : cases) {
        if (c.from != from || c.to != to)
            converter = Between(from = c.from, to = c.to);
        SCOPED_TRACE(
            Cat(c.from, " -> ", c.to, " ", c.box[0], " ", c.box[1], " ", c.box[2], " ", c.box[3]));
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
    using K = Geo::CrsKind;
    const struct {
        const char *system;
        K kind;
    } kSystems[] = {
        {"EPSG:4326", K::Geographic2D}, {"EPSG:4979", K::Geographic3D},
        {"EPSG:4978", K::Geocentric},   {"EPSG:31287", K::Projected},
        {"EPSG:5703", K::Vertical},     {"EPSG:5972", K::Compound},
        {"EPSG:32633", K::Projected},   {"EPSG:4167", K::Geographic2D},
        {"EPSG:3857", K::Projected},    {"+proj=utm +zone=33 +type=crs", K::Projected},
    };
    std::string script = "from pyproj import CRS\n";
    for (const auto &s : kSystems)
        script += Cat("c = CRS('", s.system, "')\nu = c.area_of_use\nprint(c.name)\n",
                      "print(';'.join(a.abbrev + ',' + a.direction + ',' + a.unit_name for a in "
                      "c.axis_info))\nprint(repr(u.west), repr(u.south), repr(u.east), "
                      "repr(u.north), u.name) if u else print('none')\n");
    auto expected = Pyproj(script);
    for (const auto &s : kSystems) {
        SCOPED_TRACE(s.system);
        std::string name, axes, line, ours, joined, areaName;
        ASSERT_TRUE(std::getline(expected, name) && std::getline(expected, axes) &&
                    std::getline(expected, line));
        SystemRef cs(CCoordinateSystem::FromProj4Parameters(s.system));
        ASSERT_TRUE(cs);
        EXPECT_TRUE(cs->GetName(ours));
        EXPECT_EQ(ours, name);
        EXPECT_EQ(cs->GetKind(), s.kind);
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
    const struct {
        const char *text;
        bool atPoint;
        double lon, lat;
    } kQueries[] = {
        {"utm zone 33N", false, 0, 0},
        {"", true, 13.4, 52.5},
        {"gauss", true, 16.4, 48.2},
        {"", true, 174.8, -41.3}, // New Zealand, near the antimeridian
    };
    for (const auto &q : kQueries) {
        SCOPED_TRACE(Cat("'", q.text, "' at ", q.lon, " ", q.lat));
        auto lines = Pyproj(
            Cat("from pyproj.database import query_crs_info\nfrom pyproj.enums import PJType\n"
                "from pyproj.aoi import AreaOfInterest\nwords = '",
                q.text,
                "'.lower().split()\nfor i in query_crs_info(auth_name='EPSG', "
                "pj_types=PJType.PROJECTED_CRS",
                q.atPoint ? Aoi(q.lon, q.lat, q.lon, q.lat) + ", contains=True" : "",
                "):\n    if all(x in i.name.lower() for x in words): print(i.code)\n"));
        std::set<std::string> expected, found;
        for (std::string code; lines >> code;)
            expected.insert(code);

        Geo::CrsSearchQuery query;
        query.m_text = q.text;
        query.m_authority = "EPSG";
        query.m_kinds = {Geo::CrsKind::Projected};
        query.m_hasArea = q.atPoint;
        query.m_west = query.m_east = q.lon;
        query.m_south = query.m_north = q.lat;
        double lastSize = 0;
        for (const auto &hit : Geo::CCrsSearch::Find(query)) {
            const auto &a = hit.m_area;
            // PROJ's own query never finds a point inside an area that crosses the
            // antimeridian; such areas are checked against their box instead.
            if (q.atPoint && a.m_east < a.m_west) {
                EXPECT_TRUE((q.lon >= a.m_west || q.lon <= a.m_east) && q.lat >= a.m_south &&
                            q.lat <= a.m_north)
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
            EXPECT_TRUE(!q.atPoint || size >= lastSize) << hit.m_code;
            lastSize = size;
        }
        EXPECT_EQ(found, expected);
        EXPECT_FALSE(expected.empty());
    }
}

TEST(CrsCatalogue, SearchOrderAndFilters) {
    const struct {
        const char *text, *authority;
        bool deprecated;
        const char *firstName; // null: nothing may be found
    } kCases[] = {
        {"wgs 84", "EPSG", false, "WGS 84"}, // exact names before longer ones
        {"  UTM   zone 33N wgs 84 ", "EPSG", false, "WGS 84 / UTM zone 33N"},
        {"zone 33N wgs 84 utm", "EPSG", false, "WGS 84 / UTM zone 33N"},
        {"wgs 84", "NO-SUCH-AUTHORITY", true, nullptr},
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.text);
        Geo::CrsSearchQuery query;
        query.m_text = c.text;
        query.m_authority = c.authority;
        query.m_includeDeprecated = c.deprecated;
        const auto hits = Geo::CCrsSearch::Find(query);
        ASSERT_EQ(hits.empty(), c.firstName == nullptr);
        EXPECT_TRUE(!c.firstName || hits[0].m_name == c.firstName) << hits[0].m_name;
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
    const struct {
        const char *from, *to;
        bool hasArea;
        double area[4], point[2];
        bool ballpark, ranked; // ranked: pyproj's ranking is compared too
    } kCases[] = {
        {"EPSG:4267", "EPSG:4326", false, {}, {-100, 40}, true, true},
        {"EPSG:4267", "EPSG:4326", true, {-100, 50, -99, 51}, {-99.5, 50.5}, true, true}, // Canada
        {"EPSG:4267", "EPSG:4326", true, {-98, 30, -97, 31}, {-97.5, 30.5}, true, true},  // Texas
        {"EPSG:4326", "EPSG:31287", false, {}, {16.37, 48.21}, true, true},
        {"EPSG:4275", "EPSG:4171", false, {}, {2.35, 48.85}, true, true}, // needs a grid
        {"EPSG:4267", "EPSG:4326", false, {}, {-97.5, 30.5}, true, false},
        {"EPSG:4267", "EPSG:4326", false, {}, {-97.5, 30.5}, false, false},
        {"EPSG:4326", kUnknownDatum, false, {}, {1, 1}, false, false},
        {"EPSG:4326", kUnknownDatum, false, {}, {1, 1}, true, false},
    };
    std::string script = "import warnings\nwarnings.simplefilter('ignore')\n"
                         "from pyproj.transformer import TransformerGroup\n"
                         "from pyproj.aoi import AreaOfInterest\n";
    for (const auto &c : kCases) {
        const double *a = c.area, *p = c.point;
        for (const auto &aoi :
             {c.hasArea ? Aoi(a[0], a[1], a[2], a[3]) : std::string(), Aoi(p[0], p[1], p[0], p[1])})
            if (c.ranked)
                script += Cat("g = TransformerGroup('", c.from, "', '", c.to, "', always_xy=True",
                              aoi, ")\nprint(g.transformers[0].accuracy)\n",
                              "print(g.transformers[0].description)\n");
    }
    auto ranking = Pyproj(script);
    for (const auto &c : kCases) {
        const double *a = c.area;
        const std::string options =
            Cat("-f %.12f ",
                c.hasArea ? Cat("--bbox ", a[0], ',', a[1], ',', a[2], ',', a[3], ' ') : "",
                c.ballpark ? "" : "--no-ballpark ");
        SCOPED_TRACE(Cat(options, c.from, " -> ", c.to));
        // Every source takes latitude first; every target gives its y (latitude, northing) first.
        const auto oracle = VexoGeoTest::RunCommand(
            Cat("cs2cs ", options, "'", c.from, "' '", c.to, "' 2>/dev/null"),
            Cat(c.point[1], ' ', c.point[0], '\n'));
        auto converter = Between(c.from, c.to);
        ASSERT_TRUE(!c.hasArea || converter.SetAreaOfInterest(a[0], a[1], a[2], a[3]));
        converter.SetAllowBallpark(c.ballpark);
        double ex = 0, ey = 0, x = c.point[0], y = c.point[1];
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
            if (!c.ranked)
                continue;
            ASSERT_TRUE(ranking >> accuracy);
            std::getline(ranking >> std::ws, name);
            EXPECT_EQ(info.m_name, name) << afterPoint;
            EXPECT_EQ(info.m_accuracy, accuracy) << afterPoint;
        }
        EXPECT_NEAR(x, ex, 1e-10);
        EXPECT_NEAR(y, ey, 1e-10);
        EXPECT_EQ(info.m_ballpark, c.to == kUnknownDatum);
        for (const auto &grid : info.m_grids)
            EXPECT_TRUE(grid.m_available && !grid.m_path.empty()) << grid.m_name;
    }
}

// The inverse direction runs on the same transformation: it returns the points the forward
// direction started from, and the extent of the transformed box holds the original one.
TEST(CrsCatalogue, InverseReturnsWhatTheForwardDirectionTook) {
    const struct {
        const char *from, *to;
        double x, y, tolerance;
    } kCases[] = {
        {"EPSG:4326", "EPSG:32633", 15.1, 47.3, 1e-9},
        // A datum shift's inverse is not exact to the last digit: millimetres stay.
        {"EPSG:31287", "EPSG:4326", 400000, 450000, 1e-2},
        {"EPSG:4267", "EPSG:4326", -97.5, 30.5, 1e-7},
        {"EPSG:4326", "EPSG:4978", 13.4, 52.5, 1e-9},
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.from);
        auto converter = Between(c.from, c.to);
        double xs[2] = {c.x, c.x + c.tolerance * 1e3}, ys[2] = {c.y, c.y}, zs[2] = {0, 10};
        ASSERT_TRUE(converter.TransformCoordinates(2, xs, ys, zs));
        EXPECT_NE(xs[0], c.x);
        ASSERT_TRUE(converter.InverseTransformCoordinates(2, xs, ys, zs));
        EXPECT_NEAR(xs[0], c.x, c.tolerance);
        EXPECT_NEAR(ys[0], c.y, c.tolerance);
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
