// The axis order of WMS 1.3.0 boxes: the systems whose eastings point south or north (polar
// stereographic, UPS) and, over every EPSG system, against pyproj's reading of the first axis.
#include <gtest/gtest.h>

#include <sstream>

#include "support/subprocess.h"
#include "support/test_data.h"
#include "wms/axis_order.h"

namespace Geo::Wms {
namespace {

TEST(WmsAxisOrder, FirstAxisByWhatItMeasures) {
    for (const VexoGeoTest::TableRow &row :
         VexoGeoTest::TestTable("wms/tables/axis_order.txt", 2)) {
        SCOPED_TRACE(row.m_trace);
        const AxisOrder order = LookUpAxisOrder(row[0]);
        EXPECT_EQ(order == AxisOrder::EastingFirst    ? "E"
                  : order == AxisOrder::NorthingFirst ? "N"
                  : order == AxisOrder::Unknown       ? "-"
                                                      : "?",
                  row[1]);
    }
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
