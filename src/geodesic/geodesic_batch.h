// The set-up every geodesic measurement of a working system shares: one transformation into the
// geodetic system and one GeographicLib solution on its ellipsoid, built once per working system.
#ifndef VEXOGEO_GEODESIC_GEODESIC_BATCH_H
#define VEXOGEO_GEODESIC_GEODESIC_BATCH_H

#include <cstddef>
#include <optional>

#include <GeographicLib/Geodesic.hpp>
#include <geodesic.h>

#include "crs/proj_lanes.h"
#include "crs/proj_objects.h"
#include "geodesic/ellipsoid_geodesic.h"

namespace Geo {

class CCoordinateSystem;

/// Points handed to PROJ at once; every buffer of a batch measurement holds this many values.
constexpr std::size_t kGeodesicChunkPoints = 1024;
/// Pairs of a chunk of a batch: their first points, then their second points.
constexpr std::size_t kGeodesicPairs = kGeodesicChunkPoints / 2;

/// The transformation from a working system into its geodetic system (none when the working
/// system is itself lat/long or the transformation does nothing), the angle units of that geodetic
/// system and GeographicLib's series solution on its ellipsoid. `CGeodesic` keeps one for its
/// working system. The transformation is a PROJ object of the set-up's own, built from the systems'
/// PROJ objects: it holds no reference on either system. Calls PROJ.
class CGeodesicSetup {
  public:
    /// Prepares measurements in `working`, whose derived geodetic system is `latLong`.
    /// @return false when nothing can be measured: no working system, no geodetic system, no
    /// transformation between them, coordinates without latitude and longitude (geocentric),
    /// no readable ellipsoid, or one that GeographicLib refuses.
    bool Open(CCoordinateSystem *working, CCoordinateSystem *latLong);

    /// Prepares `count` lanes (copies of the transformation in contexts of their own) for
    /// bulk work on several threads; fewer than 2, or a working system that needs no
    /// transformation, prepares none.
    void PrepareLanes(std::size_t count);
    /// @return the number of lanes; 0 when none were prepared.
    std::size_t LaneCount() const { return m_needsLanes ? m_lanes.Count() : m_laneCount; }

    /// Lane that stands for the transformation in PROJ's default context.
    static constexpr std::size_t kDefaultLane = static_cast<std::size_t>(-1);

    /// Brings `count` working-system points in place into longitude `x` and latitude `y`
    /// (degrees from Greenwich) with the transformation of `lane`; a point that fails gets NaN
    /// in both.
    /// @return false, points unusable, when PROJ transformed none of them.
    bool ToGeographic(std::size_t count, double *x, double *y,
                      std::size_t lane = kDefaultLane) const;

    /// The transformation in the default context; null when the working system is lat/long or
    /// PROJ's transformation would do nothing.
    PJ *Transformation() const { return m_transform.get(); }
    /// The lanes' copies of the transformation.
    const CProjLanes &Lanes() const { return m_lanes; }

    /// True when working coordinates already are degrees from Greenwich of the geodetic system
    /// (the transformation does nothing and no unit changes): pairs are measured where they lie.
    bool PlacesDirectly() const { return !m_transform && m_angles.m_isDegrees; }

    /// The solution on the ellipsoid; only after `Open` answered true.
    const GeographicLib::Geodesic &Solution() const { return *m_solution; }

    /// Distance `s12` (metres) and, for non-null pointers, the azimuths (degrees) at either end
    /// of the geodesic between two points in degrees from Greenwich; only after `Open` answered
    /// true. A latitude beyond 90 degrees gives NaN; the caller checks for non-finite results.
    void SolveInverse(double lat1, double lon1, double lat2, double lon2, double &s12, double *azi1,
                      double *azi2) const {
        geod_inverse(&m_pairs, lat1, lon1, lat2, lon2, &s12, azi1, azi2);
    }

  private:
    PjOwner m_crsToCrs;
    PjOwner m_transform; // normalized: x longitude or easting, y latitude or northing
    CProjLanes m_lanes;
    bool m_needsLanes = false;   // the transformation exists, so lanes copy it
    std::size_t m_laneCount = 0; // lanes of a lat/long working system: nothing to copy
    std::optional<GeographicLib::Geodesic> m_solution;
    // The same series for pairs, from the C port PROJ carries: it agrees with m_solution's
    // Inverse to the last bit and, with no call per helper, runs as fast as PROJ's own.
    geod_geodesic m_pairs{};
    GeodeticAngles m_angles;
};

} // namespace Geo

#endif
