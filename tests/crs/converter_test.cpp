// The converter: axis normalization, strides, error state, ownership. Its numbers against cs2cs
// are in oracle_test.cpp.
#include <vexogeo/vexogeo.h>

#include <gtest/gtest.h>
#include <proj.h>

#include <cmath>
#include <string>
#include <vector>

#include "crs/system_ref.h"

using Geo::CConverter;
using Geo::CCoordinateSystem;
using SystemRef = Geo::CSystemRef;

namespace {

class ConverterTest : public ::testing::Test {
  protected:
    void SetUp() override { proj_errno_reset(nullptr); }
    void TearDown() override { proj_errno_reset(nullptr); }
};

// Vienna in Web Mercator, computed from the spherical Mercator formulas.
constexpr double kLon = 16.3725, kLat = 48.2082;
const double kMercX = 6378137.0 * kLon * M_PI / 180;
const double kMercY = 6378137.0 * std::log(std::tan(M_PI / 4 + kLat * M_PI / 360));

CConverter WgsToMercator() {
    return CConverter(CCoordinateSystem::FromEpsgCode("4326"),
                      CCoordinateSystem::FromEpsgCode("3857"));
}

struct ErrorInfo {
    int code;
    std::string message;
    bool transformation;
};

// `seed` is the flag's value before the call, so that an unwritten flag shows.
ErrorInfo ErrorOf(const CConverter &c, bool seed = false) {
    ErrorInfo e{-1, "stale", seed};
    c.GetErrorInfo(e.code, e.message, e.transformation);
    return e;
}

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
        EXPECT_TRUE(x == 1 && y == 2 && z == 3);
        EXPECT_FALSE(c->HasError());
    }
}

TEST_F(ConverterTest, StridedRecordsAreTransformedWhereTheyLie) {
    const auto c = WgsToMercator();
    struct Xyz {
        double x, y, z;
    } records[3] = {{kLon, kLat, 100}, {0, 0, 5}, {-kLon, -kLat, -7}};
    ASSERT_TRUE(c.TransformCoordinates(3, sizeof(Xyz), &records[0].x, 3, sizeof(Xyz), &records[0].y,
                                       3, sizeof(Xyz), &records[0].z));
    const double kWant[3][4] = {// x, y, z, tolerance
                                {kMercX, kMercY, 100, 1e-6},
                                {0, 0, 5, 1e-9},
                                {-kMercX, -kMercY, -7, 1e-6}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(records[i].x, kWant[i][0], kWant[i][3]) << i;
        EXPECT_NEAR(records[i].y, kWant[i][1], kWant[i][3]) << i;
        EXPECT_EQ(records[i].z, kWant[i][2]) << i;
    }
    // A count of zero is false without an error.
    EXPECT_FALSE(c.TransformCoordinates(0, &records[0].x, &records[0].y, nullptr));
    EXPECT_FALSE(c.HasError());
    EXPECT_NEAR(records[0].x, kMercX, 1e-6);
}

TEST_F(ConverterTest, DifferingAxisCountsRecordTheGenericTransformationError) {
    auto c = WgsToMercator();
    double xs[3] = {kLon, kLon, kLon}, ys[2] = {kLat, kLat};
    // PROJ transforms as many points as the shorter axis holds; only the x count is compared.
    EXPECT_TRUE(c.TransformCoordinates(3, 8, xs, 2, 8, ys, 0, 8, nullptr));
    ASSERT_TRUE(c.HasError());
    auto e = ErrorOf(c);
    EXPECT_EQ(e.code, 2048);
    EXPECT_EQ(e.message, proj_errno_string(2048));
    EXPECT_FALSE(e.message.empty());
    EXPECT_TRUE(e.transformation);

    // A pending error is not overwritten, and success does not clear it.
    proj_errno_set(nullptr, 1025);
    double x = kLon, y = kLat;
    xs[0] = xs[1] = xs[2] = kLon;
    ys[0] = ys[1] = kLat;
    EXPECT_TRUE(c.TransformCoordinates(3, 8, xs, 2, 8, ys, 0, 8, nullptr));
    EXPECT_TRUE(c.TransformCoordinate(x, y));
    e = ErrorOf(c, true);
    EXPECT_EQ(e.code, 1025);
    EXPECT_FALSE(e.transformation);

    c.ClearError();
    EXPECT_FALSE(c.HasError());
    e = ErrorOf(c, true);
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(e.message, "");
    EXPECT_FALSE(e.transformation);
}

TEST_F(ConverterTest, OutOfRangePointKeepsProjsOwnError) {
    const auto c = WgsToMercator();
    double xs[2] = {kLon, 10}, ys[2] = {kLat, 91};
    // PROJ counts the failed point too, so the count matches and PROJ's own code stays.
    EXPECT_TRUE(c.TransformCoordinates(2, xs, ys, nullptr));
    const auto e = ErrorOf(c);
    EXPECT_EQ(e.code, PROJ_ERR_COORD_TRANSFM_INVALID_COORD); // 2049
    EXPECT_TRUE(e.transformation);
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
    for (const auto &want : cases) {
        proj_errno_set(nullptr, want.code);
        const auto e = ErrorOf(c, !want.transformation);
        EXPECT_EQ(e.code, want.code);
        EXPECT_EQ(e.message, proj_errno_string(want.code));
        EXPECT_EQ(e.transformation, want.transformation) << want.code;
        proj_errno_reset(nullptr);
    }
}

TEST_F(ConverterTest, ChangingSystemsRebuildsOrDropsTheTransformation) {
    SystemRef wgs(CCoordinateSystem::FromEpsgCode("4326"));
    SystemRef merc(CCoordinateSystem::FromEpsgCode("3857"));
    SystemRef utm(CCoordinateSystem::FromEpsgCode("32633"));
    CConverter c(wgs.Get(), merc.Get());
    c.SetSource(wgs.Get()); // same pointer: nothing changes, nothing is released
    c.SetTarget(utm.Get());
    double x = 15, y = 0;
    ASSERT_TRUE(c.TransformCoordinate(x, y));
    EXPECT_NEAR(x, 500000, 1e-6); // central meridian of zone 33
    EXPECT_NEAR(y, 0, 1e-6);
    c.SetSource(nullptr);
    x = 15;
    EXPECT_FALSE(c.TransformCoordinate(x, y));
    EXPECT_EQ(x, 15);
}

TEST_F(ConverterTest, CopiesShareSystemsAndOwnTheirTransformation) {
    // Systems handed only to converters (count 0 from the factory) die with the last holder;
    // LeakSanitizer and AddressSanitizer prove each reference and PROJ object is freed once.
    auto *c1 = new CConverter(WgsToMercator());
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
