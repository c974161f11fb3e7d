// Batch geodesic measurement: many pairs, a polyline's length and a polygon's area, each with one
// transformation and one ellipsoid for all points.
#include "geodesic/geodesic_batch.h"

#include <vexogeo/crs/coordinate_system.h>
#include <vexogeo/geodesic/geodesic.h>

#include <GeographicLib/PolygonArea.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <vector>

#include "geodesic/ellipsoid_geodesic.h"

namespace Geo {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Walks the vertices in chunks and adds each one to GeographicLib's polygon (or polyline).
// False when a vertex has no geographic position or nothing can be measured; then the outputs
// stay untouched.
bool TraceRing(const CGeodesicSetup *setup, std::uint64_t count, const double *x, const double *y,
               bool polyline, double &perimeter, double &area,
               std::size_t lane = CGeodesicSetup::kDefaultLane) {
    if (setup == nullptr || x == nullptr || y == nullptr)
        return false;
    GeographicLib::PolygonArea ring(setup->Solution(), polyline);
    double lon[kGeodesicChunkPoints];
    double lat[kGeodesicChunkPoints];
    for (std::uint64_t start = 0; start < count; start += kGeodesicChunkPoints) {
        const auto n =
            static_cast<std::size_t>(std::min<std::uint64_t>(kGeodesicChunkPoints, count - start));
        std::copy(x + start, x + start + n, lon);
        std::copy(y + start, y + start + n, lat);
        if (!setup->ToGeographic(n, lon, lat, lane))
            return false;
        for (std::size_t i = 0; i < n; ++i) {
            if (std::isnan(lon[i]))
                return false;
            ring.AddPoint(lat[i], lon[i]);
        }
    }
    double ringPerimeter = 0;
    double ringArea = 0;
    ring.Compute(false, true, ringPerimeter, ringArea);
    // A latitude beyond 90 degrees gives GeographicLib no position: the sums turn NaN.
    if (std::isnan(ringPerimeter) || std::isnan(ringArea))
        return false;
    perimeter = ringPerimeter;
    area = std::abs(ringArea);
    return true;
}

// The set-up's lane that stands for `lane` of a CGeodesic: a working system that transforms
// nothing has lanes that are only a count, and measures on the default lane.
std::size_t SetupLane(const CGeodesicSetup &setup, unsigned lane) {
    return setup.Transformation() != nullptr ? lane : CGeodesicSetup::kDefaultLane;
}

// Measures one pair given in degrees from Greenwich (NaN longitudes: no place) into element `i`
// of the outputs. @return whether it was measured.
inline bool MeasurePair(const CGeodesicSetup &setup, double lat1, double lon1, double lat2,
                        double lon2, std::uint64_t i, double *distance, double *azimuth1,
                        double *azimuth2) {
    double s12 = kNaN;
    double azi1 = kNaN;
    double azi2 = kNaN;
    if (!std::isnan(lon1) && !std::isnan(lon2)) {
        const bool wantAzimuths = azimuth1 != nullptr || azimuth2 != nullptr;
        setup.SolveInverse(lat1, lon1, lat2, lon2, s12, wantAzimuths ? &azi1 : nullptr,
                           wantAzimuths ? &azi2 : nullptr);
    }
    // A latitude beyond 90 degrees gives GeographicLib no position: NaN, never infinity.
    if (!std::isfinite(s12))
        s12 = azi1 = azi2 = kNaN;
    distance[i] = s12;
    if (azimuth1 != nullptr)
        azimuth1[i] = azi1;
    if (azimuth2 != nullptr)
        azimuth2[i] = azi2;
    return !std::isnan(s12);
}

// Measures the pairs [first, last) with the transformation of `lane`, in chunks that start
// at `first`; `first` is a multiple of the chunk, so every pair sees the chunking of one call
// over the whole batch. @return the pairs measured; false in `failed` when the first chunk of
// the batch could not be transformed at all.
std::uint64_t MeasurePairs(const CGeodesicSetup &setup, std::size_t lane, std::uint64_t first,
                           std::uint64_t last, const double *x1, const double *y1, const double *x2,
                           const double *y2, double *distance, double *azimuth1, double *azimuth2,
                           bool &failed) {
    std::uint64_t measured = 0;
    if (setup.PlacesDirectly()) {
        // Coordinates that already are degrees from Greenwich are read where they lie; a
        // non-finite one is no place, as ToGeographic would make it.
        for (std::uint64_t i = first; i < last; ++i) {
            const bool placed = std::isfinite(x1[i]) && std::isfinite(y1[i]) &&
                                std::isfinite(x2[i]) && std::isfinite(y2[i]);
            if (MeasurePair(setup, y1[i], placed ? x1[i] : kNaN, y2[i], x2[i], i, distance,
                            azimuth1, azimuth2))
                ++measured;
        }
        return measured;
    }
    // A chunk holds the first points of its pairs, then their second points, so the whole
    // chunk goes through PROJ in one call.
    double lon[kGeodesicChunkPoints];
    double lat[kGeodesicChunkPoints];
    for (std::uint64_t start = first; start < last; start += kGeodesicPairs) {
        const auto n =
            static_cast<std::size_t>(std::min<std::uint64_t>(kGeodesicPairs, last - start));
        std::copy(x1 + start, x1 + start + n, lon);
        std::copy(x2 + start, x2 + start + n, lon + n);
        std::copy(y1 + start, y1 + start + n, lat);
        std::copy(y2 + start, y2 + start + n, lat + n);
        if (!setup.ToGeographic(2 * n, lon, lat, lane)) {
            // Only a missing transformation fails a whole call, and it fails the first one.
            if (start == 0) {
                failed = true;
                return 0;
            }
            std::fill(lon, lon + 2 * n, kNaN);
        }
        for (std::size_t i = 0; i < n; ++i) {
            if (MeasurePair(setup, lat[i], lon[i], lat[n + i], lon[n + i], start + i, distance,
                            azimuth1, azimuth2))
                ++measured;
        }
    }
    return measured;
}

} // namespace

