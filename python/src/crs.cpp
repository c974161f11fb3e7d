// Coordinate systems, converters and the catalogue search for the Python package: handles and
// arrays in, the library's calls under the PROJ lock, plain Python values out.
#include "binding.h"

#include <memory>
#include <optional>
#include <vector>

#include <proj.h>
#include <pybind11/stl.h>

#include <vexogeo/crs/converter.h>
#include <vexogeo/crs/coordinate_system.h>
#include <vexogeo/crs/crs_search.h>

namespace VexoGeoPython {

namespace {

using Lock = std::lock_guard<std::mutex>;

py::dict AreaDict(const Geo::AreaOfUse &area) {
    py::dict d;
    d["name"] = area.m_name;
    d["west"] = area.m_west;
    d["south"] = area.m_south;
    d["east"] = area.m_east;
    d["north"] = area.m_north;
    return d;
}

std::string OwnedText(const char *text) { return text != nullptr ? text : ""; }

/// One PROJ object owned for the length of a query.
struct PjOwner {
    PJ *pj;
    explicit PjOwner(PJ *p) : pj(p) {}
    PjOwner(const PjOwner &) = delete;
    PjOwner &operator=(const PjOwner &) = delete;
    ~PjOwner() {
        if (pj != nullptr)
            proj_destroy(pj);
    }
};

std::unique_ptr<System> Create(const std::string &definition) {
    Geo::CCoordinateSystem *cs = nullptr;
    {
        const Lock lock(ProjMutex());
        cs = Geo::CCoordinateSystem::FromProj4Parameters(Geo::AsCrsDefinition(definition).c_str());
    }
    if (cs == nullptr)
        Raise("CRSError",
              py::make_tuple("PROJ does not know the coordinate system '" + definition + "'"));
    return std::make_unique<System>(cs);
}

py::object Info(const System &s) {
    const Lock lock(ProjMutex());
    Geo::CCoordinateSystem &cs = *s.ref.Get();
    py::dict d;
    std::string name;
    d["name"] = cs.GetName(name) ? py::cast(name) : py::none();
    d["kind"] = Geo::GetCrsKindName(cs.GetKind());
    Geo::AreaOfUse area;
    d["area_of_use"] = cs.GetAreaOfUse(area) ? py::object(AreaDict(area)) : py::none();
    std::vector<Geo::CrsAxis> axes;
    py::list axisList;
    if (cs.GetAxes(axes)) {
        for (const auto &a : axes)
            axisList.append(py::make_tuple(a.m_name, a.m_abbreviation, a.m_direction, a.m_unit));
    }
    d["axes"] = axisList;
    double semiMajor = 0, semiMinor = 0;
    if (cs.GetSpheroidDefinition(semiMajor, semiMinor)) {
        const PjOwner ellipsoid(proj_get_ellipsoid(nullptr, static_cast<PJ *>(s.Raw())));
        d["ellipsoid"] =
            py::make_tuple(OwnedText(proj_get_name(ellipsoid.pj)), semiMajor, semiMinor);
    } else {
        d["ellipsoid"] = py::none();
    }
    const PjOwner geodetic(proj_crs_get_geodetic_crs(nullptr, static_cast<PJ *>(s.Raw())));
    const PjOwner datum(geodetic.pj != nullptr ? proj_crs_get_datum_forced(nullptr, geodetic.pj)
                                               : nullptr);
    d["datum"] = datum.pj != nullptr ? py::cast(OwnedText(proj_get_name(datum.pj))) : py::none();
    return std::move(d);
}

py::object Export(const System &s, bool wkt, const std::string &version) {
    const Lock lock(ProjMutex());
    const char *text = nullptr;
    if (wkt) {
        const PJ_WKT_TYPE type = version == "WKT1_GDAL"   ? PJ_WKT1_GDAL
                                 : version == "WKT2_2015" ? PJ_WKT2_2015
                                 : version == "WKT1_ESRI" ? PJ_WKT1_ESRI
                                                          : PJ_WKT2_2019;
        text = proj_as_wkt(nullptr, static_cast<PJ *>(s.Raw()), type, nullptr);
    } else {
        text = proj_as_proj_string(nullptr, static_cast<PJ *>(s.Raw()), PJ_PROJ_5, nullptr);
    }
    return text != nullptr ? py::cast(std::string(text)) : py::none();
}

std::unique_ptr<System> Geodetic(const System &s) {
    Geo::CCoordinateSystem *out = nullptr;
    {
        const Lock lock(ProjMutex());
        if (!s.ref->GetLatLongCoordinateSystem(&out))
            out = nullptr;
    }
    if (out == nullptr)
        Raise("CRSError", py::make_tuple("the coordinate system rests on no geodetic system"));
    auto system = std::make_unique<System>(out);
    // GetLatLongCoordinateSystem hands over one reference of its own; System holds another.
    const Lock lock(ProjMutex());
    out->Release();
    return system;
}

/// A converter owned by one Python object; its PROJ objects are built and destroyed under the
/// lock. Bulk transforms that find the lock taken run on a lane of a copy, so threads transform
/// at once; `operation` reports the last point transformed on the default context.
class Converter {
  public:
    Converter(const System &source, const System &target, bool allowBallpark,
              std::optional<std::array<double, 4>> area) {
        const Lock lock(ProjMutex());
        m_converter = std::make_unique<Geo::CConverter>();
        m_converter->SetAllowBallpark(allowBallpark);
        if (area && !m_converter->SetAreaOfInterest((*area)[0], (*area)[1], (*area)[2], (*area)[3]))
            m_badArea = true;
        m_converter->SetSource(source.ref.Get());
        m_converter->SetTarget(target.ref.Get());
        m_has = m_converter->HasTransformation();
    }
    ~Converter() {
        const Lock lock(ProjMutex());
        m_lanes.Reset();
        m_converter.reset();
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    bool BadArea() const { return m_badArea; }
    bool Has() const { return m_has; }

    /// Threads a large transform splits over (0: the cores available); each thread gets its own
    /// PROJ context and copy of the transformation.
    void SetThreads(unsigned count) {
        const Lock lock(ProjMutex());
        m_converter->SetThreadCount(count);
    }
    unsigned GetThreads() const { return m_converter->GetThreadCount(); }
    /// Lanes made for calls that found the default context busy (0 until one did).
    unsigned Lanes() { return m_lanes.Count(); }

    /// Transforms columns in place. @return false when the library transformed no point.
    bool Transform(bool inverse, const py::array &x, const py::array &y, const py::object &z) {
        const DoubleColumn cx = Column(x, "x", true), cy = Column(y, "y", true);
        DoubleColumn cz;
        if (!z.is_none())
            cz = Column(z.cast<py::array>(), "z", true);
        if (cy.count != cx.count || (cz.data != nullptr && cz.count != cx.count))
            throw py::value_error("x, y and z must have the same length");
        if (cx.count == 0)
            return true;
        const py::gil_scoped_release unlocked;
        {
            std::unique_lock<std::mutex> lock(ProjMutex(), std::try_to_lock);
            if (lock.owns_lock())
                return OnDefaultContext(inverse, cx, cy, cz);
        }
        if (const auto lease =
                LaneMayTake(cx, cy, cz) ? m_lanes.Acquire() : LanePool<Geo::CConverter>::Lease())
            return OnLane(lease, inverse, cx, cy, cz);
        // Every lane is busy, or none was made yet: wait for the default context, and make the
        // lanes for the next call that finds it taken.
        const Lock lock(ProjMutex());
        m_lanes.BuildOnce([this] {
            auto copy = std::make_unique<Geo::CConverter>(*m_converter);
            copy->SetThreadCount(ExtraLaneCount());
            return copy;
        });
        return OnDefaultContext(inverse, cx, cy, cz);
    }

    py::tuple Point(bool inverse, double x, double y) {
        const Lock lock(ProjMutex());
        if (inverse)
            m_converter->InverseTransformCoordinate(x, y);
        else
            m_converter->TransformCoordinate(x, y);
        return py::make_tuple(x, y);
    }

    py::tuple Point3(bool inverse, double x, double y, double z) {
        const Lock lock(ProjMutex());
        if (inverse)
            m_converter->InverseTransformCoordinate(x, y, z);
        else
            m_converter->TransformCoordinate(x, y, z);
        return py::make_tuple(x, y, z);
    }

    py::object Bounds(bool inverse, double west, double south, double east, double north,
                      int densify) {
        bool ok = false;
        {
            const py::gil_scoped_release unlocked;
            const Lock lock(ProjMutex());
            ok = inverse ? m_converter->InverseTransformBounds(west, south, east, north, densify)
                         : m_converter->TransformBounds(west, south, east, north, densify);
        }
        if (!ok)
            return py::none();
        return py::make_tuple(west, south, east, north);
    }

    py::object Operation() {
        Geo::OperationInfo info;
        const Lock lock(ProjMutex());
        if (!m_converter->GetOperationInfo(info))
            return py::none();
        py::list grids;
        for (const auto &g : info.m_grids)
            grids.append(py::make_tuple(g.m_name, g.m_path, g.m_available));
        return py::make_tuple(info.m_name, info.m_accuracy, info.m_ballpark, grids);
    }

  private:
    bool OnDefaultContext(bool inverse, const DoubleColumn &x, const DoubleColumn &y,
                          const DoubleColumn &z) const {
        return inverse
                   ? m_converter->InverseTransformCoordinates(x.count, x.stride, x.data, y.count,
                                                              y.stride, y.data, z.count, z.stride,
                                                              z.data)
                   : m_converter->TransformCoordinates(x.count, x.stride, x.data, y.count, y.stride,
                                                       y.data, z.count, z.stride, z.data);
    }

    /// A lane transforms packed points: strided columns go through packed copies. Each point is
    /// transformed on its own, so the values equal the default context's.
    static bool OnLane(const LanePool<Geo::CConverter>::Lease &lease, bool inverse,
                       const DoubleColumn &x, const DoubleColumn &y, const DoubleColumn &z) {
        const DoubleColumn *columns[] = {&x, &y, &z};
        std::vector<double> packed[3];
        double *data[3] = {};
        for (int axis = 0; axis < 3; ++axis) {
            const DoubleColumn &c = *columns[axis];
            data[axis] = c.data;
            if (c.data == nullptr || c.stride == sizeof(double))
                continue;
            packed[axis].resize(c.count);
            for (std::uint64_t i = 0; i < c.count; ++i)
                packed[axis][i] = *Element(c, i);
            data[axis] = packed[axis].data();
        }
        const Geo::CConverter &converter = lease.Object();
        const bool ok = inverse ? converter.InverseTransformCoordinatesOnLane(
                                      lease.Lane(), x.count, data[0], data[1], data[2])
                                : converter.TransformCoordinatesOnLane(lease.Lane(), x.count,
                                                                       data[0], data[1], data[2]);
        for (int axis = 0; axis < 3; ++axis) {
            const DoubleColumn &c = *columns[axis];
            for (std::uint64_t i = 0; i < packed[axis].size(); ++i)
                *Element(c, i) = packed[axis][i];
        }
        return ok;
    }

    /// Whether `OnLane` gives the default context's values. Packed columns go to the lane as
    /// they are; strided ones are copied, which is the same only when no element of one column
    /// is an element of another, or the same element twice (stride 0): PROJ, in place, would
    /// read what it has just written.
    static bool LaneMayTake(const DoubleColumn &x, const DoubleColumn &y, const DoubleColumn &z) {
        const DoubleColumn *columns[] = {&x, &y, &z};
        const std::size_t n = z.data != nullptr ? 3 : 2;
        bool packed = true;
        for (std::size_t i = 0; i < n; ++i) {
            if (columns[i]->count > 1 && columns[i]->stride < sizeof(double))
                return false;
            packed = packed && columns[i]->stride == sizeof(double);
        }
        if (packed)
            return true;
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = i + 1; j < n; ++j) {
                const DoubleColumn &a = *columns[i], &b = *columns[j];
                const auto first = [](const DoubleColumn &c) {
                    return reinterpret_cast<std::uintptr_t>(c.data);
                };
                const auto end = [](const DoubleColumn &c) {
                    return reinterpret_cast<std::uintptr_t>(c.data) + c.stride * (c.count - 1) +
                           sizeof(double);
                };
                if (end(a) <= first(b) || end(b) <= first(a))
                    continue;
                // Interleaved columns, as the two columns of an (n, 2) array are.
                const std::uintptr_t gap =
                    first(a) > first(b) ? first(a) - first(b) : first(b) - first(a);
                const std::uintptr_t shift = a.stride != 0 ? gap % a.stride : 0;
                if (a.stride != b.stride || shift < sizeof(double) ||
                    a.stride - shift < sizeof(double))
                    return false;
            }
        }
        return true;
    }

