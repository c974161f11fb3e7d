// The axis order of WMS 1.3.0 boxes: the systems whose eastings point south or north (polar
// stereographic, UPS) and, over every EPSG system, against pyproj's reading of the first axis.
#include <gtest/gtest.h>

#include <sstream>

#include "support/subprocess.h"
#include "wms/axis_order.h"

namespace Geo::Wms {
namespace {

TEST(WmsAxisOrder, FirstAxisByWhatItMeasures) {
    constexpr AxisOrder E = AxisOrder::EastingFirst, N = AxisOrder::NorthingFirst;
    const struct {
        const char *crs;
        AxisOrder order;
    } cases[] = {
        // Polar: "Easting" pointing south (3413, 3995, 5041) or north (3031, 3976) stays first;
        // UPS North (N,E) names a northing first, which also points south.
        {"EPSG:3413", E},
        {"EPSG:3995", E},
        {"EPSG:5041", E},
        {"EPSG:3031", E},
        {"EPSG:3976", E},
        {"EPSG:32661", N},
        // Latitude and northing first, also a "Southing" (Krovak) and a northing abbreviated X.
        {"EPSG:4326", N},
        {"EPSG:4258", N},
        {"EPSG:31468", N},
        {"EPSG:2065", N},
        // Easting first, also a "Westing" (South African Lo systems) and the OGC's CRS:84.
        {"EPSG:3857", E},
        {"EPSG:32633", E},
        {"EPSG:2046", E},
        {"CRS:84", E},
        {"urn:ogc:def:crs:EPSG::3413", E},
        {"EPSG:999999", AxisOrder::Unknown},
    };
    for (const auto &c : cases)
        EXPECT_EQ(LookUpAxisOrder(c.crs), c.order) << c.crs;
}

// pyproj (Python) reads the same EPSG database through its own bindings; its script decides by
// the axis name and abbreviation, as a WMS server's axis table does.
TEST(WmsAxisOrder, AgreesWithPyprojOverEveryEpsgSystem) {
    const std::string python = VEXOGEO_PYPROJ_PYTHON;
    if (python.empty())
        GTEST_SKIP() << "no Python with pyproj (Debian package python3-pyproj)";
    const VexoGeoTest::CommandResult reference = VexoGeoTest::RunCommand(
        "'" + python + "' '" VEXOGEO_TEST_SOURCE_DIR "/tests/wms/axis_order_reference.py'");
    if (reference.exitCode == 3)
        GTEST_SKIP() << python << " has no pyproj";
    ASSERT_EQ(reference.exitCode, 0);
    std::istringstream lines(reference.out);
    std::size_t compared = 0, northingFirst = 0;
    std::string differing;
    int code = 0;
    char order = 0;
    while (lines >> code >> order) {
        const std::string crs = "EPSG:" + std::to_string(code);
        const AxisOrder expected =
            order == 'N' ? AxisOrder::NorthingFirst : AxisOrder::EastingFirst;
        ++compared;
        northingFirst += order == 'N';
        if (LookUpAxisOrder(crs) != expected)
            differing += " " + crs;
    }
    // Every EPSG system of both kinds: some 6,000, a third of them northing first.
    EXPECT_GT(compared, 5000u);
    EXPECT_GT(northingFirst, 1500u);
    EXPECT_EQ(differing, "");
}

} // namespace
} // namespace Geo::Wms
