// CConverter: one normalized PROJ transformation between two counted coordinate systems.
#include <vexogeo/crs/converter.h>

#include <vexogeo/crs/coordinate_system.h>

#include "crs/operation_record.h"
#include "crs/proj_lanes.h"
#include "crs/proj_objects.h"

#include <proj.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <vector>

namespace Geo {

namespace {

PJ *AsPj(void *raw) { return static_cast<PJ *>(raw); }

void *RawOf(const CCoordinateSystem *cs) { return cs->GetRaw(); }

void AddRefIfSet(CCoordinateSystem *cs) {
    if (cs != nullptr)
        cs->AddRef();
}

struct AreaDeleter {
    void operator()(PJ_AREA *area) const { proj_area_destroy(area); }
};

bool IsLongitudeLatitudeBox(double west, double south, double east, double north) {
    return west >= -180 && west <= 180 && east >= -180 && east <= 180 && south >= -90 &&
           north <= 90 && south <= north;
}

void ReleaseIfSet(CCoordinateSystem *&cs) {
    if (cs != nullptr)
        cs->Release();
    cs = nullptr;
}

} // namespace

CConverter::CConverter()
    : m_pSource(nullptr), m_pTarget(nullptr), m_pCrsToCrs(nullptr), m_pNormalized(nullptr),
      m_hasAreaOfInterest(false), m_areaOfInterest{0, 0, 0, 0}, m_allowBallpark(true),
      m_threadCount(1), m_pLanes(std::make_unique<CProjLanes>()) {}

CConverter::CConverter(CCoordinateSystem *source, CCoordinateSystem *target)
    : m_pSource(source), m_pTarget(target), m_pCrsToCrs(nullptr), m_pNormalized(nullptr),
      m_hasAreaOfInterest(false), m_areaOfInterest{0, 0, 0, 0}, m_allowBallpark(true),
      m_threadCount(1), m_pLanes(std::make_unique<CProjLanes>()) {
    AddRefIfSet(m_pSource);
    AddRefIfSet(m_pTarget);
    InitializeCrsToCrs();
}

CConverter::CConverter(const CConverter &other)
    : m_pSource(other.m_pSource), m_pTarget(other.m_pTarget), m_pCrsToCrs(nullptr),
      m_pNormalized(nullptr),
      m_hasAreaOfInterest(other.m_hasAreaOfInterest), m_areaOfInterest{other.m_areaOfInterest[0],
                                                                       other.m_areaOfInterest[1],
                                                                       other.m_areaOfInterest[2],
                                                                       other.m_areaOfInterest[3]},
      m_allowBallpark(other.m_allowBallpark), m_threadCount(other.m_threadCount),
      m_pLanes(std::make_unique<CProjLanes>()) {
    AddRefIfSet(m_pSource);
    AddRefIfSet(m_pTarget);
    InitializeCrsToCrs();
}

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
    m_hasAreaOfInterest = other.m_hasAreaOfInterest;
    std::copy(std::begin(other.m_areaOfInterest), std::end(other.m_areaOfInterest),
              std::begin(m_areaOfInterest));
    m_allowBallpark = other.m_allowBallpark;
    m_threadCount = other.m_threadCount;
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
    m_pLanes->Clear();
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
    // Without an area of interest and with ballpark transformations allowed, PROJ is asked
    // exactly as it always was: no area and no options.
    const std::unique_ptr<PJ_AREA, AreaDeleter> area(m_hasAreaOfInterest ? proj_area_create()
                                                                         : nullptr);
    if (area)
        proj_area_set_bbox(area.get(), m_areaOfInterest[0], m_areaOfInterest[1],
                           m_areaOfInterest[2], m_areaOfInterest[3]);
    const char *const noBallpark[] = {"ALLOW_BALLPARK=NO", nullptr};
    m_pCrsToCrs =
        proj_create_crs_to_crs_from_pj(nullptr, AsPj(RawOf(m_pSource)), AsPj(RawOf(m_pTarget)),
                                       area.get(), m_allowBallpark ? nullptr : noBallpark);
    // PROJ 9.1 dereferences a null object here, so normalization runs only on a created
    // transformation; a failed creation leaves m_pNormalized null either way.
    if (m_pCrsToCrs != nullptr)
        m_pNormalized = proj_normalize_for_visualization(nullptr, AsPj(m_pCrsToCrs));
    PrepareLanes();
}

