// Geodesic distances in geographic and projected working systems, against independent oracles:
// Karney's exact test geodesics, GeographicLib's GeodSolve and PROJ's cs2cs.
#include <vexogeo/vexogeo.h>

#include <gtest/gtest.h>
#include <proj.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "geodesic/ellipsoid_geodesic.h"
#include "support/proj_keeper.h"
#include "support/subprocess.h"

using Geo::CCoordinateSystem;
using Geo::CGeodesic;
using VexoGeoTest::RunCommand;
using VexoGeoTest::SystemRef;

namespace {

struct Pair {
    double x1, y1, x2, y2;
};

std::vector<Pair> SeededPairs(double xMin, double xMax, double yMin, double yMax, int count) {
    std::mt19937_64 random(7632026);
    std::uniform_real_distribution<double> ux(xMin, xMax), uy(yMin, yMax);
    std::vector<Pair> pairs(count);
    for (auto &p : pairs)
        p = {ux(random), uy(random), ux(random), uy(random)};
    return pairs;
}

// GeodSolve -i reads "lat1 lon1 lat2 lon2" and, with -p 6, prints s12 to the micrometre.
std::vector<double> GeodSolveDistances(const std::vector<Pair> &lonLatPairs) {
    std::ostringstream input;
    input.precision(17);
    for (const auto &p : lonLatPairs)
        input << p.y1 << ' ' << p.x1 << ' ' << p.y2 << ' ' << p.x2 << '\n';
    const auto result = RunCommand("GeodSolve -i -p 6 -f", input.str());
    std::vector<double> distances;
    std::istringstream lines(result.out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        double v[10] = {};
        for (double &f : v)
            fields >> f;
        distances.push_back(v[6]); // -f: lat1 lon1 azi1 lat2 lon2 azi2 s12 ...
    }
    return distances;
}

} // namespace

// Every way a pair can fail to be measured answers false with the distance untouched, never a
// NaN or infinite "success"; the batch gives NaN, or nothing at all in an unmeasurable system.
TEST(GeodesicFailures, FalseExitsLeaveTheDistanceUntouched) {
    const struct {
        const char *name, *crs; // null: an empty handle
        bool measurable;
        Pair pair;
    } kCases[] = {
        {"empty handle", nullptr, false, {0, 0, 1, 1}},
        {"engineering system",
         "ENGCRS[\"site\",EDATUM[\"site datum\"],CS[Cartesian,2],AXIS[\"x\",east,LENGTHUNIT["
         "\"metre\",1]],AXIS[\"y\",north,LENGTHUNIT[\"metre\",1]]]",
         false,
         {0, 0, 1, 1}},
        {"geocentric X/Y/Z", "EPSG:4978", false, {4e6, 1e6, 4.1e6, 1e6}},
        {"latitude 100 degrees", "EPSG:4326", true, {0, 100, 0, 0}},
        {"latitude 101 grads", "EPSG:4807", true, {0, 101, 0, 50}},
        {"infinite longitude", "EPSG:4326", true, {HUGE_VAL, 10, 0, 0}},
        {"NaN latitude", "EPSG:4326", true, {0, std::nan(""), 0, 0}},
        {"easting beyond the projection", "EPSG:32633", true, {1e300, 5e6, 500000, 5e6}},
    };
    double distance = 42;
    EXPECT_FALSE(CGeodesic().Inverse(0, 0, 1, 1, distance));
    for (const auto &c : kCases) {
        const CGeodesic g(c.crs ? CCoordinateSystem::FromProj4Parameters(c.crs)
                                : new CCoordinateSystem());
        EXPECT_EQ(g.IsMeasurable(), c.measurable) << c.name;
        EXPECT_FALSE(g.Inverse(c.pair.x1, c.pair.y1, c.pair.x2, c.pair.y2, distance)) << c.name;
        EXPECT_EQ(distance, 42) << c.name;
        double batch = 42;
        EXPECT_EQ(g.InverseBatch(1, &c.pair.x1, &c.pair.y1, &c.pair.x2, &c.pair.y2, &batch, nullptr,
                                 nullptr),
                  0u)
            << c.name;
        EXPECT_EQ(std::isnan(batch), c.measurable) << c.name; // untouched when unmeasurable
    }
    proj_errno_reset(nullptr);
}