    static double *Element(const DoubleColumn &c, std::uint64_t i) {
        return reinterpret_cast<double *>(reinterpret_cast<char *>(c.data) + c.stride * i);
    }

    std::unique_ptr<Geo::CConverter> m_converter;
    LanePool<Geo::CConverter> m_lanes;
    bool m_badArea = false;
    bool m_has = false;
};

py::list Search(const std::string &text, const std::string &authority,
                const std::vector<std::string> &kinds, std::optional<std::array<double, 4>> area,
                bool includeDeprecated) {
    Geo::CrsSearchQuery query;
    query.m_text = text;
    query.m_authority = authority;
    for (const auto &name : kinds) {
        bool known = false;
        for (int k = static_cast<int>(Geo::CrsKind::Unknown);
             k <= static_cast<int>(Geo::CrsKind::Other); ++k) {
            const auto kind = static_cast<Geo::CrsKind>(k);
            const std::string kindName = Geo::GetCrsKindName(kind);
            // "geographic" stands for both of its 2-D and 3-D kinds.
            if (kindName == name || (name == "geographic" && kindName.rfind(name, 0) == 0)) {
                query.m_kinds.push_back(kind);
                known = true;
            }
        }
        if (!known)
            throw py::value_error("unknown kind of coordinate system '" + name + "'");
    }
    if (area) {
        query.m_hasArea = true;
        query.m_west = (*area)[0];
        query.m_south = (*area)[1];
        query.m_east = (*area)[2];
        query.m_north = (*area)[3];
    }
    query.m_includeDeprecated = includeDeprecated;
    std::vector<Geo::CrsSearchHit> hits;
    {
        const py::gil_scoped_release unlocked;
        const Lock lock(ProjMutex());
        hits = Geo::CCrsSearch::Find(query);
    }
    py::list result;
    for (const auto &hit : hits) {
        result.append(py::make_tuple(
            hit.m_authority, hit.m_code, hit.m_name, Geo::GetCrsKindName(hit.m_kind),
            hit.m_deprecated, hit.m_hasArea ? py::object(AreaDict(hit.m_area)) : py::none()));
    }
    return result;
}

} // namespace

