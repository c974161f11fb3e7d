// The set-up every geodesic measurement of a working system shares: one transformation into the
// geodetic system and one GeographicLib solution on its ellipsoid, built once per working system.
#ifndef VEXOGEO_GEODESIC_GEODESIC_BATCH_H
#define VEXOGEO_GEODESIC_GEODESIC_BATCH_H

#include <cstddef>
#include <optional>

#include <GeographicLib/Geodesic.hpp>

#include <vexogeo/crs/converter.h>

#include "geodesic/ellipsoid_geodesic.h"

namespace Geo {

class CCoordinateSystem;

/// Points handed to PROJ at once; every buffer of a batch measurement holds this many values.
constexpr std::size_t kGeodesicChunkPoints = 1024;

/// The transformation from a working system into its geodetic system (none when the working
/// system is itself lat/long), the angle units of that geodetic system and GeographicLib's
/// series solution on its ellipsoid. `CGeodesic` keeps one for its working system. Calls PROJ.
class CGeodesicSetup {
  public:
    /// Prepares measurements in `working`, whose derived geodetic system is `latLong`.
    /// @return false when nothing can be measured: no working system, no geodetic system, no
    /// transformation between them, coordinates without latitude and longitude (geocentric),
    /// no readable ellipsoid, or one that GeographicLib refuses.
    bool Open(CCoordinateSystem *working, CCoordinateSystem *latLong);

    /// Brings `count` working-system points in place into longitude `x` and latitude `y`
    /// (degrees from Greenwich); a point that fails gets NaN in both.
    /// @return false, points unusable, when PROJ transformed none of them.
    bool ToGeographic(std::size_t count, double *x, double *y) const;

    /// The solution on the ellipsoid; only after `Open` answered true.
    const GeographicLib::Geodesic &Solution() const { return *m_solution; }

  private:
    std::optional<CConverter> m_converter;
    std::optional<GeographicLib::Geodesic> m_solution;
    GeodeticAngles m_angles;
};

} // namespace Geo

#endif
