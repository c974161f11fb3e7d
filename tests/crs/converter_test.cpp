// The converter: transformation in place, axis normalization, strides, error state, ownership.
#include <vexogeo/vexogeo.h>

#include <gtest/gtest.h>
#include <proj.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/proj_keeper.h"

using Geo::CConverter;
using Geo::CCoordinateSystem;
using VexoGeoTest::SystemRef;

namespace {

class ConverterTest : public ::testing::Test {
  protected:
    void SetUp() override { proj_errno_reset(nullptr); }
    void TearDown() override { proj_errno_reset(nullptr); }
};

// Vienna: 16.3725 E, 48.2082 N in Web Mercator, computed from the spherical Mercator formulas.
constexpr double kLon = 16.3725, kLat = 48.2082;
const double kMercX = 6378137.0 * kLon * M_PI / 180;
const double kMercY = 6378137.0 * std::log(std::tan(M_PI / 4 + kLat * M_PI / 360));

} // namespace

TEST_F(ConverterTest, IncompleteConverterTouchesNothing) {
    SystemRef wgs(CCoordinateSystem::FromEpsgCode("4326"));
    CConverter none;
    CConverter sourceOnly(wgs.Get(), nullptr);
    // An empty handle handed only to the converter is deleted with it.
    CConverter emptySource(new CCoordinateSystem(), wgs.Get());
    proj_errno_reset(nullptr); // PROJ records its own complaint about the missing object
    for (const CConverter *c : {&none, &sourceOnly, &emptySource}) {
        double x = 1, y = 2, z = 3;
        EXPECT_FALSE(c->TransformCoordinate(x, y));
        EXPECT_FALSE(c->TransformCoordinate(x, y, z));
        EXPECT_FALSE(c->TransformCoordinates(1, &x, &y, &z));
        EXPECT_EQ(x, 1);
        EXPECT_EQ(y, 2);
        EXPECT_EQ(z, 3);
        EXPECT_FALSE(c->HasError());
    }
}

TEST_F(ConverterTest, NormalizedAxisOrderWhateverTheSystemsDefine) {
    // EPSG:4326 defines latitude first; the converter always takes longitude first.
    CConverter c(CCoordinateSystem::FromEpsgCode("4326"), CCoordinateSystem::FromEpsgCode("3857"));
    double x = kLon, y = kLat;
    ASSERT_TRUE(c.TransformCoordinate(x, y));
    EXPECT_NEAR(x, kMercX, 1e-6);
    EXPECT_NEAR(y, kMercY, 1e-6);
    EXPECT_FALSE(c.HasError());

    CConverter back(c.GetTarget(), c.GetSource());
    ASSERT_TRUE(back.TransformCoordinate(x, y));
    EXPECT_NEAR(x, kLon, 1e-12);
    EXPECT_NEAR(y, kLat, 1e-12);
}

TEST_F(ConverterTest, StridedRecordsAreTransformedWhereTheyLie) {
    CConverter c(CCoordinateSystem::FromEpsgCode("4326"), CCoordinateSystem::FromEpsgCode("3857"));
    struct Xyz {
        double x, y, z;
    } records[3] = {{kLon, kLat, 100}, {0, 0, 5}, {-kLon, -kLat, -7}};
    ASSERT_TRUE(c.TransformCoordinates(3, sizeof(Xyz), &records[0].x, 3, sizeof(Xyz), &records[0].y,
                                       3, sizeof(Xyz), &records[0].z));
    EXPECT_NEAR(records[0].x, kMercX, 1e-6);
    EXPECT_NEAR(records[0].y, kMercY, 1e-6);
    EXPECT_EQ(records[0].z, 100);
    EXPECT_NEAR(records[1].x, 0, 1e-9);
    EXPECT_NEAR(records[1].y, 0, 1e-9);
    EXPECT_NEAR(records[2].x, -kMercX, 1e-6);
    EXPECT_NEAR(records[2].y, -kMercY, 1e-6);
    EXPECT_EQ(records[2].z, -7);

    // 2-D packed arrays with z null.
    std::vector<double> xs = {kLon, 0}, ys = {kLat, 0};
    ASSERT_TRUE(c.TransformCoordinates(2, xs.data(), ys.data(), nullptr));
    EXPECT_NEAR(xs[0], kMercX, 1e-6);
    EXPECT_NEAR(ys[0], kMercY, 1e-6);
}

TEST_F(ConverterTest, CountZeroIsFalseWithoutError) {
    CConverter c(CCoordinateSystem::FromEpsgCode("4326"), CCoordinateSystem::FromEpsgCode("3857"));
    double x = kLon, y = kLat;
    EXPECT_FALSE(c.TransformCoordinates(0, &x, &y, nullptr));
    EXPECT_FALSE(c.HasError());
    EXPECT_EQ(x, kLon);
}

