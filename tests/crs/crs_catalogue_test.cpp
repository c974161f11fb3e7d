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

#include "support/subprocess.h"

using Geo::CConverter;
using Geo::CCoordinateSystem;

namespace {

// pyproj is Debian's python3-pyproj, run by Debian's interpreter.
const char *const kPython = "/usr/bin/python3";

std::string RunPyproj(const std::string &script) {
    const auto result = VexoGeoTest::RunCommand(std::string(kPython) + " -", script);
    EXPECT_EQ(result.exitCode, 0) << "pyproj failed on:\n" << script;
    return result.out;
}

bool HavePyproj() {
    return VexoGeoTest::RunCommand(std::string(kPython) + " -c 'import pyproj' 2>/dev/null")
               .exitCode == 0;
}

#define REQUIRE_PYPROJ()                                                                           \
    if (!HavePyproj())                                                                             \
    GTEST_FAIL() << "pyproj (package python3-pyproj) is needed as the independent oracle"

// A converter owning both systems (each factory handle goes to the converter alone).
struct Pair {
    explicit Pair(const char *from, const char *to)
        : m_converter(CCoordinateSystem::FromProj4Parameters(from),
                      CCoordinateSystem::FromProj4Parameters(to)) {}
    CConverter m_converter;
};

struct BoundsCase {
    const char *from, *to;
    double box[4];
};

const BoundsCase kBounds[] = {
    {"EPSG:4326", "EPSG:32633", {12, 45, 18, 55}},
    {"EPSG:32633", "EPSG:4326", {200000, 4000000, 800000, 8000000}},
    {"EPSG:31287", "EPSG:4326", {100000, 250000, 700000, 600000}},       // northing-first system
    {"EPSG:3857", "EPSG:4326", {19000000, -1000000, 21000000, 1000000}}, // across 180°
    {"EPSG:4326", "EPSG:3413", {-180, 60, 180, 90}},                     // the north pole
    {"EPSG:3031", "EPSG:4326", {-1000000, -1000000, 1000000, 1000000}},  // the south pole
};

} // namespace

TEST(CrsCatalogue, TransformBoundsAgreesWithPyproj) {
    REQUIRE_PYPROJ();
    std::string script = "from pyproj import Transformer\n";
    for (const auto &c : kBounds) {
        std::ostringstream line;
        line.precision(17);
        line << "print(*Transformer.from_crs('" << c.from << "', '" << c.to
             << "', always_xy=True).transform_bounds(" << c.box[0] << ", " << c.box[1] << ", "
             << c.box[2] << ", " << c.box[3] << ", densify_pts=21), sep=' ')\n";
        script += line.str();
    }
    std::istringstream expected(RunPyproj(script));
    for (const auto &c : kBounds) {
        double e[4] = {};
        ASSERT_TRUE(expected >> e[0] >> e[1] >> e[2] >> e[3]) << c.from << " -> " << c.to;
        Pair pair(c.from, c.to);
        double b[4] = {c.box[0], c.box[1], c.box[2], c.box[3]};
        ASSERT_TRUE(pair.m_converter.TransformBounds(b[0], b[1], b[2], b[3]));
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(b[i], e[i], 1e-9 * std::max(1.0, std::fabs(e[i])))
                << c.from << " -> " << c.to << " bound " << i;
    }
}

