// Transformations checked against PROJ's own cs2cs on seeded random points.
#include <vexogeo/vexogeo.h>

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/subprocess.h"

using Geo::CConverter;
using Geo::CCoordinateSystem;

namespace {

struct Box {
    double xMin, xMax, yMin, yMax;
};

// cs2cs follows the authority's axis order: for EPSG:4326 latitude comes first.
struct OraclePair {
    const char *from;
    const char *to;
    Box box;           // x = longitude/easting, y = latitude/northing
    bool fromLatFirst; // cs2cs wants latitude/northing first for the source
    bool toLatFirst;   // cs2cs writes latitude first for the target
    double tolerance;  // in target units
};

const OraclePair kPairs[] = {
    {"EPSG:4326", "EPSG:3857", {-180, 180, -85, 85}, true, false, 1e-6},
    {"EPSG:4326", "EPSG:32633", {9, 21, 0, 84}, true, false, 1e-6},
    // MGI / Austria Lambert defines northing first.
    {"EPSG:31287", "EPSG:4326", {110000, 690000, 280000, 580000}, true, true, 1e-10},
    {"EPSG:27700", "EPSG:4326", {100000, 600000, 50000, 1000000}, false, true, 1e-10},
};

} // namespace

TEST(TransformationOracle, AgreesWithCs2csOnSeededPoints) {
    VEXOGEO_REQUIRE_PROGRAM("cs2cs", "proj-bin");
    std::mt19937_64 random(20261205);
    for (const auto &pair : kPairs) {
        constexpr int kCount = 300;
        std::uniform_real_distribution<double> ux(pair.box.xMin, pair.box.xMax);
        std::uniform_real_distribution<double> uy(pair.box.yMin, pair.box.yMax);
        std::vector<double> xs(kCount), ys(kCount);
        std::ostringstream input;
        input.precision(17);
        for (int i = 0; i < kCount; ++i) {
            xs[i] = ux(random);
            ys[i] = uy(random);
            if (pair.fromLatFirst)
                input << ys[i] << ' ' << xs[i] << '\n';
            else
                input << xs[i] << ' ' << ys[i] << '\n';
        }
        const auto oracle = VexoGeoTest::RunCommand(
            std::string("cs2cs -f %.12f ") + pair.from + " " + pair.to, input.str());
        ASSERT_EQ(oracle.exitCode, 0) << pair.from << " -> " << pair.to;

        CConverter converter(CCoordinateSystem::FromEpsgCode(pair.from + 5),
                             CCoordinateSystem::FromEpsgCode(pair.to + 5));
        ASSERT_TRUE(converter.TransformCoordinates(kCount, xs.data(), ys.data(), nullptr));
        EXPECT_FALSE(converter.HasError());

        std::istringstream lines(oracle.out);
        for (int i = 0; i < kCount; ++i) {
            double a = 0, b = 0, z = 0;
            ASSERT_TRUE(lines >> a >> b >> z) << "cs2cs line " << i;
            const double ex = pair.toLatFirst ? b : a;
            const double ey = pair.toLatFirst ? a : b;
            EXPECT_NEAR(xs[i], ex, pair.tolerance) << pair.from << " -> " << pair.to << " #" << i;
            EXPECT_NEAR(ys[i], ey, pair.tolerance) << pair.from << " -> " << pair.to << " #" << i;
        }
    }
}
