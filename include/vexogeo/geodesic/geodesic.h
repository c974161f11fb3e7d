// CGeodesic: the geodesic distance between two points given in any coordinate system.
#ifndef VEXOGEO_GEODESIC_GEODESIC_H
#define VEXOGEO_GEODESIC_GEODESIC_H

#include <cstdint>

#include <vexogeo/export.h>

namespace Geo {

class CCoordinateSystem;

/// Measures on the ellipsoid of a working system: points given in that system (x = longitude or
/// easting, y = latitude or northing) are brought into its geodetic system and GeographicLib
/// solves the inverse problem. Holds counted references on the working system and on the
/// geodetic system derived from it. Calls PROJ: not to be used on two threads at once.
class VEXOGEO_API CGeodesic {
  public:
    /// Adopts `cs` (may be null) and derives its geodetic system.
    explicit CGeodesic(CCoordinateSystem *cs = nullptr);
    /// Shares the other object's two systems with counted references.
    CGeodesic(const CGeodesic &other);
    /// Releases both systems.
    ~CGeodesic();
    /// Shares the other object's two systems with counted references.
    CGeodesic &operator=(const CGeodesic &other);

    /// Replaces the working system (same pointer: nothing happens); null leaves it empty.
    void SetCoordinateSystem(CCoordinateSystem *cs);
    /// @return the working system, no reference added; may be null.
    CCoordinateSystem *GetCoordinateSystem() const;
    /// @return the derived geodetic system, no reference added; null when none was derived.
    CCoordinateSystem *GetLatLongCoordinateSystem() const;

    /// Geodesic distance (metres) from (x1, y1) to (x2, y2), both in the working system.
    /// @return false, `distance` untouched, when there is no system, no transformation, no
    /// transformed point or no readable ellipsoid.
    bool Inverse(const double &x1, const double &y1, const double &x2, const double &y2,
                 double &distance) const;

    /// Distances (metres) of `count` pairs (x1[i], y1[i]) to (x2[i], y2[i]) in the working
    /// system, with the azimuths (degrees clockwise from north) at both ends when `azimuth1` and
    /// `azimuth2` are not null. Sets up one transformation and one ellipsoid for the whole batch;
    /// each result equals what `Inverse` gives for the same pair.
    /// @return the number of pairs measured; a pair whose points fail to transform gets NaN in
    /// every output and is not counted. 0, outputs untouched, when there is no system, no
    /// transformation or no readable ellipsoid, or an input or `distance` is null.
    std::uint64_t InverseBatch(std::uint64_t count, const double *x1, const double *y1,
                               const double *x2, const double *y2, double *distance,
                               double *azimuth1, double *azimuth2) const;

    /// Geodesic length (metres) of the polyline through `count` vertices (x[i], y[i]).
    /// @return false, `length` untouched, for fewer than two vertices, null arrays, a vertex
    /// without geographic position (failed transformation or latitude beyond 90 degrees), or no
    /// system, transformation or readable ellipsoid.
    bool LineLength(std::uint64_t count, const double *x, const double *y, double &length) const;

    /// Geodesic area (square metres, positive whichever way the ring winds) and perimeter
    /// (metres) of the ring through `count` vertices (x[i], y[i]), closed back to the first.
    /// @return false, outputs untouched, for fewer than three vertices and for every failure of
    /// `LineLength`.
    bool PolygonArea(std::uint64_t count, const double *x, const double *y, double &area,
                     double &perimeter) const;

  private:
    void Adopt(CCoordinateSystem *cs);
    void Drop();

    CCoordinateSystem *m_pCoordinateSystem;
    CCoordinateSystem *m_pLatLongCoordinateSystem;
};

} // namespace Geo

#endif
