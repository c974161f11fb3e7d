// Geodesic distances, batches, polyline lengths and polygon areas in geographic and projected
// working systems, against independent oracles: Karney's exact test geodesics, GeographicLib's
// GeodSolve and Planimeter, and PROJ's cs2cs.
#include <vexogeo/vexogeo.h>

#include <gtest/gtest.h>
#include <proj.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "geodesic/ellipsoid_geodesic.h"
#include "geodesic/geodesic_batch.h"
#include "support/proj_keeper.h"
#include "support/subprocess.h"

using Geo::CCoordinateSystem;
using Geo::CGeodesic;

namespace {

constexpr double kUntouched = -12345.5;

struct Pair {
    double x1, y1, x2, y2;
};

// Points; consecutive points 0 and 1, 2 and 3, ... make the pairs that are measured.
struct Ring {
    std::vector<double> x, y;
};

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

Ring Seeded(double xMin, double xMax, double yMin, double yMax, int count) {
    std::mt19937_64 random(7632026);
    std::uniform_real_distribution<double> ux(xMin, xMax), uy(yMin, yMax);
    Ring r;
    for (int i = 0; i < count; ++i)
        r.x.push_back(ux(random)), r.y.push_back(uy(random));
    return r;
}

// "x y" or "lat lon" lines, `perLine` points to a line. Fixed notation: Planimeter would read the
// "e" of an exponent as a hemisphere (east).
std::string Lines(const Ring &r, bool latFirst, std::size_t perLine = 1) {
    std::ostringstream out;
    out << std::fixed;
    out.precision(14);
    for (std::size_t i = 0; i < r.x.size(); ++i)
        out << (latFirst ? r.y[i] : r.x[i]) << ' ' << (latFirst ? r.x[i] : r.y[i])
            << ((i + 1) % perLine ? ' ' : '\n');
    return out.str();
}

// Runs an oracle program and reads every number it prints.
std::vector<double> Numbers(const std::string &command, const std::string &input) {
    std::istringstream out(VexoGeoTest::RunCommand(command, input).out);
    std::vector<double> values;
    for (double v; out >> v;)
        values.push_back(v);
    return values;
}

// cs2cs to a geographic system prints "lat lon z" per point.
Ring Cs2csLonLat(const std::string &arguments, const Ring &points, bool latFirst = false) {
    const auto v = Numbers("cs2cs -f %.12f " + arguments, Lines(points, latFirst));
    Ring r;
    for (std::size_t i = 0; i + 3 <= v.size(); i += 3)
        r.x.push_back(v[i + 1]), r.y.push_back(v[i]);
    return r;
}

// GeodSolve -i reads "lat1 lon1 lat2 lon2" and prints "azi1 azi2 s12" per pair.
std::vector<double> GeodSolve(const Ring &lonLat, const std::string &options) {
    return Numbers("GeodSolve -i " + options, Lines(lonLat, true, 2));
}

// Planimeter reads "lat lon" lines and prints "count perimeter area" (-l: "count length").
std::vector<double> Planimeter(const Ring &lonLat, bool polyline) {
    auto v = Numbers(std::string("Planimeter -p 9") + (polyline ? " -l" : ""), Lines(lonLat, true));
    v.resize(3, std::nan(""));
    return v;
}

// A closed ring of `n` vertices around (lon, lat), `radius` degrees wide; `clockwise` reverses it.
Ring Circle(double lon, double lat, double radius, int n, bool clockwise) {
    Ring r;
    for (int i = 0; i < n; ++i) {
        const double t = (clockwise ? -2 : 2) * M_PI * i / n;
        r.x.push_back(lon + radius * std::cos(t));
        r.y.push_back(lat + 0.5 * radius * std::sin(t));
    }
    return r;
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
        SCOPED_TRACE(c.name);
        const CGeodesic g(c.crs ? CCoordinateSystem::FromProj4Parameters(c.crs)
                                : new CCoordinateSystem());
        EXPECT_EQ(g.IsMeasurable(), c.measurable);
        EXPECT_FALSE(g.Inverse(c.pair.x1, c.pair.y1, c.pair.x2, c.pair.y2, distance));
        EXPECT_EQ(distance, 42);
        double batch = 42;
        EXPECT_EQ(g.InverseBatch(1, &c.pair.x1, &c.pair.y1, &c.pair.x2, &c.pair.y2, &batch, nullptr,
                                 nullptr),
                  0u);
        EXPECT_EQ(std::isnan(batch), c.measurable); // untouched when unmeasurable
    }
    proj_errno_reset(nullptr);
}

