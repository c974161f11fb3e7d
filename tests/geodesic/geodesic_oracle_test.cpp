// Geodesic distances, azimuths, polyline lengths and polygon areas in geographic and projected
// working systems against GeographicLib's GeodSolve and Planimeter, with PROJ's cs2cs placing
// projected points independently of the library.
#include <vexogeo/vexogeo.h>

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "geodesic/geodesic_batch.h"
#include "support/subprocess.h"
#include "support/test_data.h"

using Geo::CCoordinateSystem;
using Geo::CGeodesic;

namespace {

// Points; consecutive points 0 and 1, 2 and 3, ... make the pairs that are measured.
struct Ring {
    std::vector<double> x, y;
};

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

// Distances in any working system: cs2cs (which reads every angle in degrees, in the system's
// axis order) places the points in a degree system from Greenwich on the same datum, and GeodSolve
// measures them on the ellipsoid. Angles are in the system's own unit, from its own meridian.
TEST(GeodesicAccuracy, AnySystemAndAngleUnitMatchesCs2csAndGeodSolve) {
    VEXOGEO_REQUIRE_PROGRAM("GeodSolve", "geographiclib-tools");
    VEXOGEO_REQUIRE_PROGRAM("cs2cs", "proj-bin");
    for (const auto &row : VexoGeoTest::TestTable("geodesic/any_system.tsv", 6)) {
        SCOPED_TRACE(row.m_trace);
        const std::string &crs = row[0], &target = row[1];
        std::istringstream fields(row[5]);
        Ring p; // "x y" pairs, or "seeded" and Seeded's arguments
        double v[5] = {};
        if (row[5].rfind("seeded", 0) == 0 &&
            fields.ignore(6) >> v[0] >> v[1] >> v[2] >> v[3] >> v[4])
            p = Seeded(v[0], v[1], v[2], v[3], static_cast<int>(v[4]));
        for (double x, y; fields >> x >> y;)
            p.x.push_back(x), p.y.push_back(y);
        Ring degrees = p;
        for (std::size_t i = 0; i < p.x.size(); ++i)
            degrees.x[i] *= row.Number(2), degrees.y[i] *= row.Number(2);
        // cs2cs takes a PROJ string as separate words ending in "+to", anything else as one word.
        const std::string source = crs[0] == '+' ? crs + " +to " : "'" + crs + "' ";
        const auto oracle =
            GeodSolve(!target.empty() ? Cs2csLonLat(source + target, degrees, row[3] == "1") : p,
                      "-p 6 " + row[4]);
        ASSERT_EQ(oracle.size(), p.x.size() / 2 * 3);
        const CGeodesic g(CCoordinateSystem::FromProj4Parameters(crs.c_str()));
        for (std::size_t i = 0; i < p.x.size(); i += 2) {
            double d = -1;
            ASSERT_TRUE(g.Inverse(p.x[i], p.y[i], p.x[i + 1], p.y[i + 1], d)) << i;
            // cs2cs prints 1e-12 degrees: 0.1 micrometre.
            EXPECT_NEAR(d, oracle[i / 2 * 3 + 2], 1e-3) << i;
        }
    }
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

// Geographic rings, and a UTM 33N field whose geographic vertices cs2cs (independent of the
// library) gives.
TEST(GeodesicBatch, LengthAndAreaMatchPlanimeter) {
    VEXOGEO_REQUIRE_PROGRAM("Planimeter", "geographiclib-tools");
    VEXOGEO_REQUIRE_PROGRAM("cs2cs", "proj-bin");
    for (const auto &row : VexoGeoTest::TestTable("geodesic/rings.tsv", 2)) {
        SCOPED_TRACE(row.m_trace);
        Ring ring;
        std::istringstream fields(row[1]);
        double lon = 0, lat = 0, width = 0;
        std::string count;
        int clockwise = 0;
        if (row[1].rfind("circle", 0) == 0 &&
            fields.ignore(6) >> lon >> lat >> width >> count >> clockwise)
            ring = Circle(lon, lat, width,
                          count != "-" ? std::stoi(count) : 2 * Geo::kGeodesicChunkPoints + 11,
                          clockwise == 1);
        for (double x, y; fields >> x >> y;)
            ring.x.push_back(x), ring.y.push_back(y);
        const auto n = ring.x.size();
        const CGeodesic g(CCoordinateSystem::FromProj4Parameters(row[0].c_str()));
        double length = 0, area = 0, perimeter = 0;
        ASSERT_TRUE(g.LineLength(n, ring.x.data(), ring.y.data(), length));
        ASSERT_TRUE(g.PolygonArea(n, ring.x.data(), ring.y.data(), area, perimeter));
        const Ring lonLat = g.GetCoordinateSystem()->IsGeographic()
                                ? ring
                                : Cs2csLonLat(row[0] + " EPSG:4326", ring);
        const auto line = Planimeter(lonLat, true), polygon = Planimeter(lonLat, false);
        EXPECT_EQ(line[0], n);
        EXPECT_NEAR(length, line[1], 1e-3);
        EXPECT_NEAR(perimeter, polygon[1], 1e-3);
        EXPECT_NEAR(area, std::abs(polygon[2]), 1.0);
        EXPECT_GT(area, 0);
    }
}
