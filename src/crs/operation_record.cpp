// Per-point operation records: PROJ's choice among a transformation's operations, read back only
// when PROJ says it changed.
#include "crs/operation_record.h"

#include "crs/proj_lanes.h"
#include "crs/proj_log_sink.h"
#include "crs/proj_objects.h"

#include <algorithm>
#include <cmath>

namespace Geo {

namespace {

// Not yet read in this call: the operation PROJ holds as its current one must be asked for.
constexpr std::int32_t kUnread = -2;

// While alive, every message PROJ logs on the context is heard. A transformation with several
// operations logs one at debug level each time it switches to another operation; only then is
// the operation read back, because `proj_trans_get_last_used_operation` copies it (some 0.2 ms,
// a hundred points' worth). Any message counts, so a reworded one costs a read, never a wrong
// record. Messages at the level the context had before still reach the library's store.
class CSwitchListener {
  public:
    explicit CSwitchListener(PJ_CONTEXT *context)
        : m_context(context), m_level(proj_log_level(context, PJ_LOG_TELL)) {
        proj_log_func(m_context, this, &Hear);
        proj_log_level(m_context, std::max(m_level, PJ_LOG_DEBUG));
    }
    ~CSwitchListener() {
        proj_log_level(m_context, m_level);
        RouteProjLog(m_context);
    }
    CSwitchListener(const CSwitchListener &) = delete;
    CSwitchListener &operator=(const CSwitchListener &) = delete;

    // @return whether PROJ logged anything since the last call.
    bool TakeHeard() {
        const bool heard = m_heard;
        m_heard = false;
        return heard;
    }

  private:
    static void Hear(void *data, int level, const char *message) {
        auto *self = static_cast<CSwitchListener *>(data);
        self->m_heard = true;
        if (level <= static_cast<int>(self->m_level))
            KeepProjMessage(message);
    }

    PJ_CONTEXT *m_context;
    PJ_LOG_LEVEL m_level;
    bool m_heard = false;
};

bool Transformed(double *x, std::uint64_t sx, double *y, std::uint64_t sy, std::uint64_t i) {
    return std::isfinite(*Offset(x, sx, i)) && std::isfinite(*Offset(y, sy, i));
}

// The operation `pj` used last, as an index into `used`; the transformation itself when PROJ
// names none (it holds one operation only).
std::int32_t ReadCurrent(PJ *pj, PJ_CONTEXT *context, OperationsUsed &used) {
    const PjOwner last(proj_trans_get_last_used_operation(pj));
    OperationInfo info;
    ReadOperationInfo(last ? last.get() : pj, info, context);
    return used.Add(info);
}

} // namespace

std::size_t TransformRecording(PJ *pj, PJ_CONTEXT *context, PJ_DIRECTION direction,
                               std::uint64_t count, std::uint64_t sx, double *x, std::uint64_t sy,
                               double *y, std::uint64_t sz, double *z, OperationsUsed &used) {
    used.m_operations.clear();
    used.m_points.assign(static_cast<std::size_t>(count), OperationsUsed::kNone);
    // Only a transformation that chooses among several operations per point is a set without a
    // type of its own; any other has one operation for every point and keeps the bulk call.
    if (proj_get_type(pj) != PJ_TYPE_UNKNOWN) {
        const std::size_t done =
            TransformAxes(pj, direction, count, sx, x, count, sy, y, z ? count : 0, sz, z);
        std::int32_t only = kUnread;
        for (std::uint64_t i = 0; i < count; ++i) {
            if (!Transformed(x, sx, y, sy, i))
                continue;
            if (only == kUnread)
                only = ReadCurrent(pj, context, used);
            used.m_points[static_cast<std::size_t>(i)] = only;
        }
        return done;
    }
    // Point by point, so a switch PROJ logs belongs to the point that caused it; each call is
    // the one a bulk call makes for that point, so the values are the same bits.
    CSwitchListener listener(context);
    std::int32_t current = kUnread;
    std::size_t done = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        double *pz = Offset(z, sz, i);
        done +=
            proj_trans_generic(pj, direction, Offset(x, sx, i), static_cast<std::size_t>(sx), 1,
                               Offset(y, sy, i), static_cast<std::size_t>(sy), 1, pz,
                               static_cast<std::size_t>(sz), pz != nullptr ? 1 : 0, nullptr, 0, 0);
        // A failed point may have switched too (PROJ tries the next operation): the next point
        // that succeeds reads the operation again.
        if (listener.TakeHeard())
            current = kUnread;
        if (!Transformed(x, sx, y, sy, i))
            continue;
        if (current == kUnread) {
            current = ReadCurrent(pj, context, used);
            // Copying the operation may log (grids opened): that is no switch.
            listener.TakeHeard();
        }
        used.m_points[static_cast<std::size_t>(i)] = current;
    }
    if (done != count && proj_errno(pj) == 0)
        proj_errno_set(pj, PROJ_ERR_COORD_TRANSFM);
    return done;
}

} // namespace Geo