// Angles in the geodetic system's own unit and from its own prime meridian: cs2cs (which reads
// every angle in degrees, in the system's axis order) places the points in a degree system from
// Greenwich on the same datum, and GeodSolve measures them on the ellipsoid.
TEST(GeodesicUnits, AnyAngleUnitAndPrimeMeridianMatchesCs2csAndGeodSolve) {
    ASSERT_TRUE(VexoGeoTest::HaveProgram("GeodSolve")) << "GeodSolve (geographiclib-tools) missing";
    ASSERT_TRUE(VexoGeoTest::HaveProgram("cs2cs")) << "cs2cs (proj-bin) missing";
    const char *const kIgn = "6378249.2 1/293.466021293627"; // Clarke 1880 (IGN), under NTF
    const struct {
        const char *crs, *target;
        double degreesPerUnit; // 1 for a projected system: cs2cs reads its metres as they are
        bool latFirst;         // the axis order in which cs2cs reads the system
        const char *ellipsoid;
        Pair pair;
    } kCases[] = {
        // clang-format off
        {"EPSG:27572", "EPSG:4275", 1, false, kIgn, {600000, 2200000, 600000, 2300000}},
        {"EPSG:27561", "EPSG:4275", 1, false, kIgn, {550000, 220000, 700000, 330000}},
        {"EPSG:4807", "EPSG:4275", 0.9, true, kIgn, {0.5, 52, -2.25, 50.3}}, // grads, Paris
        {"+proj=longlat +ellps=clrk80ign +pm=paris +type=crs", "EPSG:4275", 1, false, kIgn,
         {10, 45, -3, 50}},
        {"GEOGCRS[\"radians\",DATUM[\"World Geodetic System 1984\",ELLIPSOID[\"WGS 84\",6378137,"
         "298.257223563]],PRIMEM[\"Greenwich\",0,ANGLEUNIT[\"degree\",0.0174532925199433]],"
         "CS[ellipsoidal,2],AXIS[\"latitude\",north,ANGLEUNIT[\"radian\",1]],"
         "AXIS[\"longitude\",east,ANGLEUNIT[\"radian\",1]]]",
         "EPSG:4326", 180 / M_PI, true, "6378137 1/298.257223563", {0.2, 0.8, -0.25, 0.9}},
        // clang-format on
    };
    for (const auto &c : kCases) {
        std::ostringstream input;
        input.precision(17);
        for (const double *p : {&c.pair.x1, &c.pair.x2}) {
            const double x = p[0] * c.degreesPerUnit, y = p[1] * c.degreesPerUnit;
            input << (c.latFirst ? y : x) << ' ' << (c.latFirst ? x : y) << '\n';
        }
        // cs2cs takes a PROJ string as separate words ending in "+to", anything else as one word.
        const std::string source =
            c.crs[0] == '+' ? std::string(c.crs) + " +to " : "'" + std::string(c.crs) + "' ";
        std::istringstream geo(RunCommand("cs2cs -f %.12f " + source + c.target, input.str()).out);
        std::string lat1, lon1, lat2, lon2, z;
        ASSERT_TRUE(geo >> lat1 >> lon1 >> z >> lat2 >> lon2 >> z) << c.crs;
        std::istringstream oracle(RunCommand(std::string("GeodSolve -i -p 6 -e ") + c.ellipsoid,
                                             lat1 + ' ' + lon1 + ' ' + lat2 + ' ' + lon2 + '\n')
                                      .out);
        double azi1 = 0, azi2 = 0, expected = 0;
        ASSERT_TRUE(oracle >> azi1 >> azi2 >> expected) << c.crs;

        const CGeodesic g(CCoordinateSystem::FromProj4Parameters(c.crs));
        double d = -1;
        ASSERT_TRUE(g.Inverse(c.pair.x1, c.pair.y1, c.pair.x2, c.pair.y2, d)) << c.crs;
        EXPECT_NEAR(d, expected, 1e-3) << c.crs; // cs2cs prints 1e-12 degrees: 0.1 micrometre
    }
}