void CConverter::PrepareLanes() {
    // Without copies every call runs alone: the results are the same, only slower.
    const unsigned threads = ResolveThreadCount(m_threadCount);
    m_pLanes->Prepare(AsPj(m_pNormalized), threads > 1 ? threads : 0);
}

void CConverter::SetThreadCount(unsigned count) {
    m_threadCount = count;
    PrepareLanes();
}

unsigned CConverter::GetThreadCount() const { return m_threadCount; }

unsigned CConverter::GetLaneCount() const { return static_cast<unsigned>(m_pLanes->Count()); }

bool CConverter::TransformCoordinatesOnLane(unsigned lane, std::uint64_t count, double *x,
                                            double *y, double *z) const {
    if (lane >= m_pLanes->Count())
        return false;
    return TransformAxes(m_pLanes->Get(lane), PJ_FWD, count, 8, x, count, 8, y, count, 8, z) != 0;
}

bool CConverter::TransformCoordinatesOnLane(unsigned lane, std::uint64_t count, double *x,
                                            double *y, double *z, OperationsUsed &used) const {
    if (lane >= m_pLanes->Count()) {
        used = OperationsUsed();
        return false;
    }
    return TransformRecording(m_pLanes->Get(lane), m_pLanes->GetContext(lane), PJ_FWD, count, 8, x,
                              8, y, 8, z, used) != 0;
}

bool CConverter::InverseTransformCoordinatesOnLane(unsigned lane, std::uint64_t count, double *x,
                                                   double *y, double *z) const {
    if (lane >= m_pLanes->Count())
        return false;
    return TransformAxes(m_pLanes->Get(lane), PJ_INV, count, 8, x, count, 8, y, count, 8, z) != 0;
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
    return Transform(PJ_FWD, nx, sx, x, ny, sy, y, nz, sz, z);
}

bool CConverter::TransformCoordinates(std::uint64_t count, double *x, double *y, double *z,
                                      OperationsUsed &used) const {
    return Transform(PJ_FWD, count, 8, x, count, 8, y, count, 8, z, &used);
}

bool CConverter::InverseTransformCoordinate(double &x, double &y) const {
    return InverseTransformCoordinates(1, 8, &x, 1, 8, &y, 1, 8, nullptr);
}

bool CConverter::InverseTransformCoordinate(double &x, double &y, double &z) const {
    return InverseTransformCoordinates(1, 8, &x, 1, 8, &y, 1, 8, &z);
}

bool CConverter::InverseTransformCoordinates(std::uint64_t count, double *x, double *y,
                                             double *z) const {
    return InverseTransformCoordinates(count, 8, x, count, 8, y, count, 8, z);
}

bool CConverter::InverseTransformCoordinates(std::uint64_t nx, std::uint64_t sx, double *x,
                                             std::uint64_t ny, std::uint64_t sy, double *y,
                                             std::uint64_t nz, std::uint64_t sz, double *z) const {
    return Transform(PJ_INV, nx, sx, x, ny, sy, y, nz, sz, z);
}

bool CConverter::InverseTransformCoordinates(std::uint64_t count, double *x, double *y, double *z,
                                             OperationsUsed &used) const {
    return Transform(PJ_INV, count, 8, x, count, 8, y, count, 8, z, &used);
}

