// Batch geodesic measurement: many pairs, a polyline's length and a polygon's area, each with one
// transformation and one ellipsoid for all points.
#include "geodesic/geodesic_batch.h"

#include <vexogeo/crs/coordinate_system.h>
#include <vexogeo/geodesic/geodesic.h>

#include <GeographicLib/PolygonArea.hpp>

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

#include "geodesic/ellipsoid_geodesic.h"

namespace Geo {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Walks the vertices in chunks and adds each one to GeographicLib's polygon (or polyline).
// False when a vertex has no geographic position or nothing can be measured; then the outputs
// stay untouched.
bool TraceRing(const CGeodesicSetup *setup, std::uint64_t count, const double *x, const double *y,
               bool polyline, double &perimeter, double &area) {
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
        if (!setup->ToGeographic(n, lon, lat))
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
    if (geodetic != working)
        m_converter.emplace(working, latLong);
    return true;
}

bool CGeodesicSetup::ToGeographic(std::size_t count, double *x, double *y) const {
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
    if (m_converter && !m_converter->TransformCoordinates(count, x, y, nullptr))
        return false;
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
    const GeographicLib::Geodesic &solution = setup.Solution();
    const bool wantAzimuths = azimuth1 != nullptr || azimuth2 != nullptr;
    constexpr std::size_t kPairs = kGeodesicChunkPoints / 2;
    // A chunk holds the first points of its pairs, then their second points, so the whole
    // chunk goes through PROJ in one call.
    double lon[kGeodesicChunkPoints];
    double lat[kGeodesicChunkPoints];
    std::uint64_t measured = 0;
    for (std::uint64_t start = 0; start < count; start += kPairs) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kPairs, count - start));
        std::copy(x1 + start, x1 + start + n, lon);
        std::copy(x2 + start, x2 + start + n, lon + n);
        std::copy(y1 + start, y1 + start + n, lat);
        std::copy(y2 + start, y2 + start + n, lat + n);
        if (!setup.ToGeographic(2 * n, lon, lat)) {
            // Only a missing transformation fails a whole call, and it fails the first one.
            if (start == 0)
                return 0;
            std::fill(lon, lon + 2 * n, kNaN);
        }
        for (std::size_t i = 0; i < n; ++i) {
            double s12 = kNaN;
            double azi1 = kNaN;
            double azi2 = kNaN;
            if (!std::isnan(lon[i]) && !std::isnan(lon[n + i])) {
                if (wantAzimuths)
                    solution.Inverse(lat[i], lon[i], lat[n + i], lon[n + i], s12, azi1, azi2);
                else
                    solution.Inverse(lat[i], lon[i], lat[n + i], lon[n + i], s12);
            }
            // A latitude beyond 90 degrees gives GeographicLib no position: NaN, never infinity.
            if (!std::isfinite(s12))
                s12 = azi1 = azi2 = kNaN;
            distance[start + i] = s12;
            if (azimuth1 != nullptr)
                azimuth1[start + i] = azi1;
            if (azimuth2 != nullptr)
                azimuth2[start + i] = azi2;
            measured += std::isnan(s12) ? 0 : 1;
        }
    }
    return measured;
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

} // namespace Geo