void RegisterCrs(py::module_ &m) {
    py::class_<System>(m, "System", "A counted reference on one coordinate system.")
        .def(py::init(&Create), py::arg("definition"))
        .def("info", &Info)
        .def("export", &Export, py::arg("wkt"), py::arg("version") = "WKT2_2019")
        .def("geodetic", &Geodetic);
    py::class_<Converter>(m, "Converter", "One transformation between two systems.")
        .def(py::init<const System &, const System &, bool, std::optional<std::array<double, 4>>>(),
             py::arg("source"), py::arg("target"), py::arg("allow_ballpark"), py::arg("area"))
        .def_property_readonly("bad_area", &Converter::BadArea)
        .def_property_readonly("has_transformation", &Converter::Has)
        .def_property("threads", &Converter::GetThreads, &Converter::SetThreads)
        .def_property_readonly("lanes", &Converter::Lanes)
        .def("transform", &Converter::Transform, py::arg("inverse"), py::arg("x"), py::arg("y"),
             py::arg("z"))
        .def("point", &Converter::Point)
        .def("point3", &Converter::Point3)
        .def("bounds", &Converter::Bounds)
        .def("operation", &Converter::Operation);
    m.def("search_crs", &Search, py::arg("text"), py::arg("authority"), py::arg("kinds"),
          py::arg("area"), py::arg("include_deprecated"));
}

} // namespace VexoGeoPython
