// CGeodesic: the inverse geodesic problem in the coordinates of any working system.
#include <vexogeo/geodesic/geodesic.h>

#include <vexogeo/crs/converter.h>
#include <vexogeo/crs/coordinate_system.h>

#include "geodesic/ellipsoid_geodesic.h"

namespace Geo {

CGeodesic::CGeodesic(CCoordinateSystem *cs)
    : m_pCoordinateSystem(nullptr), m_pLatLongCoordinateSystem(nullptr) {
    if (cs != nullptr)
        Adopt(cs);
}

CGeodesic::CGeodesic(const CGeodesic &other)
    : m_pCoordinateSystem(other.m_pCoordinateSystem),
      m_pLatLongCoordinateSystem(other.m_pLatLongCoordinateSystem) {
    if (m_pCoordinateSystem != nullptr)
        m_pCoordinateSystem->AddRef();
    if (m_pLatLongCoordinateSystem != nullptr)
        m_pLatLongCoordinateSystem->AddRef();
}

CGeodesic::~CGeodesic() { Drop(); }

CGeodesic &CGeodesic::operator=(const CGeodesic &other) {
    if (this == &other)
        return *this;
    // New references first, so systems shared by both objects never reach a count of 0.
    if (other.m_pCoordinateSystem != nullptr)
        other.m_pCoordinateSystem->AddRef();
    if (other.m_pLatLongCoordinateSystem != nullptr)
        other.m_pLatLongCoordinateSystem->AddRef();
    Drop();
    m_pCoordinateSystem = other.m_pCoordinateSystem;
    m_pLatLongCoordinateSystem = other.m_pLatLongCoordinateSystem;
    return *this;
}

void CGeodesic::Drop() {
    if (m_pCoordinateSystem != nullptr)
        m_pCoordinateSystem->Release();
    m_pCoordinateSystem = nullptr;
    if (m_pLatLongCoordinateSystem != nullptr)
        m_pLatLongCoordinateSystem->Release();
    m_pLatLongCoordinateSystem = nullptr;
}

void CGeodesic::Adopt(CCoordinateSystem *cs) {
    m_pCoordinateSystem = cs;
    // A failed derivation leaves the field null; Inverse then answers false.
    if (!cs->IsLatLong())
        cs->GetLatLongCoordinateSystem(&m_pLatLongCoordinateSystem);
    cs->AddRef();
}

void CGeodesic::SetCoordinateSystem(CCoordinateSystem *cs) {
    if (cs == m_pCoordinateSystem)
        return;
    Drop();
    if (cs != nullptr)
        Adopt(cs);
}

CCoordinateSystem *CGeodesic::GetCoordinateSystem() const { return m_pCoordinateSystem; }

CCoordinateSystem *CGeodesic::GetLatLongCoordinateSystem() const {
    return m_pLatLongCoordinateSystem;
}

bool CGeodesic::Inverse(const double &x1, const double &y1, const double &x2, const double &y2,
                        double &distance) const {
    if (m_pCoordinateSystem == nullptr)
        return false;
    if (m_pCoordinateSystem->IsLatLong())
        return SolveInverse(*m_pCoordinateSystem, y1, x1, y2, x2, distance);
    if (m_pLatLongCoordinateSystem == nullptr)
        return false;

    double xs[2] = {x1, x2};
    double ys[2] = {y1, y2};
    const CConverter converter(m_pCoordinateSystem, m_pLatLongCoordinateSystem);
    if (!converter.TransformCoordinates(2, xs, ys, nullptr))
        return false;
    return SolveInverse(*m_pLatLongCoordinateSystem, ys[0], xs[0], ys[1], xs[1], distance);
}

} // namespace Geo
