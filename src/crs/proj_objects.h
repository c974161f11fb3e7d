// Internal: owners for PROJ objects and the mapping between PROJ's types and CrsKind.
#ifndef VEXOGEO_SRC_CRS_PROJ_OBJECTS_H
#define VEXOGEO_SRC_CRS_PROJ_OBJECTS_H

#include <vexogeo/crs/crs_info.h>

#include <proj.h>

#include <memory>

namespace Geo {

struct PjDeleter {
    void operator()(PJ *pj) const { proj_destroy(pj); }
};
/// Owns one PJ on the default context.
using PjOwner = std::unique_ptr<PJ, PjDeleter>;

/// @return the kind of a PROJ type; `CrsKind::Unknown` for types that are not systems.
CrsKind KindOfProjType(PJ_TYPE type);
/// @return the PROJ types that make up one kind (empty for `CrsKind::Unknown`).
std::vector<PJ_TYPE> ProjTypesOfKind(CrsKind kind);
/// Reads the operation `op` (a single, non-alternative operation) into `info`, with PROJ's
/// questions asked in `context` (null: the default context; a lane passes its own).
void ReadOperationInfo(PJ *op, OperationInfo &info, PJ_CONTEXT *context = nullptr);

} // namespace Geo

#endif
