// CCoordinateSystem: the counted handle, its factories and its queries on PROJ's default context.
#include <vexogeo/crs/coordinate_system.h>

#include "crs/proj_objects.h"

#include <proj.h>

#include <string>

namespace Geo {

namespace {

PJ *AsPj(void *raw) { return static_cast<PJ *>(raw); }

CCoordinateSystem *CreateFromDefinition(const std::string &definition) {
    PJ *pj = proj_create(nullptr, definition.c_str());
    if (pj == nullptr)
        return nullptr;
    return new CCoordinateSystem(pj);
}

// The part of a system that carries its horizontal axes and area: the source of a bound system,
// the first part of a compound one; otherwise null (the system itself serves).
PjOwner HorizontalPart(PJ *crs) {
    switch (proj_get_type(crs)) {
    case PJ_TYPE_BOUND_CRS:
        return PjOwner(proj_get_source_crs(nullptr, crs));
    case PJ_TYPE_COMPOUND_CRS:
        return PjOwner(proj_crs_get_sub_crs(nullptr, crs, 0));
    default:
        return nullptr;
    }
}

bool ReadArea(PJ *obj, AreaOfUse &area) {
    double west = 0, south = 0, east = 0, north = 0;
    const char *name = nullptr;
    if (!proj_get_area_of_use(nullptr, obj, &west, &south, &east, &north, &name))
        return false;
    // PROJ answers -1000 for each bound of an area known only by its name.
    if (!(west >= -180 && west <= 180 && east >= -180 && east <= 180 && south >= -90 &&
          north <= 90))
        return false;
    area.m_name = name != nullptr ? name : "";
    area.m_west = west;
    area.m_south = south;
    area.m_east = east;
    area.m_north = north;
    return true;
}

bool ReadAreaName(PJ *obj, std::string &name) {
    const char *text = nullptr;
    if (!proj_get_area_of_use(nullptr, obj, nullptr, nullptr, nullptr, nullptr, &text) ||
        text == nullptr || *text == '\0')
        return false;
    name = text;
    return true;
}

void AppendAxes(PJ *crs, std::vector<CrsAxis> &axes) {
    const PjOwner cs(proj_crs_get_coordinate_system(nullptr, crs));
    if (!cs)
        return;
    const int count = proj_cs_get_axis_count(nullptr, cs.get());
    for (int i = 0; i < count; ++i) {
        const char *name = nullptr, *abbreviation = nullptr, *direction = nullptr, *unit = nullptr;
        if (!proj_cs_get_axis_info(nullptr, cs.get(), i, &name, &abbreviation, &direction, nullptr,
                                   &unit, nullptr, nullptr))
            continue;
        axes.push_back({name != nullptr ? name : "", abbreviation != nullptr ? abbreviation : "",
                        direction != nullptr ? direction : "", unit != nullptr ? unit : ""});
    }
}

CCoordinateSystem *CreateFromCode(const char *prefix, const char *code) {
    if (code == nullptr)
        return nullptr;
    return CreateFromDefinition(std::string(prefix) + code);
}

} // namespace

CCoordinateSystem::CCoordinateSystem() : m_cRef(0), m_pRaw(nullptr) {}

CCoordinateSystem::CCoordinateSystem(void *raw) : m_cRef(0), m_pRaw(raw) {}

CCoordinateSystem::~CCoordinateSystem() { FreeRaw(); }

std::uint32_t CCoordinateSystem::AddRef() { return m_cRef.fetch_add(1) + 1; }

std::uint32_t CCoordinateSystem::Release() {
    const std::uint32_t count = m_cRef.fetch_sub(1) - 1;
    if (count == 0)
        delete this; // the destructor destroys the PROJ object
    return count;
}

void CCoordinateSystem::Attach(void *raw) {
    FreeRaw();
    m_pRaw = raw;
}

void *CCoordinateSystem::Detach() {
    void *raw = m_pRaw;
    m_pRaw = nullptr;
    return raw;
}

void *CCoordinateSystem::GetRaw() const { return m_pRaw; }

void CCoordinateSystem::FreeRaw() {
    if (m_pRaw != nullptr) {
        proj_destroy(AsPj(m_pRaw));
        m_pRaw = nullptr;
    }
}

CCoordinateSystem *CCoordinateSystem::FromEpsgCode(const char *code) {
    return CreateFromCode("EPSG:", code);
}

CCoordinateSystem *CCoordinateSystem::FromEsriCode(const char *code) {
    return CreateFromCode("ESRI:", code);
}

CCoordinateSystem *CCoordinateSystem::FromProj4Parameters(const char *definition) {
    if (definition == nullptr)
        return nullptr;
    return CreateFromDefinition(definition);
}

CCoordinateSystem *CCoordinateSystem::FromSrid(const Srid &srid) {
    // std::to_string writes base 10 with a leading '-' and no padding, whatever the locale.
    return CreateFromDefinition(srid.m_authority + ":" + std::to_string(srid.m_code));
}

bool CCoordinateSystem::IsLatLong() const {
    return proj_get_type(AsPj(m_pRaw)) == PJ_TYPE_GEODETIC_CRS;
}

bool CCoordinateSystem::IsGeocent() const {
    return proj_get_type(AsPj(m_pRaw)) == PJ_TYPE_GEOCENTRIC_CRS;
}

bool CCoordinateSystem::IsGeographic() const {
    const auto type = static_cast<unsigned>(proj_get_type(AsPj(m_pRaw)));
    return type - static_cast<unsigned>(PJ_TYPE_GEOGRAPHIC_2D_CRS) <= 1u;
}

bool CCoordinateSystem::GetLatLongCoordinateSystem(CCoordinateSystem **out) const {
    if (out == nullptr)
        return false;
    PJ *geodetic = proj_crs_get_geodetic_crs(nullptr, AsPj(m_pRaw));
    if (geodetic == nullptr)
        return false;
    auto *handle = new CCoordinateSystem(geodetic);
    handle->AddRef();
    *out = handle;
    return true;
}

bool CCoordinateSystem::GetSpheroidDefinition(double &semiMajor, double &semiMinor) const {
    if (m_pRaw == nullptr)
        return false;
    PJ *ellipsoid = proj_get_ellipsoid(nullptr, AsPj(m_pRaw));
    const int ok =
        proj_ellipsoid_get_parameters(nullptr, ellipsoid, &semiMajor, &semiMinor, nullptr, nullptr);
    // The ellipsoid object is a new PROJ object of its own and must not outlive the query.
    proj_destroy(ellipsoid);
    return ok == 1;
}

double CCoordinateSystem::GetFlattening(const double &semiMajor, const double &semiMinor) {
    return (semiMajor - semiMinor) / semiMajor;
}

double CCoordinateSystem::GetInverseFlattening(const double &flattening) {
    return 1.0 / flattening;
}

bool CCoordinateSystem::GetName(std::string &name) const {
    const char *text = m_pRaw != nullptr ? proj_get_name(AsPj(m_pRaw)) : nullptr;
    if (text == nullptr)
        return false;
    name = text;
    return true;
}

CrsKind CCoordinateSystem::GetKind() const {
    return m_pRaw != nullptr ? KindOfProjType(proj_get_type(AsPj(m_pRaw))) : CrsKind::Unknown;
}

bool CCoordinateSystem::GetAreaOfUse(AreaOfUse &area) const {
    if (m_pRaw == nullptr)
        return false;
    if (ReadArea(AsPj(m_pRaw), area))
        return true;
    const PjOwner part = HorizontalPart(AsPj(m_pRaw));
    return part && ReadArea(part.get(), area);
}

bool CCoordinateSystem::GetAreaOfUseName(std::string &name) const {
    if (m_pRaw == nullptr)
        return false;
    if (ReadAreaName(AsPj(m_pRaw), name))
        return true;
    const PjOwner part = HorizontalPart(AsPj(m_pRaw));
    return part && ReadAreaName(part.get(), name);
}

bool CCoordinateSystem::GetInverseFlatteningDefinition(double &inverseFlattening) const {
    if (m_pRaw == nullptr)
        return false;
    const PjOwner ellipsoid(proj_get_ellipsoid(nullptr, AsPj(m_pRaw)));
    double semiMajor = 0, semiMinor = 0, inverse = 0;
    int computed = 0;
    if (!ellipsoid || !proj_ellipsoid_get_parameters(nullptr, ellipsoid.get(), &semiMajor,
                                                     &semiMinor, &computed, &inverse))
        return false;
    // PROJ computes the semi-minor axis exactly when the ellipsoid is defined by its inverse
    // flattening (0 for a sphere); otherwise the axes define it and PROJ derives the value.
    if (!computed)
        return false;
    inverseFlattening = inverse;
    return true;
}

bool CCoordinateSystem::GetAxes(std::vector<CrsAxis> &axes) const {
    if (m_pRaw == nullptr)
        return false;
    PJ *crs = AsPj(m_pRaw);
    std::vector<CrsAxis> found;
    if (proj_get_type(crs) == PJ_TYPE_COMPOUND_CRS) {
        for (int i = 0;; ++i) {
            const PjOwner part(proj_crs_get_sub_crs(nullptr, crs, i));
            if (!part)
                break;
            AppendAxes(part.get(), found);
        }
    } else if (proj_get_type(crs) == PJ_TYPE_BOUND_CRS) {
        if (const PjOwner part = HorizontalPart(crs))
            AppendAxes(part.get(), found);
    } else {
        AppendAxes(crs, found);
    }
    if (found.empty())
        return false;
    axes = std::move(found);
    return true;
}

} // namespace Geo
