// NamedSrid: one entry of a named SRID configuration file.
#ifndef VEXOGEO_XML_NAMED_SRID_H
#define VEXOGEO_XML_NAMED_SRID_H

#include <string>
#include <utility>

#include <vexogeo/crs/srid.h>

namespace Geo {

/// A spatial reference system with its display name in the installation's culture.
/// A plain value: copy it freely.
class NamedSrid {
  public:
    /// An empty `Srid` and an empty name.
    NamedSrid() = default;
    /// Stores both values unchanged.
    NamedSrid(Srid srid, std::string name) : m_srid(std::move(srid)), m_name(std::move(name)) {}

    friend bool operator==(const NamedSrid &a, const NamedSrid &b) {
        return a.m_srid == b.m_srid && a.m_name == b.m_name;
    }
    friend bool operator!=(const NamedSrid &a, const NamedSrid &b) { return !(a == b); }

    Srid m_srid; ///< authority and code; `CCoordinateSystem::FromSrid` turns it into a system
    std::string m_name; ///< name in the installation's culture, process code page; empty if none
};

} // namespace Geo

#endif
