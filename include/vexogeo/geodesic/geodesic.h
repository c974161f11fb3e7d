// CGeodesic: the geodesic distance between two points given in any coordinate system.
#ifndef VEXOGEO_GEODESIC_GEODESIC_H
#define VEXOGEO_GEODESIC_GEODESIC_H

#include <cstdint>
#include <memory>

#include <vexogeo/export.h>

namespace Geo {

class CCoordinateSystem;
class CGeodesicSetup;

/// Measures on the ellipsoid of a working system: points given in that system (x = longitude or
/// easting, y = latitude or northing) are brought into its geodetic system and GeographicLib
/// solves the inverse problem. Holds counted references on the working system and on the
/// geodetic system derived from it (one each), and keeps the transformation between them (a PROJ
/// object of its own, holding no reference) and the ellipsoid, built once per working system.
/// Calls PROJ: not to be used on two threads at once, except as `SetThreadCount` allows.
///
/// Units: a projected system takes its own linear unit; a latitude/longitude system takes its
/// own angle unit (degrees, grads, radians...) with longitudes from its own prime meridian, as
/// `CConverter` returns them; every result is in metres. A working system whose coordinates are
/// not a latitude and a longitude nor rest on one (geocentric X/Y/Z, engineering, vertical)
/// measures nothing. A point that cannot be placed on the ellipsoid (outside the projection's
/// domain, a latitude beyond 90 degrees) never yields a number: `Inverse` answers false, the
/// batch operations NaN.
class VEXOGEO_API CGeodesic {
  public:
    /// Adopts `cs` (may be null), derives its geodetic system and prepares the measurement.
    explicit CGeodesic(CCoordinateSystem *cs = nullptr);
    /// Shares the other object's two systems with counted references; prepares its own
    /// transformation.
    CGeodesic(const CGeodesic &other);
    /// Releases both systems and the transformation.
    ~CGeodesic();
    /// Shares the other object's two systems with counted references; prepares its own
    /// transformation.
    CGeodesic &operator=(const CGeodesic &other);

    /// Replaces the working system and prepares the measurement anew (same pointer: nothing
    /// happens); null leaves it empty.
    void SetCoordinateSystem(CCoordinateSystem *cs);
    /// @return the working system, no reference added; may be null.
    CCoordinateSystem *GetCoordinateSystem() const;
    /// @return the derived geodetic system, no reference added; null when none was derived.
    CCoordinateSystem *GetLatLongCoordinateSystem() const;

    /// @return true when distances can be measured in the working system: it rests on a
    /// geodetic system with latitude and longitude on a readable ellipsoid; false when empty.
    bool IsMeasurable() const;

    /// Geodesic distance (metres) from (x1, y1) to (x2, y2), both in the working system.
    /// @return false, `distance` untouched, when `IsMeasurable` is false, there is no
    /// transformation, a point fails to transform, or the distance is not finite (a latitude
    /// beyond 90 degrees).
    bool Inverse(const double &x1, const double &y1, const double &x2, const double &y2,
                 double &distance) const;

    /// Distances (metres) of `count` pairs (x1[i], y1[i]) to (x2[i], y2[i]) in the working
    /// system, with the azimuths (degrees clockwise from north) at both ends when `azimuth1` and
    /// `azimuth2` are not null. Sets up one transformation and one ellipsoid for the whole batch;
    /// each result equals what `Inverse` gives for the same pair.
    /// @return the number of pairs measured; a pair that `Inverse` would refuse gets NaN in
    /// every output and is not counted. 0, outputs untouched, when `IsMeasurable` is false,
    /// there is no transformation, or an input or `distance` is null.
    std::uint64_t InverseBatch(std::uint64_t count, const double *x1, const double *y1,
                               const double *x2, const double *y2, double *distance,
                               double *azimuth1, double *azimuth2) const;

    /// Threads `InverseBatch` may use: 1 (the default) measures on the calling thread in PROJ's
    /// default context; 0 the cores available (at most 64); more prepares that many lanes, each
    /// with a copy of the transformation in a PROJ context of its own (made here, again for
    /// every new working system, and kept). A batch then splits across them, at least 4096
    /// pairs per thread; smaller batches start no thread. Results and the error state
    /// afterwards are the same for every count. `Inverse`, `LineLength` and `PolygonArea` stay
    /// on the calling thread.
    void SetThreadCount(unsigned count);
    /// @return the count as set (0: the cores available).
    unsigned GetThreadCount() const;
    /// @return how many lanes exist: 0 with a thread count of 1 or when nothing is measurable.
    unsigned GetLaneCount() const;
    /// `InverseBatch` on the calling thread with lane `lane`'s copy of the transformation, so a
    /// host's threads, one lane each, measure at the same time (not while the working system or
    /// the thread count changes). Errors stay in the lane's own context.
    /// @return as `InverseBatch`; 0, outputs untouched, for a lane beyond `GetLaneCount`.
    std::uint64_t InverseBatchOnLane(unsigned lane, std::uint64_t count, const double *x1,
                                     const double *y1, const double *x2, const double *y2,
                                     double *distance, double *azimuth1, double *azimuth2) const;

    /// Geodesic length (metres) of the polyline through `count` vertices (x[i], y[i]).
    /// @return false, `length` untouched, for fewer than two vertices, null arrays, a vertex
    /// without geographic position (failed transformation or latitude beyond 90 degrees), or no
    /// system, transformation or readable ellipsoid.
    bool LineLength(std::uint64_t count, const double *x, const double *y, double &length) const;
    /// `LineLength` on the calling thread with lane `lane`'s copy of the transformation, the
    /// same bits, so a host's threads, one lane each, measure parts of a line at the same time.
    /// @return as `LineLength`; false, `length` untouched, for a lane beyond `GetLaneCount`.
    bool LineLengthOnLane(unsigned lane, std::uint64_t count, const double *x, const double *y,
                          double &length) const;

    /// Geodesic area (square metres, positive whichever way the ring winds) and perimeter
    /// (metres) of the ring through `count` vertices (x[i], y[i]), closed back to the first.
    /// @return false, outputs untouched, for fewer than three vertices and for every failure of
    /// `LineLength`.
    bool PolygonArea(std::uint64_t count, const double *x, const double *y, double &area,
                     double &perimeter) const;
    /// `PolygonArea` on the calling thread with lane `lane`'s copy of the transformation, the
    /// same bits, so a host's threads, one lane each, measure rings at the same time.
    /// @return as `PolygonArea`; false, outputs untouched, for a lane beyond `GetLaneCount`.
    bool PolygonAreaOnLane(unsigned lane, std::uint64_t count, const double *x, const double *y,
                           double &area, double &perimeter) const;

  private:
    void Adopt(CCoordinateSystem *cs);
    void Drop();
    void PrepareLanes();

    CCoordinateSystem *m_pCoordinateSystem;
    CCoordinateSystem *m_pLatLongCoordinateSystem;
    /// Transformation and ellipsoid of the working system; null when nothing can be measured.
    std::unique_ptr<CGeodesicSetup> m_pSetup;
    unsigned m_threadCount = 1;
};

} // namespace Geo

#endif