// Distances in any working system: cs2cs (which reads every angle in degrees, in the system's
// axis order) places the points in a degree system from Greenwich on the same datum, and GeodSolve
// measures them on the ellipsoid. Angles are in the system's own unit, from its own meridian.
TEST(GeodesicAccuracy, AnySystemAndAngleUnitMatchesCs2csAndGeodSolve) {
    VEXOGEO_REQUIRE_PROGRAM("GeodSolve", "geographiclib-tools");
    VEXOGEO_REQUIRE_PROGRAM("cs2cs", "proj-bin");
    const char *const kIgn = "-e 6378249.2 1/293.466021293627"; // Clarke 1880 (IGN), under NTF
    const struct {
        const char *crs, *target; // null target: the points are longitude/latitude already
        double degreesPerUnit;    // 1 for a projected system: cs2cs reads its metres as they are
        bool latFirst;            // the axis order in which cs2cs reads the system
        const char *ellipsoid;
        Ring points;
    } kCases[] = {
        // clang-format off
        {"EPSG:4326", nullptr, 1, true, "", Seeded(-180, 180, -89, 89, 400)},
        {"EPSG:32633", "EPSG:4326", 1, false, "", Seeded(200000, 800000, 100000, 8000000, 300)},
        {"+proj=longlat +R=6371000 +type=crs", nullptr, 1, false, "-e 6371000 0",
         {{10, 10, 0, -100}, {0, 90, -30, 40}}}, // the working system's own ellipsoid, a sphere
        {"EPSG:27572", "EPSG:4275", 1, false, kIgn, {{600000, 600000}, {2200000, 2300000}}},
        {"EPSG:27561", "EPSG:4275", 1, false, kIgn, {{550000, 700000}, {220000, 330000}}},
        {"EPSG:4807", "EPSG:4275", 0.9, true, kIgn, {{0.5, -2.25}, {52, 50.3}}}, // grads, Paris
        {"+proj=longlat +ellps=clrk80ign +pm=paris +type=crs", "EPSG:4275", 1, false, kIgn,
         {{10, -3}, {45, 50}}},
        {"GEOGCRS[\"radians\",DATUM[\"World Geodetic System 1984\",ELLIPSOID[\"WGS 84\",6378137,"
         "298.257223563]],PRIMEM[\"Greenwich\",0,ANGLEUNIT[\"degree\",0.0174532925199433]],"
         "CS[ellipsoidal,2],AXIS[\"latitude\",north,ANGLEUNIT[\"radian\",1]],"
         "AXIS[\"longitude\",east,ANGLEUNIT[\"radian\",1]]]",
         "EPSG:4326", 180 / M_PI, true, "", {{0.2, -0.25}, {0.8, 0.9}}},
        // clang-format on
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.crs);
        const auto &p = c.points;
        Ring degrees = p;
        for (std::size_t i = 0; i < p.x.size(); ++i)
            degrees.x[i] *= c.degreesPerUnit, degrees.y[i] *= c.degreesPerUnit;
        // cs2cs takes a PROJ string as separate words ending in "+to", anything else as one word.
        const std::string source =
            c.crs[0] == '+' ? std::string(c.crs) + " +to " : "'" + std::string(c.crs) + "' ";
        const auto oracle =
            GeodSolve(c.target ? Cs2csLonLat(source + c.target, degrees, c.latFirst) : p,
                      std::string("-p 6 ") + c.ellipsoid);
        ASSERT_EQ(oracle.size(), p.x.size() / 2 * 3);
        const CGeodesic g(CCoordinateSystem::FromProj4Parameters(c.crs));
        for (std::size_t i = 0; i < p.x.size(); i += 2) {
            double d = -1;
            ASSERT_TRUE(g.Inverse(p.x[i], p.y[i], p.x[i + 1], p.y[i + 1], d)) << i;
            // cs2cs prints 1e-12 degrees: 0.1 micrometre.
            EXPECT_NEAR(d, oracle[i / 2 * 3 + 2], 1e-3) << i;
        }
    }
}

