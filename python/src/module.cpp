// The extension module _vexogeo: module set-up, the PROJ lock, array checks and the translation
// of the library's exceptions into the package's Python exceptions.
#include "binding.h"

#include <algorithm>

#include <vexogeo/geocoding/geocoder.h>
#include <vexogeo/wms/wms_client.h>

#include "crs/proj_lanes.h"
#include "module/module_hooks.h"

namespace VexoGeoPython {

std::mutex &ProjMutex() {
    static std::mutex mutex;
    return mutex;
}

unsigned ExtraLaneCount() { return std::max(2u, Geo::ResolveThreadCount(0)); }

DoubleColumn Column(const py::array &array, const char *name, bool writable) {
    if (!py::isinstance<py::array_t<double>>(array))
        throw py::type_error(std::string(name) + " must be a float64 array");
    if (array.ndim() != 1)
        throw py::value_error(std::string(name) + " must have one dimension");
    if (writable && !array.writeable())
        throw py::value_error(std::string(name) + " is read-only");
    DoubleColumn column;
    // The library only writes through the pointer when asked to; a read-only buffer is read.
    column.data = static_cast<double *>(const_cast<void *>(array.data()));
    column.count = static_cast<std::uint64_t>(array.shape(0));
    if (array.strides(0) < 0)
        throw py::value_error(std::string(name) + " must not run backwards");
    column.stride = static_cast<std::uint64_t>(array.strides(0));
    return column;
}

void Raise(const char *name, const py::tuple &args) {
    const py::object type = py::module_::import("vexogeo._errors").attr(name);
    PyErr_SetObject(type.ptr(), type(*args).ptr());
    throw py::error_already_set();
}

namespace {

const char *KindName(Geo::GeocodingErrorKind kind) {
    switch (kind) {
    case Geo::GeocodingErrorKind::InvalidArgument:
        return "invalid_argument";
    case Geo::GeocodingErrorKind::TimedOut:
        return "timed_out";
    case Geo::GeocodingErrorKind::Cancelled:
        return "cancelled";
    case Geo::GeocodingErrorKind::Blocked:
        return "blocked";
    case Geo::GeocodingErrorKind::RateLimited:
        return "rate_limited";
    case Geo::GeocodingErrorKind::HttpStatus:
        return "http_status";
    case Geo::GeocodingErrorKind::NotNominatim:
        return "not_nominatim";
    case Geo::GeocodingErrorKind::Transfer:
        return "transfer";
    }
    return "unknown";
}

const char *KindName(Geo::WmsErrorKind kind) {
    switch (kind) {
    case Geo::WmsErrorKind::Transfer:
        return "transfer";
    case Geo::WmsErrorKind::TooLarge:
        return "too_large";
    case Geo::WmsErrorKind::HttpStatus:
        return "http_status";
    case Geo::WmsErrorKind::ServiceException:
        return "service_exception";
    case Geo::WmsErrorKind::WrongContentType:
        return "wrong_content_type";
    case Geo::WmsErrorKind::InvalidDocument:
        return "invalid_document";
    case Geo::WmsErrorKind::File:
        return "file";
    case Geo::WmsErrorKind::Cancelled:
        return "cancelled";
    }
    return "unknown";
}

void Translate(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const Geo::GeocodingError &e) {
        if (e.GetKind() == Geo::GeocodingErrorKind::InvalidArgument) {
            PyErr_SetString(PyExc_ValueError, e.what());
            return;
        }
        try {
            Raise("GeocodingError", py::make_tuple(e.what(), KindName(e.GetKind()), e.GetStatus(),
                                                   e.GetRetryAfterSeconds()));
        } catch (py::error_already_set &raised) {
            raised.restore();
        }
    } catch (const Geo::CWmsError &e) {
        try {
            Raise("WmsError",
                  py::make_tuple(e.what(), KindName(e.GetKind()), e.GetCode(), e.GetText()));
        } catch (py::error_already_set &raised) {
            raised.restore();
        }
    }
}

} // namespace

} // namespace VexoGeoPython

PYBIND11_MODULE(_vexogeo, m) {
    using namespace VexoGeoPython;
    m.doc() = "The VexoGeo library's services; use the package vexogeo, not this module.";
    m.attr("DEFAULT_PROJ_DATA") = VEXOGEO_PYTHON_PROJ_DATA;
    m.def(
        "use_proj_search_path",
        [](const std::string &folder) {
            const std::lock_guard<std::mutex> lock(ProjMutex());
            Geo::Module::UseProjSearchPath(folder);
        },
        py::arg("folder"), "Points PROJ's lookups (EPSG codes, grids) at `folder`.");
    py::register_exception_translator(Translate);
    RegisterCrs(m);
    RegisterGeodesic(m);
    RegisterGeocoding(m);
    RegisterWms(m);
    RegisterXml(m);
}