TEST(CrsCatalogue, AreaOfUseAgreesWithPyproj) {
    REQUIRE_PYPROJ();
    const char *const kSystems[] = {"EPSG:32633",
                                    "EPSG:31287",
                                    "EPSG:4326",
                                    "EPSG:4167",
                                    "EPSG:5972",
                                    "EPSG:3857",
                                    "+proj=utm +zone=33 +type=crs"};
    std::string script = "from pyproj import CRS\n";
    for (const char *s : kSystems)
        script += std::string("a = CRS('") + s +
                  "').area_of_use\nprint(repr(a.west), repr(a.south), repr(a.east), "
                  "repr(a.north), a.name) if a else print('none')\n";
    std::istringstream expected(RunPyproj(script));
    for (const char *s : kSystems) {
        std::string line;
        ASSERT_TRUE(std::getline(expected, line)) << s;
        CCoordinateSystem *cs = CCoordinateSystem::FromProj4Parameters(s);
        ASSERT_NE(cs, nullptr) << s;
        Geo::AreaOfUse area;
        const bool known = cs->GetAreaOfUse(area);
        delete cs;
        if (line == "none") {
            EXPECT_FALSE(known) << s;
            continue;
        }
        ASSERT_TRUE(known) << s;
        std::istringstream fields(line);
        double w = 0, so = 0, e = 0, n = 0;
        fields >> w >> so >> e >> n;
        std::string name;
        std::getline(fields >> std::ws, name);
        EXPECT_EQ(area.m_west, w) << s;
        EXPECT_EQ(area.m_south, so) << s;
        EXPECT_EQ(area.m_east, e) << s;
        EXPECT_EQ(area.m_north, n) << s;
        EXPECT_EQ(area.m_name, name) << s;
    }
}

TEST(CrsCatalogue, KindsAndAxesAgreeWithPyproj) {
    REQUIRE_PYPROJ();
    const struct {
        const char *system;
        Geo::CrsKind kind;
    } kSystems[] = {
        {"EPSG:4326", Geo::CrsKind::Geographic2D}, {"EPSG:4979", Geo::CrsKind::Geographic3D},
        {"EPSG:4978", Geo::CrsKind::Geocentric},   {"EPSG:31287", Geo::CrsKind::Projected},
        {"EPSG:5703", Geo::CrsKind::Vertical},     {"EPSG:5972", Geo::CrsKind::Compound},
    };
    std::string script = "from pyproj import CRS\n";
    for (const auto &s : kSystems)
        script += std::string("c = CRS('") + s.system +
                  "')\nprint(c.name)\nprint(';'.join(a.abbrev + ',' + a.direction + ',' + "
                  "a.unit_name for a in c.axis_info))\n";
    std::istringstream expected(RunPyproj(script));
    for (const auto &s : kSystems) {
        std::string name, axes;
        ASSERT_TRUE(std::getline(expected, name) && std::getline(expected, axes)) << s.system;
        CCoordinateSystem *cs = CCoordinateSystem::FromProj4Parameters(s.system);
        ASSERT_NE(cs, nullptr);
        std::string ours;
        EXPECT_TRUE(cs->GetName(ours));
        EXPECT_EQ(ours, name) << s.system;
        EXPECT_EQ(cs->GetKind(), s.kind) << s.system;
        std::vector<Geo::CrsAxis> list;
        EXPECT_TRUE(cs->GetAxes(list));
        std::string joined;
        for (const auto &a : list)
            joined += (joined.empty() ? "" : ";") + a.m_abbreviation + "," + a.m_direction + "," +
                      a.m_unit;
        EXPECT_EQ(joined, axes) << s.system;
        delete cs;
    }
}