bool CGeodesicSetup::Open(CCoordinateSystem *working, CCoordinateSystem *latLong) {
    if (working == nullptr)
        return false;
    // The same systems and the same ellipsoid for every measurement, so a pair measured alone,
    // in a batch or as part of a ring agrees to the last bit.
    const CCoordinateSystem *geodetic = working;
    if (!working->IsLatLong()) {
        if (latLong == nullptr)
            return false;
        geodetic = latLong;
    }
    if (!ReadGeodeticSystem(*geodetic, m_solution, m_angles))
        return false;
    geod_init(&m_pairs, m_solution->EquatorialRadius(), m_solution->Flattening());
    if (geodetic != working) {
        // Built as a converter builds it (no area, no options, normalized), but owned here:
        // the systems' only references stay their holders' own.
        m_crsToCrs.reset(
            proj_create_crs_to_crs_from_pj(nullptr, static_cast<PJ *>(working->GetRaw()),
                                           static_cast<PJ *>(latLong->GetRaw()), nullptr, nullptr));
        if (!m_crsToCrs)
            return false;
        m_transform.reset(proj_normalize_for_visualization(nullptr, m_crsToCrs.get()));
        if (!m_transform)
            return false;
        // A geographic system measured on its own geodetic system (EPSG:4326 on itself) gets
        // PROJ's no-operation: nothing to call per chunk, and nothing for lanes to copy.
        const PJ_PROJ_INFO info = proj_pj_info(m_transform.get());
        if (info.id != nullptr && std::strcmp(info.id, "noop") == 0) {
            m_transform.reset();
            m_crsToCrs.reset();
            return true;
        }
        m_needsLanes = true;
    }
    return true;
}

void CGeodesicSetup::PrepareLanes(std::size_t count) {
    if (!m_needsLanes) {
        // A lat/long system transforms nothing: its lanes are only a count.
        m_laneCount = count > 1 ? count : 0;
        return;
    }
    m_lanes.Prepare(m_transform.get(), count > 1 ? count : 0);
}

bool CGeodesicSetup::ToGeographic(std::size_t count, double *x, double *y, std::size_t lane) const {
    // A point given with an infinite or NaN coordinate is no place, even where a projection's
    // inverse would turn infinity into a finite pole.
    for (std::size_t i = 0; i < count; ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i])) {
            x[i] = kNaN;
            y[i] = kNaN;
        }
    }
    // With equal counts on both axes PROJ processes every point and marks a failed one with
    // HUGE_VAL; NaN makes failure one value whatever the system.
    if (m_transform) {
        PJ *pj = lane == kDefaultLane ? m_transform.get() : m_lanes.Get(lane);
        if (TransformAxes(pj, PJ_FWD, count, 8, x, count, 8, y, count, 8, nullptr) == 0)
            return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i])) {
            x[i] = kNaN;
            y[i] = kNaN;
        }
    }
    m_angles.ToDegrees(count, x, y);
    return true;
}

