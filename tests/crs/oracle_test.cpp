// Transformation in place against PROJ's cs2cs on seeded random points.
#include <vexogeo/vexogeo.h>

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/subprocess.h"
#include "support/test_data.h"

using Geo::CConverter;
using Geo::CCoordinateSystem;

// Seeded random points; cs2cs follows the authority's axis order (EPSG:4326: latitude first).
TEST(TransformationOracle, AgreesWithCs2csOnSeededPoints) {
    VEXOGEO_REQUIRE_PROGRAM("cs2cs", "proj-bin");
    std::mt19937_64 random(20261205);
    for (const auto &row : VexoGeoTest::TestTable("crs/cs2cs_pairs.tsv", 9)) {
        SCOPED_TRACE(row.m_trace);
        const std::string &from = row[0], &to = row[1];
        const bool fromLatFirst = row[6] == "1", toLatFirst = row[7] == "1";
        const double tolerance = row.Number(8);
        constexpr int kCount = 300;
        std::uniform_real_distribution<double> ux(row.Number(2), row.Number(3)),
            uy(row.Number(4), row.Number(5));
        std::vector<double> xs(kCount), ys(kCount);
        std::ostringstream input;
        input.precision(17);
        for (int i = 0; i < kCount; ++i) {
            xs[i] = ux(random);
            ys[i] = uy(random);
            input << (fromLatFirst ? ys[i] : xs[i]) << ' ' << (fromLatFirst ? xs[i] : ys[i])
                  << '\n';
        }
        const auto oracle =
            VexoGeoTest::RunCommand("cs2cs -f %.12f " + from + " " + to, input.str());
        ASSERT_EQ(oracle.exitCode, 0);

        CConverter converter(CCoordinateSystem::FromEpsgCode(from.c_str() + 5),
                             CCoordinateSystem::FromEpsgCode(to.c_str() + 5));
        ASSERT_TRUE(converter.TransformCoordinates(kCount, xs.data(), ys.data(), nullptr));
        EXPECT_FALSE(converter.HasError());
        std::istringstream lines(oracle.out);
        for (int i = 0; i < kCount; ++i) {
            double a = 0, b = 0, z = 0;
            ASSERT_TRUE(lines >> a >> b >> z) << "cs2cs line " << i;
            EXPECT_NEAR(xs[i], toLatFirst ? b : a, tolerance) << "#" << i;
            EXPECT_NEAR(ys[i], toLatFirst ? a : b, tolerance) << "#" << i;
        }
    }
}
