// A host whose executable has no Resources/Proj beside it gets no code lookups: the library
// tries no other folder. PROJ strings that need no database still work.
#include <vexogeo/vexogeo.h>

#include <gtest/gtest.h>

#include "crs/system_ref.h"

using Geo::CCoordinateSystem;

TEST(HostWithoutResources, CodeLookupsFailAndProjStringsWork) {
    EXPECT_EQ(CCoordinateSystem::FromEpsgCode("4326"), nullptr);
    EXPECT_EQ(CCoordinateSystem::FromEsriCode("54030"), nullptr);
    Geo::CSystemRef cs(
        CCoordinateSystem::FromProj4Parameters("+proj=longlat +datum=WGS84 +type=crs"));
    ASSERT_TRUE(cs);
    EXPECT_TRUE(cs->IsGeographic());
}
