// The GeographicLib side of the geodesic measurement: the ellipsoid and the angle units of a
// geodetic system read from PROJ, and GeographicLib's solution on that ellipsoid.
#ifndef VEXOGEO_GEODESIC_ELLIPSOID_GEODESIC_H
#define VEXOGEO_GEODESIC_ELLIPSOID_GEODESIC_H

#include <GeographicLib/Config.h>
#include <GeographicLib/Geodesic.hpp>

#include <optional>

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

/// How a geodetic system's longitude x and latitude y (in its own angle unit, longitude from
/// its own prime meridian) become GeographicLib's degrees from Greenwich:
/// lon = x * m_lonScale + m_lonOffset, lat = y * m_latScale.
struct GeodeticAngles {
    double m_lonScale = 1;
    double m_latScale = 1;
    double m_lonOffset = 0;
    /// True when the values already are degrees from Greenwich: nothing is computed at all.
    bool m_isDegrees = true;

    /// Turns `count` points in place into degrees from Greenwich.
    void ToDegrees(std::size_t count, double *x, double *y) const;
};

/// What GeographicLib needs of the geodetic system `system`, whose coordinates have a latitude
/// and a longitude: the solution on its ellipsoid and the way to its angles in degrees.
/// @return false, outputs untouched, for an empty handle, a system whose coordinates are not a
/// latitude and a longitude (geocentric X/Y/Z, a Cartesian system), no readable ellipsoid or
/// axes, or an ellipsoid that GeographicLib refuses.
bool ReadGeodeticSystem(const CCoordinateSystem &system,
                        std::optional<GeographicLib::Geodesic> &solution, GeodeticAngles &angles);

} // namespace Geo

#endif
