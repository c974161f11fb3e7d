// CConverter: transforms coordinates in place between two coordinate systems.
#ifndef VEXOGEO_CRS_CONVERTER_H
#define VEXOGEO_CRS_CONVERTER_H

#include <cstdint>
#include <memory>
#include <string>

#include <vexogeo/crs/crs_info.h>
#include <vexogeo/export.h>

namespace Geo {

class CCoordinateSystem;
class CProjLanes;

/// Holds one PROJ transformation between a source and a target system, normalized so that x is
/// always longitude or easting and y latitude or northing (geographic values in degrees).
/// Keeps one counted reference on each system and owns its PROJ objects. Errors are PROJ's own,
/// recorded on PROJ's default context and read with `HasError`/`GetErrorInfo`. Not thread-safe:
/// PROJ-calling operations of the library must not run on two threads at once. The one
/// exception is opt-in: with `SetThreadCount` other than 1, large bulk calls split across
/// threads of their own, each with a private copy of the transformation in a PROJ context of
/// its own, and `TransformCoordinatesOnLane` and its inverse let a host's own threads do the same.
class VEXOGEO_API CConverter {
  public:
    /// No systems, no transformation: every transformation answers false.
    CConverter();
    /// Takes a reference on each non-null system and builds the transformation.
    CConverter(CCoordinateSystem *source, CCoordinateSystem *target);
    /// Shares the other converter's systems (counted) and builds a transformation of its own.
    CConverter(const CConverter &other);
    /// Releases both systems and destroys the PROJ objects.
    ~CConverter();
    /// Shares the other converter's systems (counted) and builds a transformation of its own.
    CConverter &operator=(const CConverter &other);

    /// Replaces the source (same pointer: nothing happens) and rebuilds the transformation.
    void SetSource(CCoordinateSystem *source);
    /// Replaces the target (same pointer: nothing happens) and rebuilds the transformation.
    void SetTarget(CCoordinateSystem *target);
    /// @return the source, no reference added; may be null.
    CCoordinateSystem *GetSource() const;
    /// @return the target, no reference added; may be null.
    CCoordinateSystem *GetTarget() const;

    /// One 2-D point in place. @return false when no transformation exists or it failed.
    bool TransformCoordinate(double &x, double &y) const;
    /// One 3-D point in place. @return false when no transformation exists or it failed.
    bool TransformCoordinate(double &x, double &y, double &z) const;
    /// Transforms `count` packed points in place; x is longitude or easting, y latitude or
    /// northing; `z` may be null. @return true if at least one point was transformed; a partial
    /// result also records error 2048 unless an error is already pending.
    bool TransformCoordinates(std::uint64_t count, double *x, double *y, double *z) const;
    /// As the packed form above (the same values, result and error state), and replaces `used`
    /// by the operation that transformed each point (`OperationsUsed::kNone` for a failed one),
    /// also when the points are split across threads. Where PROJ chooses among several
    /// operations per point the points go through PROJ one by one, and the operation is read
    /// back (`proj_trans_get_last_used_operation`, about 0.2 ms) only when PROJ switched;
    /// a transformation with one operation keeps the bulk speed. Without a transformation
    /// `used` is emptied and the answer is false.
    bool TransformCoordinates(std::uint64_t count, double *x, double *y, double *z,
                              OperationsUsed &used) const;
    /// General form: per axis a count, a stride in bytes and an array (null allowed for z).
    /// @return true if at least one point was transformed; fewer than `nx` records error 2048
    /// unless an error is already pending.
    bool TransformCoordinates(std::uint64_t nx, std::uint64_t sx, double *x, std::uint64_t ny,
                              std::uint64_t sy, double *y, std::uint64_t nz, std::uint64_t sz,
                              double *z) const;

    /// Threads a packed or general forward or inverse transformation may use: 1 (the default)
    /// runs every call on the calling thread in PROJ's default context; 0 the cores available
    /// (at most 64); more prepares that many lanes, each a copy of the transformation in a PROJ
    /// context of its own (made here, again at every rebuild, and kept). A call then splits its
    /// points across the lanes, at least 4096 points per thread, when the axes have equal counts
    /// (z null or of the same count); smaller calls start no thread. Transformed values, failed
    /// points, the result and the error state afterwards are the same for every count.
    void SetThreadCount(unsigned count);
    /// @return the count as set (0: the cores available).
    unsigned GetThreadCount() const;
    /// @return how many lanes exist: 0 with a thread count of 1, without a transformation or
    /// when PROJ could not copy it.
    unsigned GetLaneCount() const;
    /// Transforms `count` packed points forward on the calling thread with lane `lane`'s copy of
    /// the transformation, so a host's threads, one lane each, transform at the same time (not
    /// while this converter is changed or its thread count set). Values as `TransformCoordinates`
    /// gives them; errors stay in the lane's own context. @return false for a lane beyond
    /// `GetLaneCount` or when no point was transformed.
    bool TransformCoordinatesOnLane(unsigned lane, std::uint64_t count, double *x, double *y,
                                    double *z) const;
    /// As above, and replaces `used` by the operation that transformed each point, as the
    /// recording `TransformCoordinates` does (emptied for a lane beyond `GetLaneCount`).
    bool TransformCoordinatesOnLane(unsigned lane, std::uint64_t count, double *x, double *y,
                                    double *z, OperationsUsed &used) const;
    /// The same from target to source on lane `lane`'s copy (nothing is rebuilt).
    /// @return false for a lane beyond `GetLaneCount` or when no point was transformed.
    bool InverseTransformCoordinatesOnLane(unsigned lane, std::uint64_t count, double *x, double *y,
                                           double *z) const;

