// Shared pieces of the extension module _vexogeo: the lock around PROJ's default context, array
// checks and the registration of each service's low-level classes.
#ifndef VEXOGEO_PYTHON_BINDING_H
#define VEXOGEO_PYTHON_BINDING_H

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "crs/system_ref.h"

namespace VexoGeoPython {

namespace py = pybind11;

/// The library keeps its PROJ objects in PROJ's default context, which two threads must not use
/// at once: every operation of the module on that context holds this lock. Bulk work releases
/// the GIL first; nothing holding the lock ever waits for the GIL, so the two cannot deadlock.
/// Bulk transforms that find it taken run on a `LanePool` lane instead, in a context of its own.
std::mutex &ProjMutex();

/// A counted reference on a system whose last release, which calls PROJ, happens under the lock.
struct System {
    Geo::CSystemRef ref;
    System() = default;
    explicit System(Geo::CCoordinateSystem *cs) : ref(cs) {}
    System(const System &other) {
        const std::lock_guard<std::mutex> lock(ProjMutex());
        ref = other.ref;
    }
    System &operator=(const System &) = delete;
    ~System() {
        const std::lock_guard<std::mutex> lock(ProjMutex());
        ref = Geo::CSystemRef();
    }
    void *Raw() const { return ref->GetRaw(); }
};

/// Extra lanes of one Converter or Geodesic (`Owner`): a copy of the object, made the first time
/// a call finds PROJ's default context busy, whose per-thread PROJ contexts take such calls so
/// that Python threads transform at once. A lane serves one call at a time.
template <class Owner> class LanePool {
  public:
    /// One lane held for the length of a call; empty when every lane is busy or none exists.
    class Lease {
      public:
        Lease() = default;
        Lease(LanePool *pool, unsigned lane) : m_pool(pool), m_lane(lane) {}
        Lease(Lease &&other) noexcept : m_pool(other.m_pool), m_lane(other.m_lane) {
            other.m_pool = nullptr;
        }
        Lease(const Lease &) = delete;
        Lease &operator=(const Lease &) = delete;
        Lease &operator=(Lease &&) = delete;
        ~Lease() {
            if (m_pool != nullptr)
                m_pool->Free(m_lane);
        }
        explicit operator bool() const { return m_pool != nullptr; }
        const Owner &Object() const { return *m_pool->m_copy; }
        unsigned Lane() const { return m_lane; }

      private:
        LanePool *m_pool = nullptr;
        unsigned m_lane = 0;
    };

    /// A free lane, or an empty lease when none is free or the copy was never made.
    Lease Acquire() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        for (unsigned lane = 0; lane < m_busy.size(); ++lane) {
            if (!m_busy[lane]) {
                m_busy[lane] = true;
                return Lease(this, lane);
            }
        }
        return Lease();
    }

    /// Makes the copy once with `make()` (called under the PROJ lock, which the caller holds);
    /// a copy without lanes leaves every later call on the default context.
    template <class Make> void BuildOnce(Make &&make) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (m_built)
                return;
        }
        std::unique_ptr<Owner> copy = make();
        const unsigned lanes = copy->GetLaneCount();
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_copy = std::move(copy);
        m_busy.assign(lanes, false);
        m_built = true;
    }

    /// @return how many lanes the copy has; 0 before it is made.
    unsigned Count() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<unsigned>(m_busy.size());
    }

    /// Destroys the copy; the caller holds the PROJ lock and no lease is out.
    void Reset() { m_copy.reset(); }

  private:
    void Free(unsigned lane) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_busy[lane] = false;
    }

    std::mutex m_mutex; // guards m_busy and m_built; m_copy never changes once built
    std::unique_ptr<Owner> m_copy;
    std::vector<bool> m_busy;
    bool m_built = false;
};

/// How many extra lanes a pool's copy gets: the cores available, at least two.
unsigned ExtraLaneCount();

/// A float64 array the module reads or writes through its buffer: one dimension, any stride.
struct DoubleColumn {
    double *data = nullptr;
    std::uint64_t count = 0;
    std::uint64_t stride = 0; ///< bytes
};

/// Checks that `array` is a one-dimensional float64 array (writable when `writable`) and
/// describes it. @throw TypeError for another type or dtype, ValueError for another shape or a
/// read-only array that must be written.
DoubleColumn Column(const py::array &array, const char *name, bool writable);

/// Raises the exception class `name` of vexogeo._errors with `args`.
[[noreturn]] void Raise(const char *name, const py::tuple &args);

void RegisterCrs(py::module_ &m);
void RegisterGeodesic(py::module_ &m);
void RegisterGeocoding(py::module_ &m);
void RegisterWms(py::module_ &m);
void RegisterXml(py::module_ &m);

} // namespace VexoGeoPython

#endif
