// Reads a system's ellipsoid and solves the inverse geodesic problem with GeographicLib.
#include "geodesic/ellipsoid_geodesic.h"

#include <vexogeo/crs/coordinate_system.h>

#include <GeographicLib/Constants.hpp>

namespace Geo {

bool SolveInverse(const CCoordinateSystem &system, double lat1, double lon1, double lat2,
                  double lon2, double &distance) {
    if (system.GetRaw() == nullptr)
        return false;
    double a = 0;
    double b = 0;
    if (!system.GetSpheroidDefinition(a, b))
        return false;
    const double f = CCoordinateSystem::GetFlattening(a, b);
    try {
        const GeographicLib::Geodesic geodesic = MakeSeriesGeodesic(a, f);
        geodesic.Inverse(lat1, lon1, lat2, lon2, distance);
    } catch (const GeographicLib::GeographicErr &) {
        // A non-finite or non-positive axis: the measurement fails like every other failure.
        return false;
    }
    return true;
}

} // namespace Geo
