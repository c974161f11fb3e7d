// Owners for coordinate-system handles in tests, so nothing leaks when an assertion fails.
#ifndef VEXOGEO_TESTS_SUPPORT_PROJ_KEEPER_H
#define VEXOGEO_TESTS_SUPPORT_PROJ_KEEPER_H

#include <memory>

#include <vexogeo/crs/coordinate_system.h>

namespace VexoGeoTest {

/// Holds one counted reference on a handle and releases it when it goes out of scope.
class SystemRef {
  public:
    explicit SystemRef(Geo::CCoordinateSystem *cs = nullptr) : m_p(cs) {
        if (m_p != nullptr)
            m_p->AddRef();
    }
    SystemRef(const SystemRef &) = delete;
    SystemRef &operator=(const SystemRef &) = delete;
    ~SystemRef() {
        if (m_p != nullptr)
            m_p->Release();
    }
    Geo::CCoordinateSystem *get() const { return m_p; }
    Geo::CCoordinateSystem *operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

  private:
    Geo::CCoordinateSystem *m_p;
};

} // namespace VexoGeoTest

#endif
