// Geodesic distances in geographic and projected working systems, against independent oracles:
// Karney's exact test geodesics, GeographicLib's GeodSolve and PROJ's cs2cs.
#include <vexogeo/vexogeo.h>

#include <gtest/gtest.h>
#include <proj.h>

#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

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

TEST(GeodesicFailures, FalseExitsLeaveTheDistanceUntouched) {
    const CGeodesic empty;
    double distance = 42;
    EXPECT_FALSE(empty.Inverse(0, 0, 1, 1, distance));
    EXPECT_EQ(distance, 42);

    // An empty handle: no geodetic system can be derived.
    CGeodesic onEmpty(new CCoordinateSystem());
    EXPECT_EQ(onEmpty.GetLatLongCoordinateSystem(), nullptr);
    EXPECT_FALSE(onEmpty.Inverse(0, 0, 1, 1, distance));
    EXPECT_EQ(distance, 42);

    // An engineering system rests on no geodetic system.
    CGeodesic local(CCoordinateSystem::FromProj4Parameters(
        "ENGCRS[\"site\",EDATUM[\"site datum\"],CS[Cartesian,2],"
        "AXIS[\"x\",east,LENGTHUNIT[\"metre\",1]],AXIS[\"y\",north,LENGTHUNIT[\"metre\",1]]]"));
    ASSERT_NE(local.GetCoordinateSystem(), nullptr);
    EXPECT_EQ(local.GetLatLongCoordinateSystem(), nullptr);
    EXPECT_FALSE(local.Inverse(0, 0, 1, 1, distance));
    EXPECT_EQ(distance, 42);
    proj_errno_reset(nullptr);
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
    const std::string path = std::string(VEXOGEO_TEST_SHARED_DIR) + "/data/GeodTest-short.dat.gz";
    FILE *data = popen(("gzip -dc '" + path + "' 2>/dev/null").c_str(), "r");
    ASSERT_NE(data, nullptr);
    CGeodesic g(CCoordinateSystem::FromEpsgCode("4326"));
    int count = 0;
    double worst = 0;
    double v[10];
    while (std::fscanf(data, "%lf %lf %lf %lf %lf %lf %lf %lf %lf %lf", &v[0], &v[1], &v[2], &v[3],
                       &v[4], &v[5], &v[6], &v[7], &v[8], &v[9]) == 10) {
        double s12 = -1;
        ASSERT_TRUE(g.Inverse(v[1], v[0], v[4], v[3], s12)) << "line " << count;
        worst = std::max(worst, std::abs(s12 - v[6]));
        ++count;
    }
    pclose(data);
    ASSERT_EQ(count, 10000) << "reference data missing or truncated: " << path;
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
