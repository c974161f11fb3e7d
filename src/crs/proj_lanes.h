// Private copies of one PROJ transformation, each in a PROJ context of its own, so several
// threads transform at once; and the split of one bulk call across them.
#ifndef VEXOGEO_SRC_CRS_PROJ_LANES_H
#define VEXOGEO_SRC_CRS_PROJ_LANES_H

#include <proj.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace Geo {

/// Fewest points one thread of a bulk call handles: below twice this, no thread is started.
constexpr std::size_t kMinPointsPerThread = 4096;
/// Most threads a bulk call uses, whatever the caller asks.
constexpr unsigned kMaxThreads = 64;

/// The thread count a caller's choice stands for: 0 is the cores available, at most
/// `kMaxThreads`.
unsigned ResolveThreadCount(unsigned requested);

/// Copies of one transformation, one per lane, each in a context of its own made from the
/// default context (search path and log settings included). The copies are made on the calling
/// thread; afterwards lane i may be used by one thread at a time, and different lanes at once.
class CProjLanes {
  public:
    CProjLanes();
    ~CProjLanes();
    CProjLanes(const CProjLanes &) = delete;
    CProjLanes &operator=(const CProjLanes &) = delete;

    /// Replaces the copies by `count` copies of `pj` (none for a null `pj` or a count below 2).
    /// @return false, no copies, when PROJ cannot copy the transformation.
    bool Prepare(const PJ *pj, std::size_t count);
    /// Destroys every copy.
    void Clear();
    /// @return the number of copies; 0 when none.
    std::size_t Count() const { return m_lanes.size(); }
    /// @return the copy of lane `i`, owned by the lanes.
    PJ *Get(std::size_t i) const { return m_lanes[i].m_pj; }
    /// @return the context of lane `i`, owned by the lanes.
    PJ_CONTEXT *GetContext(std::size_t i) const { return m_lanes[i].m_context; }

  private:
    struct Lane {
        PJ_CONTEXT *m_context = nullptr;
        PJ *m_pj = nullptr;
    };
    std::vector<Lane> m_lanes;
    // Blocks allocated between the lanes' copies while they are made, so that no cache line holds
    // the fields two lanes write on every point (PROJ's error state in each context and
    // transformation); sharing one cost a third more CPU at two threads.
    std::vector<std::unique_ptr<unsigned char[]>> m_guards;
};

/// @return the element `index` strides (bytes) into an axis; null stays null.
inline double *Offset(double *axis, std::uint64_t stride, std::uint64_t index) {
    return axis == nullptr ? nullptr
                           : reinterpret_cast<double *>(reinterpret_cast<char *>(axis) +
                                                        static_cast<std::size_t>(stride * index));
}

/// `proj_trans_generic` over the three axes in place, with no time axis; a count below `nx`
/// records error 2048 on `pj` unless an error is already pending. @return PROJ's count.
std::size_t TransformAxes(PJ *pj, PJ_DIRECTION direction, std::uint64_t nx, std::uint64_t sx,
                          double *x, std::uint64_t ny, std::uint64_t sy, double *y,
                          std::uint64_t nz, std::uint64_t sz, double *z);

/// How many lanes a bulk call of `count` points uses: each gets at least
/// `kMinPointsPerThread` points; 1 or 0 means the call runs alone.
std::size_t PartsFor(std::uint64_t count, const CProjLanes &lanes);

/// Runs `work(part, first, last)` for `parts` consecutive ranges of [0, `count`), each but the
/// last a multiple of `align` long; part 0 on the calling thread, every other on a thread of
/// its own, all joined before the return.
void RunParts(std::size_t parts, std::uint64_t count, std::uint64_t align,
              const std::function<void(std::size_t, std::uint64_t, std::uint64_t)> &work);

/// Leaves on `pj` the error state one call over all parts in order would have left: the error
/// of the last part that recorded one (each part's lane starts clean), else what was pending.
void MergeLaneErrors(PJ *pj, const CProjLanes &lanes, std::size_t parts);

} // namespace Geo

#endif