// The database answers: the same systems as pyproj's query for the same kind, authority and
// place; our own filters for words and order.
TEST(CrsCatalogue, SearchAgreesWithPyprojQuery) {
    REQUIRE_PYPROJ();
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
        std::ostringstream script;
        script.precision(17);
        script << "from pyproj.database import query_crs_info\nfrom pyproj.enums import PJType\n"
                  "from pyproj.aoi import AreaOfInterest\n"
                  "words = '"
               << q.text
               << "'.lower().split()\n"
                  "for i in query_crs_info(auth_name='EPSG', pj_types=PJType.PROJECTED_CRS";
        if (q.atPoint)
            script << ", area_of_interest=AreaOfInterest(" << q.lon << ", " << q.lat << ", "
                   << q.lon << ", " << q.lat << "), contains=True";
        script << "):\n"
                  "    if all(x in i.name.lower() for x in words): print(i.code)\n";
        std::set<std::string> expected;
        std::istringstream lines(RunPyproj(script.str()));
        for (std::string code; lines >> code;)
            expected.insert(code);

        Geo::CrsSearchQuery query;
        query.m_text = q.text;
        query.m_authority = "EPSG";
        query.m_kinds = {Geo::CrsKind::Projected};
        query.m_hasArea = q.atPoint;
        query.m_west = query.m_east = q.lon;
        query.m_south = query.m_north = q.lat;
        const auto hits = Geo::CCrsSearch::Find(query);
        std::set<std::string> found;
        for (const auto &hit : hits) {
            // PROJ's own query never finds a point inside an area that crosses the
            // antimeridian; such areas are checked against their box instead.
            if (q.atPoint && hit.m_area.m_east < hit.m_area.m_west) {
                EXPECT_TRUE(q.lon >= hit.m_area.m_west || q.lon <= hit.m_area.m_east);
                EXPECT_TRUE(q.lat >= hit.m_area.m_south && q.lat <= hit.m_area.m_north);
                expected.erase(hit.m_code);
                continue;
            }
            found.insert(hit.m_code);
            EXPECT_EQ(hit.m_authority, "EPSG");
            EXPECT_EQ(hit.m_kind, Geo::CrsKind::Projected);
            EXPECT_FALSE(hit.m_deprecated);
        }
        EXPECT_EQ(found, expected) << "'" << q.text << "'";
        EXPECT_FALSE(expected.empty());
        // Point searches list the smaller areas first.
        for (std::size_t i = 1; q.atPoint && i < hits.size(); ++i) {
            auto size = [](const Geo::CrsSearchHit &h) {
                const double w = h.m_area.m_east - h.m_area.m_west;
                return (w < 0 ? w + 360 : w) * (h.m_area.m_north - h.m_area.m_south);
            };
            EXPECT_LE(size(hits[i - 1]), size(hits[i])) << hits[i].m_code;
        }
    }
}

TEST(CrsCatalogue, SearchOrderAndFilters) {
    const struct {
        const char *text;
        const char *authority;
        bool deprecated;
        const char *firstName; // null: nothing may be found
    } kCases[] = {
        {"wgs 84", "EPSG", false, "WGS 84"}, // exact names before longer ones
        {"  UTM   zone 33N wgs 84 ", "EPSG", false, "WGS 84 / UTM zone 33N"},
        {"zone 33N wgs 84 utm", "EPSG", false, "WGS 84 / UTM zone 33N"},
        {"no such system name", "", true, nullptr},
        {"wgs 84", "NO-SUCH-AUTHORITY", true, nullptr},
    };
    for (const auto &c : kCases) {
        Geo::CrsSearchQuery query;
        query.m_text = c.text;
        query.m_authority = c.authority;
        query.m_includeDeprecated = c.deprecated;
        const auto hits = Geo::CCrsSearch::Find(query);
        if (c.firstName == nullptr) {
            EXPECT_TRUE(hits.empty()) << c.text;
            continue;
        }
        ASSERT_FALSE(hits.empty()) << c.text;
        EXPECT_EQ(hits[0].m_name, c.firstName) << c.text;
    }
    // Deprecated systems only when asked: EPSG:32633's predecessors include deprecated ones.
    Geo::CrsSearchQuery query;
    query.m_text = "UTM zone";
    query.m_authority = "EPSG";
    const auto current = Geo::CCrsSearch::Find(query);
    query.m_includeDeprecated = true;
    const auto all = Geo::CCrsSearch::Find(query);
    EXPECT_GT(all.size(), current.size());
    EXPECT_TRUE(std::none_of(current.begin(), current.end(),
                             [](const Geo::CrsSearchHit &h) { return h.m_deprecated; }));
    // An area that is not a longitude/latitude box finds nothing.
    query.m_hasArea = true;
    query.m_west = 200;
    EXPECT_TRUE(Geo::CCrsSearch::Find(query).empty());
}

