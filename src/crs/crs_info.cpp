// The kinds of coordinate systems in words and in PROJ's types, and what an operation says of
// itself.
#include "crs/proj_objects.h"

#include <algorithm>
#include <iterator>

namespace Geo {

namespace {

const struct {
    CrsKind kind;
    PJ_TYPE type;
} kKindTypes[] = {
    {CrsKind::Geographic2D, PJ_TYPE_GEOGRAPHIC_2D_CRS},
    {CrsKind::Geographic3D, PJ_TYPE_GEOGRAPHIC_3D_CRS},
    {CrsKind::Geocentric, PJ_TYPE_GEOCENTRIC_CRS},
    {CrsKind::Geodetic, PJ_TYPE_GEODETIC_CRS},
    {CrsKind::Projected, PJ_TYPE_PROJECTED_CRS},
    {CrsKind::Vertical, PJ_TYPE_VERTICAL_CRS},
    {CrsKind::Compound, PJ_TYPE_COMPOUND_CRS},
    {CrsKind::Engineering, PJ_TYPE_ENGINEERING_CRS},
    {CrsKind::Bound, PJ_TYPE_BOUND_CRS},
    {CrsKind::Temporal, PJ_TYPE_TEMPORAL_CRS},
    {CrsKind::Other, PJ_TYPE_CRS},
    {CrsKind::Other, PJ_TYPE_OTHER_CRS},
};

const char *const kKindNames[] = {"unknown",     "geographic 2-D", "geographic 3-D", "geocentric",
                                  "geodetic",    "projected",      "vertical",       "compound",
                                  "engineering", "bound",          "temporal",       "other"};

std::string TextOr(const char *text) { return text != nullptr ? text : ""; }

} // namespace

const char *GetCrsKindName(CrsKind kind) {
    const auto index = static_cast<std::size_t>(kind);
    return index < std::size(kKindNames) ? kKindNames[index] : kKindNames[0];
}

CrsKind KindOfProjType(PJ_TYPE type) {
    for (const auto &entry : kKindTypes) {
        if (entry.type == type)
            return entry.kind;
    }
    return CrsKind::Unknown;
}

std::vector<PJ_TYPE> ProjTypesOfKind(CrsKind kind) {
    std::vector<PJ_TYPE> types;
    for (const auto &entry : kKindTypes) {
        if (entry.kind == kind)
            types.push_back(entry.type);
    }
    return types;
}

void ReadOperationInfo(PJ *op, OperationInfo &info, PJ_CONTEXT *context) {
    info = OperationInfo();
    info.m_name = TextOr(proj_get_name(op));
    // PROJ answers -1 for an unknown accuracy; any negative value means the same here.
    info.m_accuracy = proj_coordoperation_get_accuracy(context, op);
    info.m_ballpark = proj_coordoperation_has_ballpark_transformation(context, op) != 0;
    const int count = proj_coordoperation_get_grid_used_count(context, op);
    for (int i = 0; i < count; ++i) {
        const char *shortName = nullptr, *fullName = nullptr, *package = nullptr, *url = nullptr;
        int directDownload = 0, openLicense = 0, available = 0;
        if (!proj_coordoperation_get_grid_used(context, op, i, &shortName, &fullName, &package,
                                               &url, &directDownload, &openLicense, &available))
            continue;
        OperationGrid grid;
        grid.m_name = TextOr(shortName);
        grid.m_path = TextOr(fullName);
        grid.m_available = available != 0;
        info.m_grids.push_back(std::move(grid));
    }
}

std::int32_t OperationsUsed::Add(const OperationInfo &info) {
    // The list holds a transformation's distinct operations: a few, rarely dozens.
    const auto found = std::find(m_operations.begin(), m_operations.end(), info);
    if (found != m_operations.end())
        return static_cast<std::int32_t>(found - m_operations.begin());
    m_operations.push_back(info);
    return static_cast<std::int32_t>(m_operations.size() - 1);
}

void OperationsUsed::Append(const OperationsUsed &more) {
    std::vector<std::int32_t> index;
    index.reserve(more.m_operations.size());
    for (const OperationInfo &info : more.m_operations)
        index.push_back(Add(info));
    m_points.reserve(m_points.size() + more.m_points.size());
    for (const std::int32_t point : more.m_points)
        m_points.push_back(point >= 0 && static_cast<std::size_t>(point) < index.size()
                               ? index[static_cast<std::size_t>(point)]
                               : kNone);
}

} // namespace Geo
