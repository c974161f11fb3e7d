// A counted reference on a coordinate system, written on the public interface only, so that the
// vexogeo tool and the tests hold systems the same way.
#ifndef VEXOGEO_CRS_SYSTEM_REF_H
#define VEXOGEO_CRS_SYSTEM_REF_H

#include <string>
#include <utility>

#include <vexogeo/crs/coordinate_system.h>

namespace Geo {

/// One counted reference on a coordinate system; copies share it, the last one releases it.
class CSystemRef {
  public:
    CSystemRef() = default;
    /// Takes a reference on `system` (may be null).
    explicit CSystemRef(CCoordinateSystem *system) : m_pSystem(system) {
        if (m_pSystem != nullptr)
            m_pSystem->AddRef();
    }
    CSystemRef(const CSystemRef &other) : CSystemRef(other.m_pSystem) {}
    CSystemRef &operator=(const CSystemRef &other) {
        CSystemRef copy(other);
        std::swap(m_pSystem, copy.m_pSystem);
        return *this;
    }
    ~CSystemRef() {
        if (m_pSystem != nullptr)
            m_pSystem->Release();
    }

    /// @return the system, no reference added; null when empty.
    CCoordinateSystem *Get() const { return m_pSystem; }
    CCoordinateSystem *operator->() const { return m_pSystem; }
    explicit operator bool() const { return m_pSystem != nullptr; }

  private:
    CCoordinateSystem *m_pSystem = nullptr;
};

/// `definition` as the definition of a coordinate system: a PROJ string ("+proj=...") names an
/// operation to PROJ unless it says +type=crs, so such a string gets " +type=crs"; any other
/// definition (authority:code, WKT, a string that says it) comes back unchanged.
inline std::string AsCrsDefinition(std::string definition) {
    if (definition.rfind('+', 0) == 0 && definition.find("+type=crs") == std::string::npos)
        definition += " +type=crs";
    return definition;
}

} // namespace Geo

#endif