// The operation PROJ chooses, with and without an area of interest, as pyproj's ranking of the
// same pair shows it; after a point, the one that transformed it, ranked first for that point.
TEST(CrsCatalogue, ChosenOperationAgreesWithPyproj) {
    REQUIRE_PYPROJ();
    const struct {
        const char *from, *to;
        bool hasArea;
        double area[4];
        double point[2];
    } kCases[] = {
        {"EPSG:4267", "EPSG:4326", false, {}, {-100, 40}},
        {"EPSG:4267", "EPSG:4326", true, {-100, 50, -99, 51}, {-99.5, 50.5}}, // Canada
        {"EPSG:4267", "EPSG:4326", true, {-98, 30, -97, 31}, {-97.5, 30.5}},  // Texas
        {"EPSG:4326", "EPSG:31287", false, {}, {16.37, 48.21}},
        {"EPSG:4275", "EPSG:4171", false, {}, {2.35, 48.85}}, // needs a grid
    };
    std::ostringstream script;
    script.precision(17);
    script << "import warnings\nwarnings.simplefilter('ignore')\n"
              "from pyproj.transformer import TransformerGroup\n"
              "from pyproj.aoi import AreaOfInterest\n";
    for (const auto &c : kCases) {
        std::ostringstream aoi;
        aoi.precision(17);
        if (c.hasArea)
            aoi << ", area_of_interest=AreaOfInterest(" << c.area[0] << ", " << c.area[1] << ", "
                << c.area[2] << ", " << c.area[3] << ")";
        script << "g = TransformerGroup('" << c.from << "', '" << c.to << "', always_xy=True"
               << aoi.str() << ")\nprint(g.transformers[0].accuracy)\n"
               << "print(g.transformers[0].description)\n"
               // For one point PROJ takes the first operation ranked for that point's area.
               << "g = TransformerGroup('" << c.from << "', '" << c.to
               << "', always_xy=True, area_of_interest=AreaOfInterest(" << c.point[0] << ", "
               << c.point[1] << ", " << c.point[0] << ", " << c.point[1] << "))\n"
               << "print(g.transformers[0].accuracy)\nprint(g.transformers[0].description)\n";
    }
    std::istringstream expected(RunPyproj(script.str()));
    for (const auto &c : kCases) {
        double firstAccuracy = 0, usedAccuracy = 0;
        std::string firstName, usedName;
        ASSERT_TRUE(expected >> firstAccuracy);
        std::getline(expected >> std::ws, firstName);
        ASSERT_TRUE(expected >> usedAccuracy);
        std::getline(expected >> std::ws, usedName);

        Pair pair(c.from, c.to);
        if (c.hasArea)
            ASSERT_TRUE(
                pair.m_converter.SetAreaOfInterest(c.area[0], c.area[1], c.area[2], c.area[3]));
        Geo::OperationInfo info;
        ASSERT_TRUE(pair.m_converter.GetOperationInfo(info));
        EXPECT_EQ(info.m_name, firstName) << c.from << " -> " << c.to;
        EXPECT_EQ(info.m_accuracy, firstAccuracy) << c.from << " -> " << c.to;
        EXPECT_FALSE(info.m_ballpark);
        double x = c.point[0], y = c.point[1];
        ASSERT_TRUE(pair.m_converter.TransformCoordinate(x, y));
        ASSERT_TRUE(pair.m_converter.GetOperationInfo(info));
        EXPECT_EQ(info.m_name, usedName) << c.from << " -> " << c.to;
        EXPECT_EQ(info.m_accuracy, usedAccuracy) << c.from << " -> " << c.to;
        for (const auto &grid : info.m_grids)
            EXPECT_TRUE(grid.m_available && !grid.m_path.empty()) << grid.m_name;
    }
}

