// CCoordinateSystem: the counted handle, its factories and its queries on PROJ's default context.
#include <vexogeo/crs/coordinate_system.h>

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

} // namespace Geo
