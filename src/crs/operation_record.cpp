// Per-point operation records: PROJ's choice among a transformation's operations, read back only
// when PROJ says it changed.
#include "crs/operation_record.h"

#include "crs/proj_lanes.h"
#include "crs/proj_log_sink.h"
#include "crs/proj_objects.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace Geo {

namespace {

// Not yet read in this call: the operation PROJ holds as its current one must be asked for.
constexpr std::int32_t kUnread = -2;
// How PROJ's debug message on switching to another operation starts; the name follows.
constexpr char kSwitchPrefix[] = "Using coordinate operation ";
// Most operations of one call kept for recognising a switch by its message.
constexpr std::size_t kMaxKnown = 64;

// While alive, every message PROJ logs on the context is heard. A transformation with several
// operations logs one at debug level each time it switches to another operation; only then can
// the operation have changed. Any message counts as a possible switch, so a reworded one costs a
// read, never a wrong record. Messages at the level the context had before still reach the
// library's store.
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

    // @return whether PROJ logged anything since the last call; `lastSwitch` gets the last
    // message that named a switch (empty when none did).
    bool Take(std::string &lastSwitch) {
        const bool heard = m_heard;
        m_heard = false;
        lastSwitch.swap(m_switch);
        m_switch.clear();
        return heard;
    }

  private:
    static void Hear(void *data, int level, const char *message) {
        auto *self = static_cast<CSwitchListener *>(data);
        self->m_heard = true;
        if (message != nullptr &&
            std::strncmp(message, kSwitchPrefix, sizeof kSwitchPrefix - 1) == 0)
            self->m_switch = message;
        if (level <= static_cast<int>(self->m_level))
            KeepProjMessage(message);
    }

    PJ_CONTEXT *m_context;
    PJ_LOG_LEVEL m_level;
    bool m_heard = false;
    std::string m_switch;
};

// Keeps the error state of `pj` (its context's) across calls made only to learn something.
class CErrorKeeper {
  public:
    explicit CErrorKeeper(PJ *pj) : m_pj(pj), m_error(proj_errno(pj)) {}
    ~CErrorKeeper() {
        if (proj_errno(m_pj) == m_error)
            return;
        proj_errno_reset(m_pj);
        if (m_error != 0)
            proj_errno_set(m_pj, m_error);
    }
    CErrorKeeper(const CErrorKeeper &) = delete;
    CErrorKeeper &operator=(const CErrorKeeper &) = delete;

  private:
    PJ *m_pj;
    int m_error;
};

bool Transformed(double *x, std::uint64_t sx, double *y, std::uint64_t sy, std::uint64_t i) {
    return std::isfinite(*Offset(x, sx, i)) && std::isfinite(*Offset(y, sy, i));
}

// One point's values; z only when the call has a z axis.
struct Point {
    double m_v[3] = {0, 0, 0};
    bool m_hasZ = false;

    static Point At(double *x, std::uint64_t sx, double *y, std::uint64_t sy, double *z,
                    std::uint64_t sz, std::uint64_t i) {
        Point p;
        p.m_v[0] = *Offset(x, sx, i);
        p.m_v[1] = *Offset(y, sy, i);
        p.m_hasZ = z != nullptr;
        p.m_v[2] = p.m_hasZ ? *Offset(z, sz, i) : 0;
        return p;
    }
    bool SameBits(const Point &other) const { return std::memcmp(m_v, other.m_v, sizeof m_v) == 0; }
};

// An operation this call read back, with the switch message that announced it.
struct KnownOperation {
    std::string m_message;
    PjOwner m_op;
    std::int32_t m_index;
};

// The per-point record of a transformation with several operations.
class CPointRecorder {
  public:
    CPointRecorder(PJ *pj, PJ_CONTEXT *context, PJ_DIRECTION direction, OperationsUsed &used)
        : m_pj(pj), m_context(context), m_direction(direction), m_used(used), m_listener(context) {}

    // Called after each point: `input` and `output` its values before and after.
    std::int32_t Record(const Point &input, const Point &output, bool transformed) {
        std::string message;
        if (m_listener.Take(message)) {
            m_current = kUnread;
            m_pending = std::move(message);
            // A switch to an operation read before is recognised by its message, and trusted
            // only when that operation gives this point's very bits.
            if (transformed && !m_pending.empty()) {
                for (const KnownOperation &known : m_known) {
                    if (known.m_message == m_pending &&
                        Reproduces(known.m_op.get(), input, output)) {
                        m_current = known.m_index;
                        break;
                    }
                }
            }
        }
        if (!transformed)
            return OperationsUsed::kNone;
        if (m_current == kUnread) {
            m_current = ReadCurrent();
            // Reading may log (grids opened): that is no switch.
            m_listener.Take(message);
        }
        return m_current;
    }

  private:
    bool Reproduces(PJ *op, const Point &input, const Point &output) {
        const CErrorKeeper keep(m_pj);
        Point p = input;
        proj_trans_generic(op, m_direction, &p.m_v[0], 8, 1, &p.m_v[1], 8, 1,
                           p.m_hasZ ? &p.m_v[2] : nullptr, 8, p.m_hasZ ? 1 : 0, nullptr, 0, 0);
        return p.SameBits(output);
    }

    // The operation PROJ holds as its current one; remembered under the message of the switch
    // that chose it. A copy costs some 0.2 ms, a hundred points' worth.
    std::int32_t ReadCurrent() {
        const CErrorKeeper keep(m_pj);
        PjOwner last(proj_trans_get_last_used_operation(m_pj));
        OperationInfo info;
        ReadOperationInfo(last ? last.get() : m_pj, info, m_context);
        const std::int32_t index = m_used.Add(info);
        if (last && !m_pending.empty() && m_known.size() < kMaxKnown)
            m_known.push_back({m_pending, std::move(last), index});
        m_pending.clear();
        return index;
    }

    PJ *m_pj;
    PJ_CONTEXT *m_context;
    PJ_DIRECTION m_direction;
    OperationsUsed &m_used;
    CSwitchListener m_listener;
    std::int32_t m_current = kUnread;
    std::string m_pending; // the switch message no read has answered yet
    std::vector<KnownOperation> m_known;
};

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
            if (only == kUnread) {
                const CErrorKeeper keep(pj);
                OperationInfo info;
                ReadOperationInfo(pj, info, context);
                only = used.Add(info);
            }
            used.m_points[static_cast<std::size_t>(i)] = only;
        }
        return done;
    }
    // Point by point, so a switch PROJ logs belongs to the point that caused it; each call is
    // the one a bulk call makes for that point, so the values are the same bits.
    CPointRecorder recorder(pj, context, direction, used);
    std::size_t done = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        const Point input = Point::At(x, sx, y, sy, z, sz, i);
        double *pz = Offset(z, sz, i);
        done +=
            proj_trans_generic(pj, direction, Offset(x, sx, i), static_cast<std::size_t>(sx), 1,
                               Offset(y, sy, i), static_cast<std::size_t>(sy), 1, pz,
                               static_cast<std::size_t>(sz), pz != nullptr ? 1 : 0, nullptr, 0, 0);
        used.m_points[static_cast<std::size_t>(i)] =
            recorder.Record(input, Point::At(x, sx, y, sy, z, sz, i), Transformed(x, sx, y, sy, i));
    }
    if (done != count && proj_errno(pj) == 0)
        proj_errno_set(pj, PROJ_ERR_COORD_TRANSFM);
    return done;
}

} // namespace Geo
