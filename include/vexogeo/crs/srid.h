// Srid: the identifier of a spatial reference system, an authority name and its numeric code.
#ifndef VEXOGEO_CRS_SRID_H
#define VEXOGEO_CRS_SRID_H

#include <cstdint>
#include <string>
#include <utility>

namespace Geo {

/// An authority name as PROJ knows it ("EPSG", "ESRI", ...) and that authority's code.
/// A plain value: copy it freely. `CCoordinateSystem::FromSrid` turns it into a system.
class Srid {
  public:
    /// An empty authority and code 0 (PROJ rejects the resulting ":0" definition).
    Srid() = default;
    /// Stores both values unchanged: no case folding, no trimming.
    Srid(std::string authority, std::int32_t code)
        : m_authority(std::move(authority)), m_code(code) {}

    friend bool operator==(const Srid &a, const Srid &b) {
        return a.m_code == b.m_code && a.m_authority == b.m_authority;
    }
    friend bool operator!=(const Srid &a, const Srid &b) { return !(a == b); }

    std::string m_authority; ///< authority name, 8-bit text in the process code page
    std::int32_t m_code = 0; ///< the authority's code of the system
};

} // namespace Geo

#endif