    /// The same forms from target to source, on the same transformation (nothing is rebuilt);
    /// x and y in the normalized order. Results and errors as for the forward forms.
    bool InverseTransformCoordinate(double &x, double &y) const;
    /// One 3-D point from target to source, in place.
    bool InverseTransformCoordinate(double &x, double &y, double &z) const;
    /// `count` packed points from target to source, in place; `z` may be null.
    bool InverseTransformCoordinates(std::uint64_t count, double *x, double *y, double *z) const;
    /// `count` packed points from target to source, recording the operation of each point.
    bool InverseTransformCoordinates(std::uint64_t count, double *x, double *y, double *z,
                                     OperationsUsed &used) const;
    /// General form from target to source: per axis a count, a stride in bytes and an array.
    bool InverseTransformCoordinates(std::uint64_t nx, std::uint64_t sx, double *x,
                                     std::uint64_t ny, std::uint64_t sy, double *y,
                                     std::uint64_t nz, std::uint64_t sz, double *z) const;

    /// Replaces a source box (x/y in the normalized order, west/south the smaller corner) by
    /// the smallest box that holds its edges, each densified with `densify` extra points,
    /// transformed into the target. For a geographic target a box that crosses the
    /// antimeridian comes back with west > east. @return false, the four values untouched,
    /// without a transformation, for a negative `densify` or a box that cannot be transformed.
    bool TransformBounds(double &west, double &south, double &east, double &north,
                         int densify = 21) const;
    /// The same from a target box to the source.
    bool InverseTransformBounds(double &west, double &south, double &east, double &north,
                                int densify = 21) const;

    /// @return true when a transformation between source and target exists (both set and
    /// PROJ found one with the current area of interest and ballpark option).
    bool HasTransformation() const;
    /// Reads the operation the transformation uses: the one that transformed the last point
    /// when PROJ chose among several by area, otherwise the one PROJ ranks first. Points of one
    /// call may use different operations: the recording `TransformCoordinates` tells each.
    /// @return false, `info` untouched, without a transformation.
    bool GetOperationInfo(OperationInfo &info) const;

    /// Rebuilds the transformation so that PROJ chooses its operation for this area (degrees,
    /// west > east crosses the antimeridian); `HasTransformation` tells whether one exists.
    /// @return false, nothing changed, when the box is not a longitude/latitude box.
    bool SetAreaOfInterest(double west, double south, double east, double north);
    /// Forgets the area of interest and rebuilds the transformation.
    void ClearAreaOfInterest();
    /// Reads the area of interest. @return false, outputs untouched, when none is set.
    bool GetAreaOfInterest(double &west, double &south, double &east, double &north) const;
    /// Whether PROJ may fall back to a ballpark transformation (no datum shift, errors of up to
    /// some 100 m), true by default; false rebuilds the transformation so that such pairs have
    /// none (`HasTransformation` false).
    void SetAllowBallpark(bool allow);
    /// @return whether ballpark transformations are allowed.
    bool GetAllowBallpark() const;

    /// Clears the error state of PROJ's default context.
    void ClearError();
    /// @return true while an error is recorded (by any PROJ call of the library).
    bool HasError() const;
    /// Overwrites all three outputs: 0, "" and false when no error is recorded; otherwise PROJ's
    /// code, PROJ's text for it, and whether it is a coordinate-transformation error (2048-4095).
    void GetErrorInfo(int &code, std::string &message, bool &isTransformationError) const;

  private:
    void InitializeCrsToCrs();
    void PrepareLanes();
    bool Transform(int direction, std::uint64_t nx, std::uint64_t sx, double *x, std::uint64_t ny,
                   std::uint64_t sy, double *y, std::uint64_t nz, std::uint64_t sz, double *z,
                   OperationsUsed *used = nullptr) const;
    bool TransformBox(int direction, double &west, double &south, double &east, double &north,
                      int densify) const;
    bool TransformSplitBox(int direction, double &west, double &south, double &east,
                           double &north, int densify) const;

    CCoordinateSystem *m_pSource;
    CCoordinateSystem *m_pTarget;
    void *m_pCrsToCrs;
    void *m_pNormalized;
    bool m_hasAreaOfInterest;
    double m_areaOfInterest[4]; // west, south, east, north in degrees
    bool m_allowBallpark;
    unsigned m_threadCount;
    std::unique_ptr<CProjLanes> m_pLanes; // the per-thread copies of m_pNormalized
};

} // namespace Geo

#endif
