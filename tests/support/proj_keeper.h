// Owners for coordinate-system handles in tests, so nothing leaks when an assertion fails.
#ifndef VEXOGEO_TESTS_SUPPORT_PROJ_KEEPER_H
#define VEXOGEO_TESTS_SUPPORT_PROJ_KEEPER_H

#include "crs/system_ref.h"

namespace VexoGeoTest {

/// Holds one counted reference on a handle and releases it when it goes out of scope.
using SystemRef = Geo::CSystemRef;

} // namespace VexoGeoTest

#endif