bool CConverter::Transform(int direction, std::uint64_t nx, std::uint64_t sx, double *x,
                           std::uint64_t ny, std::uint64_t sy, double *y, std::uint64_t nz,
                           std::uint64_t sz, double *z, OperationsUsed *used) const {
    if (m_pNormalized == nullptr) {
        if (used != nullptr)
            *used = OperationsUsed();
        return false;
    }
    PJ *pj = AsPj(m_pNormalized);
    const auto dir = static_cast<PJ_DIRECTION>(direction);
    // Only equal counts split: PROJ repeats a shorter axis's last value, which a part of the
    // array would not see. A record is asked for with equal counts only.
    const std::size_t parts = nx == ny && (z == nullptr || nz == nx) ? PartsFor(nx, *m_pLanes) : 0;
    if (parts < 2) {
        if (used != nullptr)
            return TransformRecording(pj, nullptr, dir, nx, sx, x, sy, y, sz, z, *used) != 0;
        return TransformAxes(pj, dir, nx, sx, x, ny, sy, y, nz, sz, z) != 0;
    }
    std::vector<std::uint64_t> done(parts, 0);
    std::vector<OperationsUsed> partUsed(used != nullptr ? parts : 0);
    RunParts(parts, nx, 1, [&](std::size_t part, std::uint64_t first, std::uint64_t last) {
        PJ *copy = m_pLanes->Get(part);
        proj_errno_reset(copy);
        const std::uint64_t n = last - first;
        if (used != nullptr)
            done[part] = TransformRecording(copy, m_pLanes->GetContext(part), dir, n, sx,
                                            Offset(x, sx, first), sy, Offset(y, sy, first), sz,
                                            Offset(z, sz, first), partUsed[part]);
        else
            done[part] =
                TransformAxes(copy, dir, n, sx, Offset(x, sx, first), n, sy, Offset(y, sy, first),
                              z != nullptr ? n : nz, sz, Offset(z, sz, first));
    });
    MergeLaneErrors(pj, *m_pLanes, parts);
    if (used != nullptr) {
        // Parts in point order: the list comes out in order of first use, as one call gives it.
        *used = OperationsUsed();
        used->m_points.reserve(static_cast<std::size_t>(nx));
        for (const OperationsUsed &part : partUsed)
            used->Append(part);
    }
    std::uint64_t n = 0;
    for (const std::uint64_t partDone : done)
        n += partDone;
    if (n != nx && proj_errno(pj) == 0)
        proj_errno_set(pj, PROJ_ERR_COORD_TRANSFM);
    return n != 0;
}

bool CConverter::TransformBounds(double &west, double &south, double &east, double &north,
                                 int densify) const {
    return TransformBox(PJ_FWD, west, south, east, north, densify);
}

bool CConverter::InverseTransformBounds(double &west, double &south, double &east, double &north,
                                        int densify) const {
    return TransformBox(PJ_INV, west, south, east, north, densify);
}

bool CConverter::TransformBox(int direction, double &west, double &south, double &east,
                              double &north, int densify) const {
    if (m_pNormalized == nullptr || densify < 0)
        return false;
    const CCoordinateSystem *from = direction == PJ_FWD ? m_pSource : m_pTarget;
    const CCoordinateSystem *to = direction == PJ_FWD ? m_pTarget : m_pSource;
    if (west > east && from->IsGeographic() && to->IsGeographic())
        return TransformSplitBox(direction, west, south, east, north, densify);
    double xmin = 0, ymin = 0, xmax = 0, ymax = 0;
    if (!proj_trans_bounds(nullptr, AsPj(m_pNormalized), static_cast<PJ_DIRECTION>(direction), west,
                           south, east, north, &xmin, &ymin, &xmax, &ymax, densify))
        return false;
    west = xmin;
    south = ymin;
    east = xmax;
    north = ymax;
    return true;
}

bool CConverter::TransformSplitBox(int direction, double &west, double &south, double &east,
                                   double &north, int densify) const {
    // PROJ 9.1 returns the complement of a box across the antimeridian when the transformation
    // holds several operations; each half on its own side of it comes out right, and the two
    // halves join again across the antimeridian.
    double w1 = west, s1 = south, e1 = 180, n1 = north;
    double w2 = -180, s2 = south, e2 = east, n2 = north;
    if (!proj_trans_bounds(nullptr, AsPj(m_pNormalized), static_cast<PJ_DIRECTION>(direction), w1,
                           s1, e1, n1, &w1, &s1, &e1, &n1, densify) ||
        !proj_trans_bounds(nullptr, AsPj(m_pNormalized), static_cast<PJ_DIRECTION>(direction), w2,
                           s2, e2, n2, &w2, &s2, &e2, &n2, densify))
        return false;
    west = w1;
    east = e2;
    south = std::min(s1, s2);
    north = std::max(n1, n2);
    return true;
}