// Copies share both systems; the last holder frees them (checked by the sanitizers).
TEST(GeodesicSystems, DerivedGeodeticSystemAndReferences) {
    VexoGeoTest::SystemRef utm(CCoordinateSystem::FromEpsgCode("32633"));
    CGeodesic g(utm.Get()), copy(g);
    ASSERT_NE(g.GetLatLongCoordinateSystem(), nullptr);
    EXPECT_TRUE(g.GetLatLongCoordinateSystem()->IsGeographic());
    copy = copy;
    EXPECT_EQ(copy.GetLatLongCoordinateSystem(), g.GetLatLongCoordinateSystem());
    g.SetCoordinateSystem(nullptr);
    EXPECT_EQ(g.GetLatLongCoordinateSystem(), nullptr);
    double d = -1;
    EXPECT_TRUE(copy.Inverse(500000, 0, 500000, 0, d));
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

// A batch over 2.5 chunks, with unplaceable points scattered over every chunk, gives per pair what
// Inverse gives, to the last bit, or NaN where Inverse refuses. The transformation kept by a
// CGeodesic (also by its copies, and rebuilt when the working system changes) gives what a new
// transformation gives, to the last bit.
TEST(GeodesicBatch, EqualsInverseToTheLastBitAcrossChunks) {
    const std::size_t count = Geo::kGeodesicChunkPoints + Geo::kGeodesicChunkPoints / 4 + 37;
    const struct {
        const char *code;
        double xMin, xMax, yMin, yMax, bad;
        bool degrees; // the geodetic system counts degrees from Greenwich
    } kSystems[] = {{"4326", -180, 180, -89, 89, HUGE_VAL, true},
                    {"4258", -10, 30, 35, 70, HUGE_VAL, true},
                    {"32633", 200000, 800000, -8000000, 9000000, 1e300, true},
                    {"3857", -2e7, 2e7, -1.5e7, 1.5e7, -HUGE_VAL, true},
                    {"2056", 2.5e6, 2.85e6, 1.07e6, 1.3e6, NAN, true},
                    {"31287", 1e5, 7e5, 2.5e5, 6e5, NAN, true},
                    {"4807", -5, 5, 40, 60, NAN, false},
                    {"27572", 0, 1.2e6, 1.6e6, 2.7e6, HUGE_VAL, false}};
    for (const auto &s : kSystems) {
        SCOPED_TRACE(s.code);
        const CGeodesic g(CCoordinateSystem::FromEpsgCode(s.code)), copy(g);
        CGeodesic assigned, reset(CCoordinateSystem::FromEpsgCode("4326"));
        assigned = g;
        reset.SetCoordinateSystem(g.GetCoordinateSystem());
        const CGeodesic *const holders[] = {&copy, &assigned, &reset};
        CCoordinateSystem *latLong = g.GetLatLongCoordinateSystem();
        double a = 0, b = 0;
        ASSERT_TRUE(latLong && latLong->GetSpheroidDefinition(a, b));
        const auto series = Geo::MakeSeriesGeodesic(a, CCoordinateSystem::GetFlattening(a, b));
        std::mt19937_64 random(20260703);
        std::uniform_real_distribution<double> ux(s.xMin, s.xMax), uy(s.yMin, s.yMax);
        std::vector<double> x1(count), y1(count), x2(count), y2(count);
        for (std::size_t i = 0; i < count; ++i) {
            x1[i] = ux(random), y1[i] = uy(random), x2[i] = ux(random), y2[i] = uy(random);
            if (i % 97 == 5)
                (i % 2 ? x1 : x2)[i] = s.bad;
        }
        std::vector<double> d(count, kUntouched), a1(d), a2(d), distanceOnly(d);
        const std::uint64_t measured = g.InverseBatch(count, x1.data(), y1.data(), x2.data(),
                                                      y2.data(), d.data(), a1.data(), a2.data());
        EXPECT_EQ(g.InverseBatch(count, x1.data(), y1.data(), x2.data(), y2.data(),
                                 distanceOnly.data(), nullptr, nullptr),
                  measured);
        std::uint64_t expected = 0;
        for (std::size_t i = 0; i < count; ++i) {
            double single = kUntouched;
            if (!g.Inverse(x1[i], y1[i], x2[i], y2[i], single)) {
                EXPECT_EQ(single, kUntouched) << i;
                EXPECT_TRUE(std::isnan(d[i]) && std::isnan(a1[i]) && std::isnan(a2[i]) &&
                            std::isnan(distanceOnly[i]))
                    << i;
                continue;
            }
            ++expected;
            EXPECT_TRUE(SameBits(d[i], single)) << i << ": " << d[i] << " vs " << single;
            EXPECT_TRUE(SameBits(distanceOnly[i], single)) << i;
            EXPECT_TRUE(std::abs(a1[i]) <= 180 && std::abs(a2[i]) <= 180) << i;
            if (!s.degrees || i % 7 != 0)
                continue;
            // A new normalized transformation and GeographicLib solution for the pair.
            double xs[2] = {x1[i], x2[i]}, ys[2] = {y1[i], y2[i]}, fresh = 0;
            ASSERT_TRUE(Geo::CConverter(g.GetCoordinateSystem(), latLong)
                            .TransformCoordinates(2, xs, ys, nullptr));
            series.Inverse(ys[0], xs[0], ys[1], xs[1], fresh);
            EXPECT_TRUE(SameBits(single, fresh)) << i << ": " << single << " vs " << fresh;
            for (const CGeodesic *h : holders) {
                double other = -1;
                ASSERT_TRUE(h->Inverse(x1[i], y1[i], x2[i], y2[i], other)) << i;
                EXPECT_TRUE(SameBits(other, single)) << i;
            }
        }
        EXPECT_EQ(measured, expected);
        EXPECT_LT(measured, count); // the unplaceable points took part
    }
    proj_errno_reset(nullptr);
}

TEST(GeodesicBatch, AzimuthsAsGeodSolveGivesThem) {
    VEXOGEO_REQUIRE_PROGRAM("GeodSolve", "geographiclib-tools");
    const double x1[] = {16.37, -74.0, 179.5, 0}, y1[] = {48.21, 40.7, -10, 0};
    const double x2[] = {2.35, 139.7, -179.5, 0}, y2[] = {48.86, 35.7, 10, 0};
    double d[4], a1[4], a2[4];
    const CGeodesic g(CCoordinateSystem::FromEpsgCode("4326"));
    ASSERT_EQ(g.InverseBatch(4, x1, y1, x2, y2, d, a1, nullptr), 4u);
    ASSERT_EQ(g.InverseBatch(4, x1, y1, x2, y2, d, nullptr, a2), 4u);
    Ring lonLat;
    for (int i = 0; i < 4; ++i)
        lonLat.x.insert(lonLat.x.end(), {x1[i], x2[i]}),
            lonLat.y.insert(lonLat.y.end(), {y1[i], y2[i]});
    const auto v = GeodSolve(lonLat, "-p 9"); // azi1 azi2 s12 per pair
    ASSERT_EQ(v.size(), 12u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(a1[i], v[3 * i], 1e-12) << i;
        EXPECT_NEAR(a2[i], v[3 * i + 1], 1e-12) << i;
        EXPECT_NEAR(d[i], v[3 * i + 2], 1e-6) << i;
    }
}

TEST(GeodesicBatch, NothingMeasurableLeavesOutputsUntouched) {
    const double x[] = {10, 11, 12, 10}, y[] = {50, 50, 51, 51};
    const double xFar[] = {500000, 1e300, 510000}, yFar[] = {5e6, 5e6, 5.1e6};
    const double yPolar[] = {50, 91, 51};
    const CGeodesic empty, wgs(CCoordinateSystem::FromEpsgCode("4326")),
        utm(CCoordinateSystem::FromEpsgCode("32633"));
    const struct {
        const char *name;
        const CGeodesic &g;
        std::uint64_t count;
        const double *x, *y;
    } kCases[] = {{"no system", empty, 4, x, y},         {"too few", wgs, 1, x, y},
                  {"null x", wgs, 4, nullptr, y},        {"null y", wgs, 4, x, nullptr},
                  {"failed vertex", utm, 3, xFar, yFar}, {"latitude 91", wgs, 3, x, yPolar}};
    for (const auto &c : kCases) {
        double length = kUntouched, area = kUntouched, perimeter = kUntouched;
        EXPECT_FALSE(c.g.LineLength(c.count, c.x, c.y, length)) << c.name;
        EXPECT_FALSE(c.g.PolygonArea(c.count, c.x, c.y, area, perimeter)) << c.name;
        EXPECT_TRUE(length == kUntouched && area == kUntouched && perimeter == kUntouched)
            << c.name;
    }
    double area = kUntouched, perimeter = kUntouched;
    EXPECT_FALSE(wgs.PolygonArea(2, x, y, area, perimeter));
    EXPECT_EQ(area, kUntouched);

    double d[4] = {kUntouched, kUntouched, kUntouched, kUntouched};
    EXPECT_EQ(empty.InverseBatch(2, x, y, x + 2, y + 2, d, nullptr, nullptr), 0u);
    EXPECT_EQ(wgs.InverseBatch(2, x, y, nullptr, y + 2, d, nullptr, nullptr), 0u);
    EXPECT_EQ(wgs.InverseBatch(2, x, y, x + 2, y + 2, nullptr, d, d), 0u);
    EXPECT_EQ(wgs.InverseBatch(0, x, y, x + 2, y + 2, d, nullptr, nullptr), 0u);
    for (double v : d)
        EXPECT_EQ(v, kUntouched);
    proj_errno_reset(nullptr);
}

// Geographic rings, and a UTM 33N field whose geographic vertices cs2cs (independent of the
// library) gives.
TEST(GeodesicBatch, LengthAndAreaMatchPlanimeter) {
    VEXOGEO_REQUIRE_PROGRAM("Planimeter", "geographiclib-tools");
    VEXOGEO_REQUIRE_PROGRAM("cs2cs", "proj-bin");
    const struct {
        const char *name, *crs;
        Ring ring;
    } kRings[] = {
        {"counter-clockwise", "EPSG:4326", Circle(16, 48, 2, 7, false)},
        {"clockwise", "EPSG:4326", Circle(16, 48, 2, 7, true)},
        {"across the antimeridian", "EPSG:4326", Circle(180, -40, 3, 5, false)},
        {"three chunks of vertices", "EPSG:4326",
         Circle(-60, 10, 20, 2 * Geo::kGeodesicChunkPoints + 11, true)},
        {"triangle around the pole", "EPSG:4326", {{0, 120, 240}, {80, 80, 80}}},
        {"projected field",
         "EPSG:32633",
         {{400000, 650000, 700000, 420000, 380000}, {5000000, 5050000, 5400000, 5500000, 5200000}}},
    };
    for (const auto &r : kRings) {
        SCOPED_TRACE(r.name);
        const auto n = r.ring.x.size();
        const CGeodesic g(CCoordinateSystem::FromProj4Parameters(r.crs));
        double length = 0, area = 0, perimeter = 0;
        ASSERT_TRUE(g.LineLength(n, r.ring.x.data(), r.ring.y.data(), length));
        ASSERT_TRUE(g.PolygonArea(n, r.ring.x.data(), r.ring.y.data(), area, perimeter));
        const Ring lonLat = g.GetCoordinateSystem()->IsGeographic()
                                ? r.ring
                                : Cs2csLonLat(std::string(r.crs) + " EPSG:4326", r.ring);
        const auto line = Planimeter(lonLat, true), polygon = Planimeter(lonLat, false);
        EXPECT_EQ(line[0], n);
        EXPECT_NEAR(length, line[1], 1e-3);
        EXPECT_NEAR(perimeter, polygon[1], 1e-3);
        EXPECT_NEAR(area, std::abs(polygon[2]), 1.0);
        EXPECT_GT(area, 0);
    }
}