// The transformation kept by a CGeodesic (also by its copies, and rebuilt when the working system
// changes) gives what a new transformation per pair gives, to the last bit.
TEST(GeodesicCache, KeptTransformationEqualsANewOneToTheLastBit) {
    const struct {
        const char *code;
        double xMin, xMax, yMin, yMax;
    } kSystems[] = {{"4326", -180, 180, -89, 89},           {"4258", -10, 30, 35, 70},
                    {"32633", 200000, 800000, -8e6, 9e6},   {"3857", -2e7, 2e7, -1.5e7, 1.5e7},
                    {"2056", 2.5e6, 2.85e6, 1.07e6, 1.3e6}, {"31287", 1e5, 7e5, 2.5e5, 6e5}};
    std::mt19937_64 random(1142026);
    for (const auto &s : kSystems) {
        SCOPED_TRACE(s.code);
        const CGeodesic g(CCoordinateSystem::FromEpsgCode(s.code));
        const CGeodesic copy(g);
        CGeodesic assigned;
        assigned = g;
        CGeodesic reset(CCoordinateSystem::FromEpsgCode("4326"));
        reset.SetCoordinateSystem(g.GetCoordinateSystem());
        CCoordinateSystem *working = g.GetCoordinateSystem();
        CCoordinateSystem *latLong = g.GetLatLongCoordinateSystem();
        ASSERT_NE(latLong, nullptr);
        std::uniform_real_distribution<double> ux(s.xMin, s.xMax), uy(s.yMin, s.yMax);
        for (int i = 0; i < 200; ++i) {
            const Pair p{ux(random), uy(random), ux(random), uy(random)};
            // A new normalized transformation, ellipsoid and GeographicLib solution per pair.
            double xs[2] = {p.x1, p.x2}, ys[2] = {p.y1, p.y2};
            ASSERT_TRUE(Geo::CConverter(working, latLong).TransformCoordinates(2, xs, ys, nullptr));
            double a = 0, b = 0, fresh = 0;
            ASSERT_TRUE(latLong->GetSpheroidDefinition(a, b));
            Geo::MakeSeriesGeodesic(a, CCoordinateSystem::GetFlattening(a, b))
                .Inverse(ys[0], xs[0], ys[1], xs[1], fresh);
            const CGeodesic *holders[] = {&g, &copy, &assigned, &reset};
            for (const CGeodesic *h : holders) {
                double d = -1;
                ASSERT_TRUE(h->Inverse(p.x1, p.y1, p.x2, p.y2, d)) << i;
                EXPECT_EQ(std::memcmp(&d, &fresh, sizeof d), 0)
                    << i << ": " << d << " vs " << fresh;
            }
        }
    }
}

TEST(GeodesicSystems, DerivedGeodeticSystemAndReferences) {
    SystemRef utm(CCoordinateSystem::FromEpsgCode("32633"));
    CGeodesic g(utm.Get());
    EXPECT_EQ(g.GetCoordinateSystem(), utm.Get());
    ASSERT_NE(g.GetLatLongCoordinateSystem(), nullptr);
    EXPECT_TRUE(g.GetLatLongCoordinateSystem()->IsGeographic());

    // Copies share both systems; the last holder frees them (checked by the sanitizers).
    CGeodesic copy(g);
    CGeodesic assigned(CCoordinateSystem::FromEpsgCode("4326"));
    assigned = g;
    assigned = assigned;
    EXPECT_EQ(assigned.GetLatLongCoordinateSystem(), g.GetLatLongCoordinateSystem());
    g.SetCoordinateSystem(nullptr);
    EXPECT_EQ(g.GetCoordinateSystem(), nullptr);
    EXPECT_EQ(g.GetLatLongCoordinateSystem(), nullptr);
    double d1 = 0, d2 = 0;
    ASSERT_TRUE(copy.Inverse(500000, 0, 500000, 1000, d1));
    ASSERT_TRUE(assigned.Inverse(500000, 0, 500000, 1000, d2));
    EXPECT_EQ(d1, d2);

    // A system handed only to the geodesic (count 0) dies with it, its derived system too.
    CGeodesic owner(CCoordinateSystem::FromEpsgCode("3857"));
    owner.SetCoordinateSystem(CCoordinateSystem::FromEpsgCode("3857"));
    double d = -1;
    EXPECT_TRUE(owner.Inverse(0, 0, 0, 0, d));
    EXPECT_EQ(d, 0);
}