// A system on an unknown datum: from WGS 84 only a ballpark transformation reaches it.
const char *const kUnknownDatum =
    "GEOGCRS[\"x\",DATUM[\"y\",ELLIPSOID[\"International 1924\",6378388,297]],"
    "CS[ellipsoidal,2],AXIS[\"lat\",north],AXIS[\"lon\",east],"
    "ANGLEUNIT[\"degree\",0.0174532925199433]]";

// cs2cs --bbox chooses for the same area: every point comes out the same; --no-ballpark
// refuses what the converter refuses.
TEST(CrsCatalogue, OperationChoiceAgreesWithCs2cs) {
    if (!VexoGeoTest::HaveProgram("cs2cs"))
        GTEST_FAIL() << "cs2cs (package proj-bin) is needed as the independent oracle";
    const struct {
        const char *from, *to;
        const char *bbox; // null: no area
        bool ballpark;
        double lon, lat;
    } kCases[] = {
        {"EPSG:4267", "EPSG:4326", "-100,50,-99,51", true, -99.5, 50.5},
        {"EPSG:4267", "EPSG:4326", "-98,30,-97,31", true, -97.5, 30.5},
        {"EPSG:4267", "EPSG:4326", nullptr, true, -97.5, 30.5},
        {"EPSG:4267", "EPSG:4326", nullptr, false, -97.5, 30.5},
        {"EPSG:4326", kUnknownDatum, nullptr, false, 1, 1},
        {"EPSG:4326", kUnknownDatum, nullptr, true, 1, 1},
    };
    for (const auto &c : kCases) {
        std::ostringstream input;
        input.precision(17);
        input << c.lat << ' ' << c.lon << '\n'; // both geographic systems take latitude first
        const std::string options = std::string("-f %.12f ") +
                                    (c.bbox ? std::string("--bbox ") + c.bbox + " " : "") +
                                    (c.ballpark ? "" : "--no-ballpark ");
        const auto oracle = VexoGeoTest::RunCommand(
            "cs2cs " + options + "'" + c.from + "' '" + c.to + "' 2>/dev/null", input.str());
        Pair pair(c.from, c.to);
        double w = 0, s = 0, e = 0, n = 0;
        if (c.bbox) {
            std::istringstream box(c.bbox);
            char comma;
            box >> w >> comma >> s >> comma >> e >> comma >> n;
            ASSERT_TRUE(pair.m_converter.SetAreaOfInterest(w, s, e, n));
        }
        pair.m_converter.SetAllowBallpark(c.ballpark);
        double lat = 0, lon = 0;
        std::istringstream out(oracle.out);
        const bool oracleDone = oracle.exitCode == 0 && (out >> lat >> lon);
        ASSERT_EQ(pair.m_converter.HasTransformation(), oracleDone) << c.from << " " << options;
        if (!oracleDone)
            continue;
        double x = c.lon, y = c.lat;
        ASSERT_TRUE(pair.m_converter.TransformCoordinate(x, y));
        EXPECT_NEAR(x, lon, 1e-10) << options;
        EXPECT_NEAR(y, lat, 1e-10) << options;
        Geo::OperationInfo info;
        ASSERT_TRUE(pair.m_converter.GetOperationInfo(info));
        EXPECT_EQ(info.m_ballpark, c.to == kUnknownDatum);
    }
}