TEST_F(ConverterTest, DifferingAxisCountsRecordTheGenericTransformationError) {
    CConverter c(CCoordinateSystem::FromEpsgCode("4326"), CCoordinateSystem::FromEpsgCode("3857"));
    double xs[3] = {kLon, kLon, kLon}, ys[2] = {kLat, kLat};
    // PROJ transforms as many points as the shorter axis holds; only the x count is compared.
    EXPECT_TRUE(c.TransformCoordinates(3, 8, xs, 2, 8, ys, 0, 8, nullptr));
    ASSERT_TRUE(c.HasError());
    int code = -1;
    std::string message = "stale";
    bool transformationError = false;
    c.GetErrorInfo(code, message, transformationError);
    EXPECT_EQ(code, 2048);
    EXPECT_EQ(message, proj_errno_string(2048));
    EXPECT_FALSE(message.empty());
    EXPECT_TRUE(transformationError);

    // A pending error is not overwritten, and success does not clear it.
    proj_errno_set(nullptr, 1025);
    double x = kLon, y = kLat;
    xs[0] = xs[1] = xs[2] = kLon;
    ys[0] = ys[1] = kLat;
    EXPECT_TRUE(c.TransformCoordinates(3, 8, xs, 2, 8, ys, 0, 8, nullptr));
    EXPECT_TRUE(c.TransformCoordinate(x, y));
    c.GetErrorInfo(code, message, transformationError);
    EXPECT_EQ(code, 1025);
    EXPECT_FALSE(transformationError);

    c.ClearError();
    EXPECT_FALSE(c.HasError());
    c.GetErrorInfo(code, message, transformationError);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(message, "");
    EXPECT_FALSE(transformationError);
}

TEST_F(ConverterTest, OutOfRangePointKeepsProjsOwnError) {
    CConverter c(CCoordinateSystem::FromEpsgCode("4326"), CCoordinateSystem::FromEpsgCode("3857"));
    double xs[2] = {kLon, 10}, ys[2] = {kLat, 91};
    // PROJ counts the failed point too, so the count matches and PROJ's own code stays.
    EXPECT_TRUE(c.TransformCoordinates(2, xs, ys, nullptr));
    int code = 0;
    std::string message;
    bool transformationError = false;
    c.GetErrorInfo(code, message, transformationError);
    EXPECT_EQ(code, PROJ_ERR_COORD_TRANSFM_INVALID_COORD); // 2049
    EXPECT_TRUE(transformationError);
    EXPECT_NEAR(xs[0], kMercX, 1e-6);
    EXPECT_EQ(xs[1], HUGE_VAL);
}

TEST_F(ConverterTest, GetErrorInfoClassifiesTheRanges) {
    const CConverter c;
    const struct {
        int code;
        bool transformation;
    } cases[] = {{1024, false}, {2047, false}, {2048, true},
                 {3000, true},  {4095, true},  {4096, false}};
    for (const auto &e : cases) {
        proj_errno_set(nullptr, e.code);
        int code = 0;
        std::string message;
        bool transformationError = !e.transformation;
        c.GetErrorInfo(code, message, transformationError);
        EXPECT_EQ(code, e.code);
        EXPECT_EQ(message, proj_errno_string(e.code));
        EXPECT_EQ(transformationError, e.transformation) << e.code;
        proj_errno_reset(nullptr);
    }
}

TEST_F(ConverterTest, ChangingSystemsRebuildsOrDropsTheTransformation) {
    SystemRef wgs(CCoordinateSystem::FromEpsgCode("4326"));
    SystemRef merc(CCoordinateSystem::FromEpsgCode("3857"));
    SystemRef utm(CCoordinateSystem::FromEpsgCode("32633"));
    CConverter c(wgs.Get(), merc.Get());
    c.SetSource(wgs.Get()); // same pointer: nothing changes
    EXPECT_EQ(c.GetSource(), wgs.Get());
    c.SetTarget(utm.Get());
    double x = 15, y = 0;
    ASSERT_TRUE(c.TransformCoordinate(x, y));
    EXPECT_NEAR(x, 500000, 1e-6); // central meridian of zone 33
    EXPECT_NEAR(y, 0, 1e-6);
    c.SetSource(nullptr);
    EXPECT_EQ(c.GetSource(), nullptr);
    x = 15;
    EXPECT_FALSE(c.TransformCoordinate(x, y));
    EXPECT_EQ(x, 15);
}

TEST_F(ConverterTest, CopiesShareSystemsAndOwnTheirTransformation) {
    // Systems handed only to converters (count 0 from the factory) die with the last holder;
    // LeakSanitizer and AddressSanitizer prove each reference and PROJ object is freed once.
    auto *c1 = new CConverter(CCoordinateSystem::FromEpsgCode("4326"),
                              CCoordinateSystem::FromEpsgCode("3857"));
    CConverter c2(*c1);
    CConverter c3(CCoordinateSystem::FromEpsgCode("32633"),
                  CCoordinateSystem::FromEpsgCode("4326"));
    c3 = *c1; // drops the UTM and the second geographic system
    c3 = c3;  // self-assignment keeps everything
    delete c1;
    for (const CConverter *c : {&c2, &c3}) {
        double x = kLon, y = kLat;
        ASSERT_TRUE(c->TransformCoordinate(x, y));
        EXPECT_NEAR(x, kMercX, 1e-6);
        EXPECT_EQ(c->GetSource(), c2.GetSource());
    }
    CConverter empty;
    c2 = empty;
    EXPECT_EQ(c2.GetSource(), nullptr);
}