TEST(GeodesicAccuracy, MatchesKarneysExactGeodesics) {
    const std::string path =
        std::string(VEXOGEO_TEST_SOURCE_DIR) + "/tests/geodesic/data/GeodTest-sample.dat";
    std::ifstream data(path);
    ASSERT_TRUE(data) << path;
    CGeodesic g(CCoordinateSystem::FromEpsgCode("4326"));
    int count = 0;
    double worst = 0;
    for (double v[10];
         data >> v[0] >> v[1] >> v[2] >> v[3] >> v[4] >> v[5] >> v[6] >> v[7] >> v[8] >> v[9];) {
        double s12 = -1;
        ASSERT_TRUE(g.Inverse(v[1], v[0], v[4], v[3], s12)) << "line " << count;
        worst = std::max(worst, std::abs(s12 - v[6]));
        ++count;
    }
    ASSERT_EQ(count, 3334) << "reference data missing or truncated: " << path;
    // GeographicLib's series solution is good to about 15 nm on WGS84.
    EXPECT_LT(worst, 1e-7) << "largest error in metres";
}

TEST(GeodesicAccuracy, GeographicSystemMatchesGeodSolve) {
    VEXOGEO_REQUIRE_PROGRAM("GeodSolve", "geographiclib-tools");
    const auto pairs = SeededPairs(-180, 180, -89, 89, 200);
    const auto expected = GeodSolveDistances(pairs);
    ASSERT_EQ(expected.size(), pairs.size());
    CGeodesic g(CCoordinateSystem::FromEpsgCode("4326"));
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        double d = -1;
        ASSERT_TRUE(g.Inverse(pairs[i].x1, pairs[i].y1, pairs[i].x2, pairs[i].y2, d));
        EXPECT_NEAR(d, expected[i], 1e-3) << i;
    }
}

TEST(GeodesicAccuracy, ProjectedSystemMeasuresOnTheEllipsoid) {
    VEXOGEO_REQUIRE_PROGRAM("GeodSolve", "geographiclib-tools");
    VEXOGEO_REQUIRE_PROGRAM("cs2cs", "proj-bin");
    // UTM 33N points; cs2cs (independent of the library) gives their geographic positions.
    const auto utm = SeededPairs(200000, 800000, 100000, 8000000, 150);
    std::ostringstream input;
    input.precision(17);
    for (const auto &p : utm)
        input << p.x1 << ' ' << p.y1 << '\n' << p.x2 << ' ' << p.y2 << '\n';
    const auto geo = RunCommand("cs2cs -f %.12f EPSG:32633 EPSG:4326", input.str());
    ASSERT_EQ(geo.exitCode, 0);
    std::istringstream lines(geo.out);
    std::vector<Pair> lonLat(utm.size());
    for (auto &p : lonLat) {
        double z;
        ASSERT_TRUE(lines >> p.y1 >> p.x1 >> z >> p.y2 >> p.x2 >> z);
    }
    const auto expected = GeodSolveDistances(lonLat);
    ASSERT_EQ(expected.size(), utm.size());

    CGeodesic g(CCoordinateSystem::FromEpsgCode("32633"));
    for (std::size_t i = 0; i < utm.size(); ++i) {
        double d = -1;
        ASSERT_TRUE(g.Inverse(utm[i].x1, utm[i].y1, utm[i].x2, utm[i].y2, d));
        EXPECT_NEAR(d, expected[i], 1e-3) << i;
        // Not the planar distance: the UTM scale factor alone makes them differ.
        const double planar = std::hypot(utm[i].x2 - utm[i].x1, utm[i].y2 - utm[i].y1);
        EXPECT_GT(std::abs(d - planar), 1e-2) << i;
    }
}

TEST(GeodesicAccuracy, EllipsoidOfTheWorkingSystem) {
    // On a sphere of radius R a quarter meridian is pi R / 2.
    CGeodesic sphere(CCoordinateSystem::FromProj4Parameters("+proj=longlat +R=6371000 +type=crs"));
    double d = 0;
    ASSERT_TRUE(sphere.Inverse(10, 0, 10, 90, d));
    EXPECT_NEAR(d, M_PI * 6371000 / 2, 1e-6);
    // The same positions on Bessel 1841 (Austria's MGI) differ from WGS84.
    CGeodesic bessel(CCoordinateSystem::FromEpsgCode("4312"));
    CGeodesic wgs(CCoordinateSystem::FromEpsgCode("4326"));
    double db = 0, dw = 0;
    ASSERT_TRUE(bessel.Inverse(16, 48, 17, 49, db));
    ASSERT_TRUE(wgs.Inverse(16, 48, 17, 49, dw));
    EXPECT_GT(std::abs(db - dw), 1.0);
}
