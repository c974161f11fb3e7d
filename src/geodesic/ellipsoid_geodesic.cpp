// Reads a geodetic system's ellipsoid, angle units and prime meridian from PROJ, once for every
// kind of geodesic measurement.
#include "geodesic/ellipsoid_geodesic.h"

#include <vexogeo/crs/coordinate_system.h>

#include <GeographicLib/Constants.hpp>

#include <proj.h>

#include <cmath>
#include <memory>
#include <string_view>

namespace Geo {

namespace {

struct PjDeleter {
    void operator()(PJ *pj) const { proj_destroy(pj); }
};
using PjOwner = std::unique_ptr<PJ, PjDeleter>;

// pi as M_PI spells it; MinGW in strict ISO mode has no M_PI.
constexpr double kPi = 3.14159265358979323846;
constexpr double kRadiansPerDegree = kPi / 180;

// Degrees per unit of an angle whose unit is `radiansPerUnit`; exactly 1 for the degree, whose
// factor PROJ gives to 15 digits only.
double DegreesPerUnit(double radiansPerUnit) {
    const double scale = radiansPerUnit / kRadiansPerDegree;
    return std::abs(scale - 1) < 1e-12 ? 1 : scale;
}

// The scale of the axis of `cs` pointing along `forward` (negated when it points along
// `backward`). False when no axis does or its unit is no angle PROJ can convert.
bool ReadAxisScale(const PJ *cs, int axes, std::string_view forward, std::string_view backward,
                   double &scale) {
    for (int i = 0; i < axes; ++i) {
        const char *direction = nullptr;
        double factor = 0;
        if (!proj_cs_get_axis_info(nullptr, cs, i, nullptr, nullptr, &direction, &factor, nullptr,
                                   nullptr, nullptr) ||
            direction == nullptr)
            return false;
        const std::string_view d(direction);
        if (d != forward && d != backward)
            continue;
        if (!(factor > 0) || !std::isfinite(factor))
            return false;
        scale = d == forward ? DegreesPerUnit(factor) : -DegreesPerUnit(factor);
        return true;
    }
    return false;
}

bool ReadAngles(const PJ *system, GeodeticAngles &angles) {
    const PjOwner cs(proj_crs_get_coordinate_system(nullptr, system));
    if (!cs)
        return false;
    // Only these two carry a latitude and a longitude; Cartesian (geocentric) X/Y/Z do not.
    const PJ_COORDINATE_SYSTEM_TYPE type = proj_cs_get_type(nullptr, cs.get());
    if (type != PJ_CS_TYPE_ELLIPSOIDAL && type != PJ_CS_TYPE_SPHERICAL)
        return false;
    const int axes = proj_cs_get_axis_count(nullptr, cs.get());
    GeodeticAngles read;
    if (axes < 2 || !ReadAxisScale(cs.get(), axes, "east", "west", read.m_lonScale) ||
        !ReadAxisScale(cs.get(), axes, "north", "south", read.m_latScale))
        return false;

    const PjOwner meridian(proj_get_prime_meridian(nullptr, system));
    double longitude = 0;
    double factor = 0;
    if (!meridian ||
        !proj_prime_meridian_get_parameters(nullptr, meridian.get(), &longitude, &factor, nullptr))
        return false;
    if (!std::isfinite(longitude) || !std::isfinite(factor))
        return false;
    read.m_lonOffset = longitude == 0 ? 0 : longitude * DegreesPerUnit(factor);
    read.m_isDegrees = read.m_lonScale == 1 && read.m_latScale == 1 && read.m_lonOffset == 0;
    angles = read;
    return true;
}

} // namespace

void GeodeticAngles::ToDegrees(std::size_t count, double *x, double *y) const {
    if (m_isDegrees)
        return;
    for (std::size_t i = 0; i < count; ++i) {
        x[i] = x[i] * m_lonScale + m_lonOffset;
        y[i] = y[i] * m_latScale;
    }
}

bool ReadGeodeticSystem(const CCoordinateSystem &system,
                        std::optional<GeographicLib::Geodesic> &solution, GeodeticAngles &angles) {
    const auto *pj = static_cast<const PJ *>(system.GetRaw());
    if (pj == nullptr)
        return false;
    GeodeticAngles read;
    if (!ReadAngles(pj, read))
        return false;
    double a = 0;
    double b = 0;
    if (!system.GetSpheroidDefinition(a, b))
        return false;
    try {
        solution.emplace(MakeSeriesGeodesic(a, CCoordinateSystem::GetFlattening(a, b)));
    } catch (const GeographicLib::GeographicErr &) {
        // A non-finite or non-positive axis: nothing can be measured on it.
        return false;
    }
    angles = read;
    return true;
}

} // namespace Geo
