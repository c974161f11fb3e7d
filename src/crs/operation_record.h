// Internal: a bulk transformation that records which of PROJ's operations served each point.
#ifndef VEXOGEO_SRC_CRS_OPERATION_RECORD_H
#define VEXOGEO_SRC_CRS_OPERATION_RECORD_H

#include <vexogeo/crs/crs_info.h>

#include <proj.h>

#include <cstddef>
#include <cstdint>

namespace Geo {

/// Transforms `count` points in place as `TransformAxes` does with equal counts on every axis
/// (`z` may be null; strides in bytes), the same bits and the same error state on `pj`, and
/// replaces `used` by the operation that served each point. `context` is the one `pj` lives in
/// (null: the default context); its log is routed to the library's store again afterwards.
/// @return PROJ's count of points.
std::size_t TransformRecording(PJ *pj, PJ_CONTEXT *context, PJ_DIRECTION direction,
                               std::uint64_t count, std::uint64_t sx, double *x, std::uint64_t sy,
                               double *y, std::uint64_t sz, double *z, OperationsUsed &used);

} // namespace Geo

#endif
