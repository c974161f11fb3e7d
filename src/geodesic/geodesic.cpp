// CGeodesic: the inverse geodesic problem in the coordinates of any working system.
#include <vexogeo/geodesic/geodesic.h>

#include <vexogeo/crs/coordinate_system.h>

#include <cmath>
#include <exception>

#include "geodesic/geodesic_batch.h"

namespace Geo {

namespace {

// The transformation and ellipsoid of a working system; null when nothing can be measured in it
// (the measurements then answer false, as they would on every call).
std::unique_ptr<CGeodesicSetup> PrepareSetup(CCoordinateSystem *working,
                                             CCoordinateSystem *latLong) {
    try {
        auto setup = std::make_unique<CGeodesicSetup>();
        if (setup->Open(working, latLong))
            return setup;
    } catch (const std::exception &) {
        // PROJ's operation search or an allocation failed: the system measures nothing.
    }
    return nullptr;
}

} // namespace

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
    // PROJ objects cannot be shared between owners: the copy builds its own transformation.
    if (other.m_pSetup)
        m_pSetup = PrepareSetup(m_pCoordinateSystem, m_pLatLongCoordinateSystem);
    m_threadCount = other.m_threadCount;
    PrepareLanes();
}

CGeodesic::~CGeodesic() { Drop(); }

CGeodesic &CGeodesic::operator=(const CGeodesic &other) {
    if (this == &other)
        return *this;
    std::unique_ptr<CGeodesicSetup> setup;
    if (other.m_pSetup)
        setup = PrepareSetup(other.m_pCoordinateSystem, other.m_pLatLongCoordinateSystem);
    // New references first, so systems shared by both objects never reach a count of 0.
    if (other.m_pCoordinateSystem != nullptr)
        other.m_pCoordinateSystem->AddRef();
    if (other.m_pLatLongCoordinateSystem != nullptr)
        other.m_pLatLongCoordinateSystem->AddRef();
    Drop();
    m_pCoordinateSystem = other.m_pCoordinateSystem;
    m_pLatLongCoordinateSystem = other.m_pLatLongCoordinateSystem;
    m_pSetup = std::move(setup);
    m_threadCount = other.m_threadCount;
    PrepareLanes();
    return *this;
}

void CGeodesic::Drop() {
    m_pSetup.reset();
    if (m_pCoordinateSystem != nullptr)
        m_pCoordinateSystem->Release();
    m_pCoordinateSystem = nullptr;
    if (m_pLatLongCoordinateSystem != nullptr)
        m_pLatLongCoordinateSystem->Release();
    m_pLatLongCoordinateSystem = nullptr;
}

void CGeodesic::Adopt(CCoordinateSystem *cs) {
    m_pCoordinateSystem = cs;
    // A failed derivation leaves the field null; nothing can be measured then.
    if (!cs->IsLatLong())
        cs->GetLatLongCoordinateSystem(&m_pLatLongCoordinateSystem);
    cs->AddRef();
    m_pSetup = PrepareSetup(m_pCoordinateSystem, m_pLatLongCoordinateSystem);
    PrepareLanes();
}

void CGeodesic::PrepareLanes() {
    if (!m_pSetup)
        return;
    try {
        m_pSetup->PrepareLanes(ResolveThreadCount(m_threadCount));
    } catch (const std::exception &) {
        // Without lanes every batch runs alone: the same results, only slower.
    }
}

void CGeodesic::SetThreadCount(unsigned count) {
    m_threadCount = count;
    PrepareLanes();
}

unsigned CGeodesic::GetThreadCount() const { return m_threadCount; }

unsigned CGeodesic::GetLaneCount() const {
    return m_pSetup ? static_cast<unsigned>(m_pSetup->LaneCount()) : 0;
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

bool CGeodesic::IsMeasurable() const { return m_pSetup != nullptr; }

bool CGeodesic::Inverse(const double &x1, const double &y1, const double &x2, const double &y2,
                        double &distance) const {
    if (!m_pSetup)
        return false;
    double xs[2] = {x1, x2};
    double ys[2] = {y1, y2};
    if (!m_pSetup->ToGeographic(2, xs, ys) || std::isnan(xs[0]) || std::isnan(xs[1]))
        return false;
    double s12 = 0;
    m_pSetup->SolveInverse(ys[0], xs[0], ys[1], xs[1], s12, nullptr, nullptr);
    if (!std::isfinite(s12))
        return false;
    distance = s12;
    return true;
}

} // namespace Geo
