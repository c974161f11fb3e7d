// Geodesic measurement for the Python package: distances and azimuths of array pairs, lengths
// and areas of vertex arrays, on one working system.
#include "binding.h"

#include <memory>

#include <vexogeo/crs/coordinate_system.h>
#include <vexogeo/geodesic/geodesic.h>

namespace VexoGeoPython {

namespace {

using Lock = std::lock_guard<std::mutex>;

/// Whether the library may read `c` as a packed array: NumPy gives arrays of fewer than two
/// elements whatever stride it likes.
bool Packed(const DoubleColumn &c) { return c.count <= 1 || c.stride == sizeof(double); }

/// A geodesic owned by one Python object; built and destroyed under the lock. Measurements that
/// find the lock taken run on a lane of a copy.
class Geodesic {
  public:
    explicit Geodesic(const System &system) {
        const Lock lock(ProjMutex());
        m_geodesic = std::make_unique<Geo::CGeodesic>(system.ref.Get());
        m_measurable = m_geodesic->IsMeasurable();
    }
    ~Geodesic() {
        const Lock lock(ProjMutex());
        m_lanes.Reset();
        m_geodesic.reset();
    }
    Geodesic(const Geodesic &) = delete;
    Geodesic &operator=(const Geodesic &) = delete;

    bool Measurable() const { return m_measurable; }

    /// Threads a large batch splits over (0: the cores available).
    void SetThreads(unsigned count) {
        const Lock lock(ProjMutex());
        m_geodesic->SetThreadCount(count);
    }
    unsigned GetThreads() const { return m_geodesic->GetThreadCount(); }
    /// Lanes made for calls that found the default context busy (0 until one did).
    unsigned Lanes() { return m_lanes.Count(); }

    /// Fills `distance`, `azimuth1`, `azimuth2` for the pairs of the four input columns.
    std::uint64_t Inverse(const py::array &x1, const py::array &y1, const py::array &x2,
                          const py::array &y2, const py::array &distance, const py::array &azimuth1,
                          const py::array &azimuth2) {
        const DoubleColumn columns[] = {Column(x1, "x1", false),
                                        Column(y1, "y1", false),
                                        Column(x2, "x2", false),
                                        Column(y2, "y2", false),
                                        Column(distance, "distance", true),
                                        Column(azimuth1, "azimuth1", true),
                                        Column(azimuth2, "azimuth2", true)};
        for (const auto &c : columns) {
            if (c.count != columns[0].count)
                throw py::value_error("the coordinate arrays must have the same length");
            if (!Packed(c))
                throw py::value_error("the coordinate arrays must be contiguous");
        }
        if (columns[0].count == 0)
            return 0;
        const py::gil_scoped_release unlocked;
        return OnFreeContext(
            [&] {
                return m_geodesic->InverseBatch(columns[0].count, columns[0].data, columns[1].data,
                                                columns[2].data, columns[3].data, columns[4].data,
                                                columns[5].data, columns[6].data);
            },
            [&](const Geo::CGeodesic &copy, unsigned lane) {
                return copy.InverseBatchOnLane(lane, columns[0].count, columns[0].data,
                                               columns[1].data, columns[2].data, columns[3].data,
                                               columns[4].data, columns[5].data, columns[6].data);
            });
    }

    py::object LineLength(const py::array &x, const py::array &y) {
        const DoubleColumn cx = Column(x, "x", false), cy = Column(y, "y", false);
        if (cx.count != cy.count || !Packed(cx) || !Packed(cy))
            throw py::value_error("x and y must be contiguous and of the same length");
        double length = 0;
        bool ok = false;
        {
            const py::gil_scoped_release unlocked;
            ok = OnFreeContext(
                [&] { return m_geodesic->LineLength(cx.count, cx.data, cy.data, length); },
                [&](const Geo::CGeodesic &copy, unsigned lane) {
                    return copy.LineLengthOnLane(lane, cx.count, cx.data, cy.data, length);
                });
        }
        return ok ? py::cast(length) : py::none();
    }

    py::object PolygonArea(const py::array &x, const py::array &y) {
        const DoubleColumn cx = Column(x, "x", false), cy = Column(y, "y", false);
        if (cx.count != cy.count || !Packed(cx) || !Packed(cy))
            throw py::value_error("x and y must be contiguous and of the same length");
        double area = 0, perimeter = 0;
        bool ok = false;
        {
            const py::gil_scoped_release unlocked;
            ok = OnFreeContext(
                [&] {
                    return m_geodesic->PolygonArea(cx.count, cx.data, cy.data, area, perimeter);
                },
                [&](const Geo::CGeodesic &copy, unsigned lane) {
                    return copy.PolygonAreaOnLane(lane, cx.count, cx.data, cy.data, area,
                                                  perimeter);
                });
        }
        return ok ? py::object(py::make_tuple(area, perimeter)) : py::none();
    }

  private:
    /// Runs `onDefault()` under the lock when it is free, else `onLane(copy, lane)` on a free
    /// lane; with every lane busy or none made yet, waits for the lock and makes the lanes for
    /// the next call that finds it taken. Both give the same bits. Called without the GIL.
    template <class OnDefault, class OnLane>
    auto OnFreeContext(OnDefault &&onDefault, OnLane &&onLane) -> decltype(onDefault()) {
        {
            std::unique_lock<std::mutex> lock(ProjMutex(), std::try_to_lock);
            if (lock.owns_lock())
                return onDefault();
        }
        if (const auto lease = m_lanes.Acquire())
            return onLane(lease.Object(), lease.Lane());
        const Lock lock(ProjMutex());
        m_lanes.BuildOnce([this] {
            auto copy = std::make_unique<Geo::CGeodesic>(*m_geodesic);
            copy->SetThreadCount(ExtraLaneCount());
            return copy;
        });
        return onDefault();
    }

    std::unique_ptr<Geo::CGeodesic> m_geodesic;
    LanePool<Geo::CGeodesic> m_lanes;
    bool m_measurable = false;
};

} // namespace

void RegisterGeodesic(py::module_ &m) {
    py::class_<Geodesic>(m, "Geodesic", "Geodesic measurement on one working system.")
        .def(py::init<const System &>(), py::arg("system"))
        .def_property_readonly("measurable", &Geodesic::Measurable)
        .def_property("threads", &Geodesic::GetThreads, &Geodesic::SetThreads)
        .def_property_readonly("lanes", &Geodesic::Lanes)
        .def("inverse", &Geodesic::Inverse)
        .def("line_length", &Geodesic::LineLength)
        .def("polygon_area", &Geodesic::PolygonArea);
}

} // namespace VexoGeoPython
