// Plain records that describe a coordinate system and a transformation: kind, area of use, axes
// and the operation PROJ chose.
#ifndef VEXOGEO_CRS_CRS_INFO_H
#define VEXOGEO_CRS_CRS_INFO_H

#include <cstdint>
#include <string>
#include <vector>

#include <vexogeo/export.h>

namespace Geo {

/// What kind of coordinate system a PROJ object is.
enum class CrsKind {
    Unknown,      ///< not a coordinate system, or an empty handle
    Geographic2D, ///< longitude and latitude
    Geographic3D, ///< longitude, latitude and ellipsoidal height
    Geocentric,   ///< earth-centred X, Y, Z
    Geodetic,     ///< another geodetic system
    Projected,    ///< easting and northing on a map projection
    Vertical,     ///< heights or depths only
    Compound,     ///< a horizontal and a vertical system together
    Engineering,  ///< a local system not tied to the earth
    Bound,        ///< a system carrying its own transformation to a hub system
    Temporal,     ///< time only
    Other         ///< any other kind PROJ knows
};

/// @return the kind in plain words ("geographic 2-D", "projected", ...); "unknown" for
/// `CrsKind::Unknown` or a value outside the enumeration.
VEXOGEO_API const char *GetCrsKindName(CrsKind kind);

/// Where a system or an operation may be used: a name and a box in degrees. A box crossing the
/// antimeridian has west > east.
struct AreaOfUse {
    std::string m_name; ///< e.g. "Between 12°E and 18°E, northern hemisphere ..." (UTF-8)
    double m_west = 0;  ///< degrees, -180 to 180
    double m_south = 0; ///< degrees, -90 to 90
    double m_east = 0;  ///< degrees, -180 to 180
    double m_north = 0; ///< degrees, -90 to 90
};

/// One axis of a coordinate system, in the system's own order.
struct CrsAxis {
    std::string m_name;         ///< e.g. "Easting", "Geodetic latitude"
    std::string m_abbreviation; ///< e.g. "E", "Lat"
    std::string m_direction;    ///< e.g. "east", "north", "up"
    std::string m_unit;         ///< e.g. "metre", "degree"
};

/// One grid file an operation needs.
struct OperationGrid {
    std::string m_name;       ///< the grid's short name, e.g. "at_bev_AT_GIS_GRID.tif"
    std::string m_path;       ///< where PROJ found it; empty when it is not available
    bool m_available = false; ///< whether PROJ can open it (locally or over its network)
};

/// The operation a transformation uses.
struct OperationInfo {
    std::string m_name;                 ///< PROJ's name of the operation
    double m_accuracy = -1;             ///< metres; negative when unknown
    bool m_ballpark = false;            ///< true when only a ballpark (no datum shift) is applied
    std::vector<OperationGrid> m_grids; ///< grids needed, in PROJ's order
};

/// @return true when every field is the same (name, path and availability of each grid too).
inline bool operator==(const OperationGrid &a, const OperationGrid &b) {
    return a.m_name == b.m_name && a.m_path == b.m_path && a.m_available == b.m_available;
}
/// @return false when every field is the same.
inline bool operator!=(const OperationGrid &a, const OperationGrid &b) { return !(a == b); }
/// @return true when name, accuracy, ballpark flag and grids are the same; a transformation's
/// alternatives that compare equal here count as one operation in `OperationsUsed`.
inline bool operator==(const OperationInfo &a, const OperationInfo &b) {
    return a.m_name == b.m_name && a.m_accuracy == b.m_accuracy && a.m_ballpark == b.m_ballpark &&
           a.m_grids == b.m_grids;
}
/// @return false when name, accuracy, ballpark flag and grids are the same.
inline bool operator!=(const OperationInfo &a, const OperationInfo &b) { return !(a == b); }

/// Which operation transformed each point of a bulk call (`CConverter::TransformCoordinates`
/// with a record): the distinct operations in the order the points first used them, and per
/// point an index into that list. The same points give the same record, bit for bit, on any
/// number of threads.
struct OperationsUsed {
    /// The index of a point that came out without finite x and y: no operation transformed it.
    static constexpr std::int32_t kNone = -1;

    std::vector<OperationInfo> m_operations; ///< distinct operations, in order of first use
    std::vector<std::int32_t> m_points;      ///< per point: index into m_operations, or kNone

    /// @return the index of `info` in `m_operations`, appended when no equal entry exists.
    VEXOGEO_API std::int32_t Add(const OperationInfo &info);
    /// Appends `more`'s points after these, its operations merged into this list (an equal
    /// entry is reused), as if one call had transformed both runs of points.
    VEXOGEO_API void Append(const OperationsUsed &more);
};

} // namespace Geo

#endif
