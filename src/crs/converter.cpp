// CConverter: one normalized PROJ transformation between two counted coordinate systems.
#include <vexogeo/crs/converter.h>

#include <vexogeo/crs/coordinate_system.h>

#include <proj.h>

namespace Geo {

namespace {

PJ *AsPj(void *raw) { return static_cast<PJ *>(raw); }

void *RawOf(const CCoordinateSystem *cs) { return cs->GetRaw(); }

void AddRefIfSet(CCoordinateSystem *cs) {
    if (cs != nullptr)
        cs->AddRef();
}

void ReleaseIfSet(CCoordinateSystem *&cs) {
    if (cs != nullptr)
        cs->Release();
    cs = nullptr;
}

} // namespace

CConverter::CConverter()
    : m_pSource(nullptr), m_pTarget(nullptr), m_pCrsToCrs(nullptr), m_pNormalized(nullptr) {}

CConverter::CConverter(CCoordinateSystem *source, CCoordinateSystem *target)
    : m_pSource(source), m_pTarget(target), m_pCrsToCrs(nullptr), m_pNormalized(nullptr) {
    AddRefIfSet(m_pSource);
    AddRefIfSet(m_pTarget);
    InitializeCrsToCrs();
}

CConverter::CConverter(const CConverter &other) : CConverter(other.m_pSource, other.m_pTarget) {}

CConverter::~CConverter() {
    ReleaseIfSet(m_pSource);
    ReleaseIfSet(m_pTarget);
    if (m_pNormalized != nullptr)
        proj_destroy(AsPj(m_pNormalized));
    if (m_pCrsToCrs != nullptr)
        proj_destroy(AsPj(m_pCrsToCrs));
}

CConverter &CConverter::operator=(const CConverter &other) {
    if (this == &other)
        return *this;
    // References on the new systems are taken before the old ones are dropped, so assigning a
    // converter that shares a system with this one never lets that system's count reach 0.
    AddRefIfSet(other.m_pSource);
    AddRefIfSet(other.m_pTarget);
    ReleaseIfSet(m_pSource);
    ReleaseIfSet(m_pTarget);
    m_pSource = other.m_pSource;
    m_pTarget = other.m_pTarget;
    InitializeCrsToCrs();
    return *this;
}

void CConverter::SetSource(CCoordinateSystem *source) {
    if (source == m_pSource)
        return;
    ReleaseIfSet(m_pSource);
    m_pSource = source;
    AddRefIfSet(m_pSource);
    InitializeCrsToCrs();
}

void CConverter::SetTarget(CCoordinateSystem *target) {
    if (target == m_pTarget)
        return;
    ReleaseIfSet(m_pTarget);
    m_pTarget = target;
    AddRefIfSet(m_pTarget);
    InitializeCrsToCrs();
}

CCoordinateSystem *CConverter::GetSource() const { return m_pSource; }

CCoordinateSystem *CConverter::GetTarget() const { return m_pTarget; }

void CConverter::InitializeCrsToCrs() {
    if (m_pNormalized != nullptr) {
        proj_destroy(AsPj(m_pNormalized));
        m_pNormalized = nullptr;
    }
    if (m_pCrsToCrs != nullptr) {
        proj_destroy(AsPj(m_pCrsToCrs));
        m_pCrsToCrs = nullptr;
    }
    if (m_pSource == nullptr || m_pTarget == nullptr)
        return;
    m_pCrsToCrs = proj_create_crs_to_crs_from_pj(nullptr, AsPj(RawOf(m_pSource)),
                                                 AsPj(RawOf(m_pTarget)), nullptr, nullptr);
    // PROJ 9.1 dereferences a null object here, so normalization runs only on a created
    // transformation; a failed creation leaves m_pNormalized null either way.
    if (m_pCrsToCrs != nullptr)
        m_pNormalized = proj_normalize_for_visualization(nullptr, AsPj(m_pCrsToCrs));
}

bool CConverter::TransformCoordinate(double &x, double &y) const {
    return TransformCoordinates(1, 8, &x, 1, 8, &y, 1, 8, nullptr);
}

bool CConverter::TransformCoordinate(double &x, double &y, double &z) const {
    return TransformCoordinates(1, 8, &x, 1, 8, &y, 1, 8, &z);
}

bool CConverter::TransformCoordinates(std::uint64_t count, double *x, double *y, double *z) const {
    return TransformCoordinates(count, 8, x, count, 8, y, count, 8, z);
}

bool CConverter::TransformCoordinates(std::uint64_t nx, std::uint64_t sx, double *x,
                                      std::uint64_t ny, std::uint64_t sy, double *y,
                                      std::uint64_t nz, std::uint64_t sz, double *z) const {
    if (m_pNormalized == nullptr)
        return false;
    PJ *pj = AsPj(m_pNormalized);
    const std::size_t n = proj_trans_generic(
        pj, PJ_FWD, x, static_cast<std::size_t>(sx), static_cast<std::size_t>(nx), y,
        static_cast<std::size_t>(sy), static_cast<std::size_t>(ny), z, static_cast<std::size_t>(sz),
        static_cast<std::size_t>(nz), nullptr, 0, 0);
    // Only the x count is compared: PROJ reports one count for all axes.
    if (n != nx && proj_errno(pj) == 0)
        proj_errno_set(pj, PROJ_ERR_COORD_TRANSFM);
    return n != 0;
}

void CConverter::ClearError() { proj_errno_reset(AsPj(m_pNormalized)); }

bool CConverter::HasError() const { return proj_errno(AsPj(m_pNormalized)) != 0; }

void CConverter::GetErrorInfo(int &code, std::string &message, bool &isTransformationError) const {
    code = 0;
    message.clear();
    isTransformationError = false;
    const int e = proj_errno(AsPj(m_pNormalized));
    if (e == 0)
        return;
    code = e;
    const char *text = proj_errno_string(e);
    message.assign(text != nullptr ? text : "");
    isTransformationError = static_cast<unsigned>(e) - 2048u < 2048u;
}

} // namespace Geo