bool CConverter::HasTransformation() const { return m_pNormalized != nullptr; }

bool CConverter::GetOperationInfo(OperationInfo &info) const {
    if (m_pNormalized == nullptr)
        return false;
    PJ *pj = AsPj(m_pNormalized);
    // A transformation that chooses among several operations by area knows which one it used
    // last; before its first point (or when it has one operation only) PROJ answers null for
    // a choice, and the operation ranked first for the same systems, area and options serves.
    if (const PjOwner used{proj_trans_get_last_used_operation(pj)}) {
        ReadOperationInfo(used.get(), info);
        return true;
    }
    PJ_OPERATION_FACTORY_CONTEXT *factory = proj_create_operation_factory_context(nullptr, nullptr);
    if (factory == nullptr)
        return false;
    if (m_hasAreaOfInterest)
        proj_operation_factory_context_set_area_of_interest(
            nullptr, factory, m_areaOfInterest[0], m_areaOfInterest[1], m_areaOfInterest[2],
            m_areaOfInterest[3]);
    proj_operation_factory_context_set_allow_ballpark_transformations(nullptr, factory,
                                                                      m_allowBallpark ? 1 : 0);
    // As proj_create_crs_to_crs chooses: operations whose area meets the systems' area, grids
    // known to be missing discarded.
    proj_operation_factory_context_set_spatial_criterion(
        nullptr, factory, PROJ_SPATIAL_CRITERION_PARTIAL_INTERSECTION);
    proj_operation_factory_context_set_grid_availability_use(
        nullptr, factory,
        proj_context_is_network_enabled(nullptr)
            ? PROJ_GRID_AVAILABILITY_KNOWN_AVAILABLE
            : PROJ_GRID_AVAILABILITY_DISCARD_OPERATION_IF_MISSING_GRID);
    PJ_OBJ_LIST *list =
        proj_create_operations(nullptr, AsPj(RawOf(m_pSource)), AsPj(RawOf(m_pTarget)), factory);
    proj_operation_factory_context_destroy(factory);
    const PjOwner first(list != nullptr && proj_list_get_count(list) > 0
                            ? proj_list_get(nullptr, list, 0)
                            : nullptr);
    proj_list_destroy(list);
    // Normalized as the transformation itself is, so the name reads the same before and after
    // the first point.
    const PjOwner normalized(first ? proj_normalize_for_visualization(nullptr, first.get())
                                   : nullptr);
    if (normalized) {
        ReadOperationInfo(normalized.get(), info);
        return true;
    }
    // PROJ built a transformation yet ranks none (it may come from a definition of its own).
    ReadOperationInfo(pj, info);
    return true;
}

bool CConverter::SetAreaOfInterest(double west, double south, double east, double north) {
    if (!IsLongitudeLatitudeBox(west, south, east, north))
        return false;
    m_hasAreaOfInterest = true;
    m_areaOfInterest[0] = west;
    m_areaOfInterest[1] = south;
    m_areaOfInterest[2] = east;
    m_areaOfInterest[3] = north;
    InitializeCrsToCrs();
    return true;
}

void CConverter::ClearAreaOfInterest() {
    m_hasAreaOfInterest = false;
    InitializeCrsToCrs();
}

bool CConverter::GetAreaOfInterest(double &west, double &south, double &east, double &north) const {
    if (!m_hasAreaOfInterest)
        return false;
    west = m_areaOfInterest[0];
    south = m_areaOfInterest[1];
    east = m_areaOfInterest[2];
    north = m_areaOfInterest[3];
    return true;
}

void CConverter::SetAllowBallpark(bool allow) {
    m_allowBallpark = allow;
    InitializeCrsToCrs();
}

bool CConverter::GetAllowBallpark() const { return m_allowBallpark; }

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