std::uint64_t CGeodesic::InverseBatch(std::uint64_t count, const double *x1, const double *y1,
                                      const double *x2, const double *y2, double *distance,
                                      double *azimuth1, double *azimuth2) const {
    if (!m_pSetup || count == 0 || x1 == nullptr || y1 == nullptr || x2 == nullptr ||
        y2 == nullptr || distance == nullptr)
        return 0;
    const CGeodesicSetup &setup = *m_pSetup;
    const std::size_t lanes = setup.LaneCount();
    const std::size_t parts =
        static_cast<std::size_t>(std::min<std::uint64_t>(lanes, count / kMinPointsPerThread));
    bool failed = false;
    if (parts < 2) {
        const std::uint64_t measured =
            MeasurePairs(setup, CGeodesicSetup::kDefaultLane, 0, count, x1, y1, x2, y2, distance,
                         azimuth1, azimuth2, failed);
        return failed ? 0 : measured;
    }
    std::vector<std::uint64_t> measured(parts, 0);
    std::vector<char> partFailed(parts, 0);
    const bool transforms = setup.Transformation() != nullptr;
    RunParts(parts, count, kGeodesicPairs,
             [&](std::size_t part, std::uint64_t first, std::uint64_t last) {
                 if (transforms)
                     proj_errno_reset(setup.Lanes().Get(part));
                 bool partFail = false;
                 measured[part] = MeasurePairs(setup, transforms ? part : 0, first, last, x1, y1,
                                               x2, y2, distance, azimuth1, azimuth2, partFail);
                 partFailed[part] = partFail ? 1 : 0;
             });
    if (transforms)
        MergeLaneErrors(setup.Transformation(), setup.Lanes(), parts);
    if (partFailed[0] != 0)
        return 0;
    std::uint64_t total = 0;
    for (const std::uint64_t m : measured)
        total += m;
    return total;
}

std::uint64_t CGeodesic::InverseBatchOnLane(unsigned lane, std::uint64_t count, const double *x1,
                                            const double *y1, const double *x2, const double *y2,
                                            double *distance, double *azimuth1,
                                            double *azimuth2) const {
    if (!m_pSetup || lane >= m_pSetup->LaneCount() || count == 0 || x1 == nullptr ||
        y1 == nullptr || x2 == nullptr || y2 == nullptr || distance == nullptr)
        return 0;
    const CGeodesicSetup &setup = *m_pSetup;
    bool failed = false;
    const std::uint64_t measured =
        MeasurePairs(setup, setup.Transformation() != nullptr ? lane : 0, 0, count, x1, y1, x2, y2,
                     distance, azimuth1, azimuth2, failed);
    return failed ? 0 : measured;
}

bool CGeodesic::LineLength(std::uint64_t count, const double *x, const double *y,
                           double &length) const {
    if (count < 2)
        return false;
    double area = 0;
    try {
        return TraceRing(m_pSetup.get(), count, x, y, true, length, area);
    } catch (const std::exception &) {
        return false;
    }
}

bool CGeodesic::LineLengthOnLane(unsigned lane, std::uint64_t count, const double *x,
                                 const double *y, double &length) const {
    if (!m_pSetup || lane >= m_pSetup->LaneCount() || count < 2)
        return false;
    double area = 0;
    try {
        return TraceRing(m_pSetup.get(), count, x, y, true, length, area,
                         SetupLane(*m_pSetup, lane));
    } catch (const std::exception &) {
        return false;
    }
}

bool CGeodesic::PolygonArea(std::uint64_t count, const double *x, const double *y, double &area,
                            double &perimeter) const {
    if (count < 3)
        return false;
    try {
        return TraceRing(m_pSetup.get(), count, x, y, false, perimeter, area);
    } catch (const std::exception &) {
        return false;
    }
}

bool CGeodesic::PolygonAreaOnLane(unsigned lane, std::uint64_t count, const double *x,
                                  const double *y, double &area, double &perimeter) const {
    if (!m_pSetup || lane >= m_pSetup->LaneCount() || count < 3)
        return false;
    try {
        return TraceRing(m_pSetup.get(), count, x, y, false, perimeter, area,
                         SetupLane(*m_pSetup, lane));
    } catch (const std::exception &) {
        return false;
    }
}

} // namespace Geo