// Every point of every densified edge, transformed on its own, lies inside the extent.
TEST(CrsCatalogue, DensifiedEdgesLieInsideTheExtent) {
    const struct {
        const char *from, *to;
        double xMin, xMax, yMin, yMax; // where random boxes are drawn
    } kPairs[] = {
        {"EPSG:4326", "EPSG:32633", 5, 25, 1, 80},
        {"EPSG:4326", "EPSG:3857", -179, 179, -84, 84},
        {"EPSG:31287", "EPSG:4326", 100000, 700000, 250000, 600000},
        {"EPSG:27700", "EPSG:3035", 0, 700000, 0, 1200000},
    };
    std::mt19937_64 random(14);
    constexpr int kDensify = 21;
    for (const auto &p : kPairs) {
        Pair pair(p.from, p.to);
        std::uniform_real_distribution<double> ux(p.xMin, p.xMax), uy(p.yMin, p.yMax);
        for (int round = 0; round < 25; ++round) {
            const double x0 = ux(random), x1 = ux(random), y0 = uy(random), y1 = uy(random);
            const double w = std::min(x0, x1), e = std::max(x0, x1);
            const double s = std::min(y0, y1), n = std::max(y0, y1);
            double bw = w, bs = s, be = e, bn = n;
            ASSERT_TRUE(pair.m_converter.TransformBounds(bw, bs, be, bn, kDensify));
            ASSERT_LE(bw, be);
            ASSERT_LE(bs, bn);
            const double slack =
                1e-9 * std::max({1.0, std::fabs(bw), std::fabs(be), std::fabs(bs), std::fabs(bn)});
            for (int i = 0; i <= kDensify + 1; ++i) {
                const double t = static_cast<double>(i) / (kDensify + 1);
                const double xs[4] = {w + t * (e - w), e, e - t * (e - w), w};
                const double ys[4] = {s, s + t * (n - s), n, n - t * (n - s)};
                for (int edge = 0; edge < 4; ++edge) {
                    double x = xs[edge], y = ys[edge];
                    ASSERT_TRUE(pair.m_converter.TransformCoordinate(x, y));
                    EXPECT_TRUE(x >= bw - slack && x <= be + slack && y >= bs - slack &&
                                y <= bn + slack)
                        << p.from << " -> " << p.to << " edge " << edge << " point " << i;
                }
            }
        }
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
        Pair pair(c.from, c.to);
        double xs[2] = {c.x, c.x + c.tolerance * 1e3}, ys[2] = {c.y, c.y}, zs[2] = {0, 10};
        ASSERT_TRUE(pair.m_converter.TransformCoordinates(2, xs, ys, zs));
        EXPECT_NE(xs[0], c.x);
        ASSERT_TRUE(pair.m_converter.InverseTransformCoordinates(2, xs, ys, zs));
        EXPECT_NEAR(xs[0], c.x, c.tolerance) << c.from;
        EXPECT_NEAR(ys[0], c.y, c.tolerance) << c.from;
        EXPECT_NEAR(zs[1], 10, 1e-6) << c.from;
    }
    Pair utm("EPSG:4326", "EPSG:32633");
    double w = 14, s = 47, e = 16, n = 49;
    ASSERT_TRUE(utm.m_converter.TransformBounds(w, s, e, n));
    ASSERT_TRUE(utm.m_converter.InverseTransformBounds(w, s, e, n));
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

    Pair pair("EPSG:4326", "EPSG:32633");
    EXPECT_FALSE(pair.m_converter.TransformBounds(w, s, e, n, -1));
    EXPECT_TRUE(w == 1 && s == 2 && e == 3 && n == 4);
    const double kBadAreas[][4] = {
        {-181, 0, 10, 10}, {0, 10, 10, 0}, {0, -91, 10, 0}, {NAN, 0, 1, 1}};
    for (const auto &a : kBadAreas) {
        EXPECT_FALSE(pair.m_converter.SetAreaOfInterest(a[0], a[1], a[2], a[3]));
        EXPECT_FALSE(pair.m_converter.GetAreaOfInterest(w, s, e, n));
        EXPECT_TRUE(pair.m_converter.HasTransformation());
    }
    // The area and the ballpark choice travel with copies.
    pair.m_converter.SetAllowBallpark(false);
    ASSERT_TRUE(pair.m_converter.SetAreaOfInterest(14, 47, 16, 49));
    const CConverter copy(pair.m_converter);
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
    EXPECT_EQ(area.m_name, "kept");
    EXPECT_EQ(name, "kept");
    EXPECT_STREQ(Geo::GetCrsKindName(static_cast<Geo::CrsKind>(99)), "unknown");
    EXPECT_STREQ(Geo::GetCrsKindName(Geo::CrsKind::Geographic2D), "geographic 2-D");
}
