// The set-up that many geodesic measurements share: one transformation into the geodetic system
// and one GeographicLib solution on its ellipsoid.
#ifndef VEXOGEO_GEODESIC_GEODESIC_BATCH_H
#define VEXOGEO_GEODESIC_GEODESIC_BATCH_H

#include <cstddef>
#include <optional>

#include <GeographicLib/Geodesic.hpp>

#include <vexogeo/crs/converter.h>

namespace Geo {

class CCoordinateSystem;

/// Points handed to PROJ at once; every buffer of a batch measurement holds this many values.
constexpr std::size_t kGeodesicChunkPoints = 1024;

/// What one `CGeodesic::Inverse` call builds, built once for a whole batch: the transformation
/// from the working system into its geodetic system (none when the working system is lat/long)
/// and GeographicLib's series solution on the ellipsoid `Inverse` would use. Calls PROJ.
class CGeodesicBatch {
  public:
    /// Prepares measurements in `working`, whose derived geodetic system is `latLong`.
    /// @return false when nothing can be measured: no working system, no geodetic system, no
    /// readable ellipsoid, or one that GeographicLib refuses.
    bool Open(CCoordinateSystem *working, CCoordinateSystem *latLong);

    /// Brings `count` (at most kGeodesicChunkPoints) working-system points in place into
    /// longitude `x` and latitude `y` (degrees); a point that fails gets NaN in both.
    /// @return false, points unusable, when no transformation exists between the two systems.
    bool ToGeographic(std::size_t count, double *x, double *y) const;

    /// The solution on the ellipsoid; only after `Open` answered true.
    const GeographicLib::Geodesic &Solution() const { return *m_solution; }

  private:
    std::optional<CConverter> m_converter;
    std::optional<GeographicLib::Geodesic> m_solution;
};

} // namespace Geo

#endif
