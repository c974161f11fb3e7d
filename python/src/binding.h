// Shared pieces of the extension module _vexogeo: the lock around PROJ's default context, array
// checks and the registration of each service's low-level classes.
#ifndef VEXOGEO_PYTHON_BINDING_H
#define VEXOGEO_PYTHON_BINDING_H

#include <cstdint>
#include <mutex>
#include <string>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "crs/system_ref.h"

namespace VexoGeoPython {

namespace py = pybind11;

/// The library keeps its PROJ objects in PROJ's default context, which two threads must not use
/// at once: every PROJ-calling operation of the module holds this lock. Bulk work releases the
/// GIL first; nothing holding the lock ever waits for the GIL, so the two cannot deadlock.
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
