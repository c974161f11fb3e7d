// The GeographicLib side of the geodesic measurement: ellipsoid read from PROJ, inverse solved.
#ifndef VEXOGEO_GEODESIC_ELLIPSOID_GEODESIC_H
#define VEXOGEO_GEODESIC_ELLIPSOID_GEODESIC_H

#include <GeographicLib/Config.h>
#include <GeographicLib/Geodesic.hpp>

namespace Geo {

class CCoordinateSystem;

/// Builds GeographicLib's series solution for the ellipsoid (a, f). Throws GeographicLib's
/// exception for a non-finite or non-positive axis.
inline GeographicLib::Geodesic MakeSeriesGeodesic(double a, double f) {
#if GEOGRAPHICLIB_VERSION_MAJOR * 100 + GEOGRAPHICLIB_VERSION_MINOR >= 202
    return GeographicLib::Geodesic(a, f, false);
#else
    // Before 2.2 the two-argument form is the series solution (there is no exact one).
    return GeographicLib::Geodesic(a, f);
#endif
}

/// Reads the ellipsoid of `system` and writes the geodesic distance (metres) between two
/// geographic points (degrees) into `distance`.
/// @return false, `distance` untouched, when the ellipsoid cannot be read or GeographicLib
/// refuses it.
bool SolveInverse(const CCoordinateSystem &system, double lat1, double lon1, double lat2,
                  double lon2, double &distance);

} // namespace Geo

#endif
