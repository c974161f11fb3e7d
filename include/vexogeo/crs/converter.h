// CConverter: transforms coordinates in place between two coordinate systems.
#ifndef VEXOGEO_CRS_CONVERTER_H
#define VEXOGEO_CRS_CONVERTER_H

#include <cstdint>
#include <string>

#include <vexogeo/export.h>

namespace Geo {

class CCoordinateSystem;

/// Holds one PROJ transformation between a source and a target system, normalized so that x is
/// always longitude or easting and y latitude or northing (geographic values in degrees).
/// Keeps one counted reference on each system and owns its PROJ objects. Errors are PROJ's own,
/// recorded on PROJ's default context and read with `HasError`/`GetErrorInfo`. Not thread-safe:
/// PROJ-calling operations of the library must not run on two threads at once.
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
    /// General form: per axis a count, a stride in bytes and an array (null allowed for z).
    /// @return true if at least one point was transformed; fewer than `nx` records error 2048
    /// unless an error is already pending.
    bool TransformCoordinates(std::uint64_t nx, std::uint64_t sx, double *x, std::uint64_t ny,
                              std::uint64_t sy, double *y, std::uint64_t nz, std::uint64_t sz,
                              double *z) const;

    /// Clears the error state of PROJ's default context.
    void ClearError();
    /// @return true while an error is recorded (by any PROJ call of the library).
    bool HasError() const;
    /// Overwrites all three outputs: 0, "" and false when no error is recorded; otherwise PROJ's
    /// code, PROJ's text for it, and whether it is a coordinate-transformation error (2048-4095).
    void GetErrorInfo(int &code, std::string &message, bool &isTransformationError) const;

  private:
    void InitializeCrsToCrs();

    CCoordinateSystem *m_pSource;
    CCoordinateSystem *m_pTarget;
    void *m_pCrsToCrs;
    void *m_pNormalized;
};

} // namespace Geo

#endif
