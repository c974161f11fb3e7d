// Coordinate-system handles: factories, counting, ownership and the kind and ellipsoid queries.
#include <vexogeo/vexogeo.h>

#include <gtest/gtest.h>
#include <proj.h>

#include <cmath>
#include <limits>
#include <string>

#include "support/proj_keeper.h"

using Geo::CCoordinateSystem;
using VexoGeoTest::SystemRef;

namespace {

std::string IdOf(const CCoordinateSystem &cs) {
    const auto *pj = static_cast<const PJ *>(cs.GetRaw());
    const char *auth = proj_get_id_auth_name(pj, 0), *code = proj_get_id_code(pj, 0);
    return std::string(auth ? auth : "?") + ":" + (code ? code : "?");
}

} // namespace

TEST(CoordinateSystemFactories, RefuseNullAndRejectedDefinitions) {
    EXPECT_EQ(CCoordinateSystem::FromEpsgCode(nullptr), nullptr);
    EXPECT_EQ(CCoordinateSystem::FromEsriCode(nullptr), nullptr);
    EXPECT_EQ(CCoordinateSystem::FromProj4Parameters(nullptr), nullptr);
    EXPECT_EQ(CCoordinateSystem::FromEpsgCode(""), nullptr);      // "EPSG:"
    EXPECT_EQ(CCoordinateSystem::FromEpsgCode("4326x"), nullptr); // bytes passed unchanged
    EXPECT_EQ(CCoordinateSystem::FromEpsgCode("999999999"), nullptr);
    EXPECT_EQ(CCoordinateSystem::FromSrid(Geo::Srid("", 4326)), nullptr); // ":4326"
    EXPECT_EQ(CCoordinateSystem::FromSrid(Geo::Srid("EPSG", -4326)), nullptr);
    EXPECT_EQ(CCoordinateSystem::FromSrid(Geo::Srid("epsg_", 4326)), nullptr);
    // Without +type=crs a PROJ string is an operation, not a system: accepted as PROJ gives it.
    SystemRef op(CCoordinateSystem::FromProj4Parameters("+proj=merc +ellps=WGS84"));
    ASSERT_TRUE(op);
    EXPECT_FALSE(op->IsGeographic());
}

TEST(CoordinateSystemFactories, BuildTheDefinitionFromEachForm) {
    const struct {
        CCoordinateSystem *cs;
        const char *id;
    } cases[] = {
        {CCoordinateSystem::FromEpsgCode("4326"), "EPSG:4326"},
        {CCoordinateSystem::FromEpsgCode("32633"), "EPSG:32633"},
        {CCoordinateSystem::FromEsriCode("54030"), "ESRI:54030"},
        {CCoordinateSystem::FromSrid(Geo::Srid("EPSG", 3857)), "EPSG:3857"},
        {CCoordinateSystem::FromSrid(Geo::Srid("ESRI", 102100)), "ESRI:102100"},
        {CCoordinateSystem::FromProj4Parameters("IGNF:LAMB93"), "IGNF:LAMB93"},
    };
    for (const auto &c : cases) {
        SystemRef cs(c.cs);
        ASSERT_TRUE(cs) << c.id;
        EXPECT_EQ(IdOf(*cs.Get()), c.id);
    }
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
    const struct {
        const char *definition;
        bool latLong, geocent, geographic;
    } cases[] = {
        {"EPSG:4326", false, false, true},
        {"EPSG:4979", false, false, true}, // geographic 3D
        {"EPSG:4978", false, true, false},
        {"EPSG:32633", false, false, false},
        {"+proj=longlat +ellps=GRS80 +type=crs", false, false, true},
        // A geodetic CRS on a spherical coordinate system: PROJ classifies it neither as
        // geographic nor as geocentric, the one kind the library calls lat/long.
        {"GEODCRS[\"WGS 84 spherical\",DATUM[\"World Geodetic System 1984\",ELLIPSOID[\"WGS 84\","
         "6378137,298.257223563,LENGTHUNIT[\"metre\",1]]],CS[spherical,2],AXIS[\"latitude (U)\","
         "north,ORDER[1],ANGLEUNIT[\"degree\",0.0174532925199433]],AXIS[\"longitude (V)\",east,"
         "ORDER[2],ANGLEUNIT[\"degree\",0.0174532925199433]]]",
         true, false, false},
    };
    for (const auto &c : cases) {
        SystemRef cs(CCoordinateSystem::FromProj4Parameters(c.definition));
        ASSERT_TRUE(cs) << c.definition;
        EXPECT_EQ(cs->IsLatLong(), c.latLong) << c.definition;
        EXPECT_EQ(cs->IsGeocent(), c.geocent) << c.definition;
        EXPECT_EQ(cs->IsGeographic(), c.geographic) << c.definition;
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

// Axes in metres, and the flattening they give (the semi-minor axis is itself rounded).
TEST(CoordinateSystemEllipsoid, AxesInMetres) {
    const struct {
        const char *definition;
        double a, b, f;
    } cases[] = {
        {"EPSG:4326", 6378137.0, 6356752.314245179, 1 / 298.257223563},
        {"EPSG:31287", 6377397.155, 6356078.962818189, 1 / 299.1528128}, // Bessel 1841
        {"+proj=longlat +R=6371000 +type=crs", 6371000.0, 6371000.0, 0},
    };
    for (const auto &c : cases) {
        SystemRef cs(CCoordinateSystem::FromProj4Parameters(c.definition));
        ASSERT_TRUE(cs) << c.definition;
        double a = 0, b = 0;
        ASSERT_TRUE(cs->GetSpheroidDefinition(a, b)) << c.definition;
        EXPECT_DOUBLE_EQ(a, c.a) << c.definition;
        EXPECT_NEAR(b, c.b, 1e-6) << c.definition;
        EXPECT_NEAR(CCoordinateSystem::GetFlattening(c.a, c.b), c.f, 1e-16) << c.definition;
    }
    EXPECT_NEAR(CCoordinateSystem::GetInverseFlattening(1 / 298.257223563), 298.257223563, 1e-9);
    EXPECT_EQ(CCoordinateSystem::GetInverseFlattening(0.0),
              std::numeric_limits<double>::infinity());
    const CCoordinateSystem empty;
    double a = 1, b = 2;
    EXPECT_FALSE(empty.GetSpheroidDefinition(a, b));
    EXPECT_TRUE(a == 1 && b == 2);
}
