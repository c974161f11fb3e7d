// Transformation in place against PROJ's cs2cs on seeded random points.
#include <vexogeo/vexogeo.h>

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/subprocess.h"

using Geo::CConverter;
using Geo::CCoordinateSystem;

// Seeded random points; cs2cs follows the authority's axis order (EPSG:4326: latitude first).
TEST(TransformationOracle, AgreesWithCs2csOnSeededPoints) {
    VEXOGEO_REQUIRE_PROGRAM("cs2cs", "proj-bin");
    const struct {
        const char *from, *to;
        double xMin, xMax, yMin, yMax; // x = longitude/easting, y = latitude/northing
        bool fromLatFirst, toLatFirst; // the order in which cs2cs reads and writes them
        double tolerance;              // in target units
    } kPairs[] = {
        {"EPSG:4326", "EPSG:3857", -180, 180, -85, 85, true, false, 1e-6},
        {"EPSG:4326", "EPSG:32633", 9, 21, 0, 84, true, false, 1e-6},
        // MGI / Austria Lambert defines northing first.
        {"EPSG:31287", "EPSG:4326", 110000, 690000, 280000, 580000, true, true, 1e-10},
        {"EPSG:27700", "EPSG:4326", 100000, 600000, 50000, 1000000, false, true, 1e-10},
    };
    std::mt19937_64 random(20261205);
    for (const auto &pair : kPairs) {
        SCOPED_TRACE(std::string(pair.from) + " -> " + pair.to);
        constexpr int kCount = 300;
        std::uniform_real_distribution<double> ux(pair.xMin, pair.xMax), uy(pair.yMin, pair.yMax);
        std::vector<double> xs(kCount), ys(kCount);
        std::ostringstream input;
        input.precision(17);
        for (int i = 0; i < kCount; ++i) {
            xs[i] = ux(random);
            ys[i] = uy(random);
            input << (pair.fromLatFirst ? ys[i] : xs[i]) << ' '
                  << (pair.fromLatFirst ? xs[i] : ys[i]) << '\n';
        }
        const auto oracle = VexoGeoTest::RunCommand(
            std::string("cs2cs -f %.12f ") + pair.from + " " + pair.to, input.str());
        ASSERT_EQ(oracle.exitCode, 0);

        CConverter converter(CCoordinateSystem::FromEpsgCode(pair.from + 5),
                             CCoordinateSystem::FromEpsgCode(pair.to + 5));
        ASSERT_TRUE(converter.TransformCoordinates(kCount, xs.data(), ys.data(), nullptr));
        EXPECT_FALSE(converter.HasError());
        std::istringstream lines(oracle.out);
        for (int i = 0; i < kCount; ++i) {
            double a = 0, b = 0, z = 0;
            ASSERT_TRUE(lines >> a >> b >> z) << "cs2cs line " << i;
            EXPECT_NEAR(xs[i], pair.toLatFirst ? b : a, pair.tolerance) << "#" << i;
            EXPECT_NEAR(ys[i], pair.toLatFirst ? a : b, pair.tolerance) << "#" << i;
        }
    }
}
