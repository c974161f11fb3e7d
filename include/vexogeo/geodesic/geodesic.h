// CGeodesic: the geodesic distance between two points given in any coordinate system.
#ifndef VEXOGEO_GEODESIC_GEODESIC_H
#define VEXOGEO_GEODESIC_GEODESIC_H

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

  private:
    void Adopt(CCoordinateSystem *cs);
    void Drop();

    CCoordinateSystem *m_pCoordinateSystem;
    CCoordinateSystem *m_pLatLongCoordinateSystem;
};

} // namespace Geo

#endif
