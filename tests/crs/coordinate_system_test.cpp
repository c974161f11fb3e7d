// Coordinate-system handles: factories, counting, ownership and the kind and ellipsoid queries.
#include <vexogeo/vexogeo.h>

#include <gtest/gtest.h>
#include <proj.h>

#include <cmath>
#include <limits>
#include <string>

#include "crs/system_ref.h"
#include "support/test_data.h"

using Geo::CCoordinateSystem;
using SystemRef = Geo::CSystemRef;

namespace {

std::string IdOf(const CCoordinateSystem &cs) {
    const auto *pj = static_cast<const PJ *>(cs.GetRaw());
    const char *auth = proj_get_id_auth_name(pj, 0), *code = proj_get_id_code(pj, 0);
    return std::string(auth ? auth : "?") + ":" + (code ? code : "?");
}

} // namespace

TEST(CoordinateSystemFactories, BuildOrRefuseEachForm) {
    EXPECT_EQ(CCoordinateSystem::FromEpsgCode(nullptr), nullptr);
    EXPECT_EQ(CCoordinateSystem::FromEsriCode(nullptr), nullptr);
    EXPECT_EQ(CCoordinateSystem::FromProj4Parameters(nullptr), nullptr);
    for (const auto &c : VexoGeoTest::TestTable("crs/factories.tsv", 3)) {
        const std::string &form = c[0], &text = c[1];
        const auto colon = text.find(':');
        SystemRef cs(form == "epsg"   ? CCoordinateSystem::FromEpsgCode(text.c_str())
                     : form == "esri" ? CCoordinateSystem::FromEsriCode(text.c_str())
                     : form == "proj"
                         ? CCoordinateSystem::FromProj4Parameters(text.c_str())
                         : CCoordinateSystem::FromSrid(Geo::Srid(
                               text.substr(0, colon), std::stoi(text.substr(colon + 1)))));
        EXPECT_EQ(cs ? IdOf(*cs.Get()) : "", c[2]) << c.m_trace;
    }
    // Without +type=crs a PROJ string is an operation, not a system: accepted as PROJ gives it.
    SystemRef op(CCoordinateSystem::FromProj4Parameters("+proj=merc +ellps=WGS84"));
    ASSERT_TRUE(op);
    EXPECT_FALSE(op->IsGeographic());
}

// Counting starts at 0 in the factory; the last release destroys the handle but not an object
// detached from it. LeakSanitizer and AddressSanitizer see a missed or doubled free.
TEST(CoordinateSystemOwnership, DetachGivesTheObjectAwayAndAttachReplacesIt) {
    auto *cs = CCoordinateSystem::FromEpsgCode("4326");
    ASSERT_NE(cs, nullptr);
    EXPECT_EQ(cs->AddRef(), 1u);
    EXPECT_EQ(cs->AddRef(), 2u);
    EXPECT_EQ(cs->Release(), 1u);
    void *raw = cs->Detach();
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(cs->GetRaw(), nullptr);
    EXPECT_EQ(cs->Release(), 0u); // must not destroy the detached object
    EXPECT_EQ(proj_get_type(static_cast<PJ *>(raw)), PJ_TYPE_GEOGRAPHIC_2D_CRS);

    CCoordinateSystem holder(raw);
    EXPECT_TRUE(holder.IsGeographic());
    holder.Attach(proj_create(nullptr, "EPSG:4978")); // destroys the first object
    EXPECT_TRUE(holder.IsGeocent());
    holder.Attach(nullptr);
    EXPECT_EQ(holder.GetRaw(), nullptr);
    EXPECT_FALSE(holder.IsGeocent());
}

TEST(CoordinateSystemKinds, TypeTestsAreIndependent) {
    for (const auto &c : VexoGeoTest::TestTable("crs/kinds.tsv", 4)) {
        SCOPED_TRACE(c.m_trace);
        SystemRef cs(CCoordinateSystem::FromProj4Parameters(c[0].c_str()));
        ASSERT_TRUE(cs);
        EXPECT_EQ(cs->IsLatLong(), c[1] == "1");
        EXPECT_EQ(cs->IsGeocent(), c[2] == "1");
        EXPECT_EQ(cs->IsGeographic(), c[3] == "1");
    }
    const CCoordinateSystem empty;
    EXPECT_FALSE(empty.IsLatLong() || empty.IsGeocent() || empty.IsGeographic());
}

TEST(CoordinateSystemGeodetic, ProjectedSystemYieldsItsBaseWithOneReference) {
    SystemRef utm(CCoordinateSystem::FromEpsgCode("32633"));
    ASSERT_TRUE(utm);
    CCoordinateSystem *base = nullptr;
    ASSERT_TRUE(utm->GetLatLongCoordinateSystem(&base));
    ASSERT_NE(base, nullptr);
    EXPECT_TRUE(base->IsGeographic());
    EXPECT_EQ(IdOf(*base), "EPSG:4326");
    EXPECT_EQ(base->Release(), 0u); // the handed-out reference was the only one

    EXPECT_FALSE(utm->GetLatLongCoordinateSystem(nullptr));
    CCoordinateSystem empty;
    auto *untouched = reinterpret_cast<CCoordinateSystem *>(0x1);
    EXPECT_FALSE(empty.GetLatLongCoordinateSystem(&untouched));
    EXPECT_EQ(untouched, reinterpret_cast<CCoordinateSystem *>(0x1));
}

TEST(CoordinateSystemEllipsoid, AxesInMetres) {
    for (const auto &c : VexoGeoTest::TestTable("crs/ellipsoids.tsv", 4)) {
        SCOPED_TRACE(c.m_trace);
        SystemRef cs(CCoordinateSystem::FromProj4Parameters(c[0].c_str()));
        ASSERT_TRUE(cs);
        double a = 0, b = 0;
        ASSERT_TRUE(cs->GetSpheroidDefinition(a, b));
        EXPECT_DOUBLE_EQ(a, c.Number(1));
        EXPECT_NEAR(b, c.Number(2), 1e-6);
        EXPECT_NEAR(CCoordinateSystem::GetFlattening(c.Number(1), c.Number(2)), c.Number(3), 1e-16);
    }
    EXPECT_NEAR(CCoordinateSystem::GetInverseFlattening(1 / 298.257223563), 298.257223563, 1e-9);
    EXPECT_EQ(CCoordinateSystem::GetInverseFlattening(0.0),
              std::numeric_limits<double>::infinity());
    const CCoordinateSystem empty;
    double a = 1, b = 2;
    EXPECT_FALSE(empty.GetSpheroidDefinition(a, b));
    EXPECT_TRUE(a == 1 && b == 2);
}
