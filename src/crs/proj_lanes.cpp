// Per-thread copies of a transformation and the split of bulk calls across them.
#include "crs/proj_lanes.h"

#include <algorithm>
#include <system_error>
#include <thread>

namespace Geo {
namespace {

constexpr std::size_t kGuardBytes = 4096;

} // namespace

unsigned ResolveThreadCount(unsigned requested) {
    if (requested == 0) {
        const unsigned cores = std::thread::hardware_concurrency();
        requested = cores > 0 ? cores : 1;
    }
    return std::min(requested, kMaxThreads);
}

CProjLanes::CProjLanes() = default;

CProjLanes::~CProjLanes() { Clear(); }

void CProjLanes::Clear() {
    for (Lane &lane : m_lanes) {
        proj_destroy(lane.m_pj);
        proj_context_destroy(lane.m_context);
    }
    m_lanes.clear();
    m_guards.clear();
}

bool CProjLanes::Prepare(const PJ *pj, std::size_t count) {
    Clear();
    if (pj == nullptr || count < 2)
        return true;
    m_lanes.reserve(count);
    m_guards.reserve(count + 1);
    for (std::size_t i = 0; i < count; ++i) {
        // Larger than the allocator's per-thread caches hold, so it comes from where the next
        // objects will: between this lane's and its neighbours'.
        m_guards.push_back(std::make_unique<unsigned char[]>(kGuardBytes));
        // A context copies the default one; the copy of the transformation is rebuilt from its
        // definition inside it, so nothing of it is shared with the original.
        Lane lane;
        lane.m_context = proj_context_create();
        lane.m_pj = lane.m_context != nullptr ? proj_clone(lane.m_context, pj) : nullptr;
        if (lane.m_pj == nullptr) {
            proj_context_destroy(lane.m_context);
            Clear();
            return false;
        }
        m_lanes.push_back(lane);
    }
    m_guards.push_back(std::make_unique<unsigned char[]>(kGuardBytes));
    return true;
}

std::size_t TransformAxes(PJ *pj, PJ_DIRECTION direction, std::uint64_t nx, std::uint64_t sx,
                          double *x, std::uint64_t ny, std::uint64_t sy, double *y,
                          std::uint64_t nz, std::uint64_t sz, double *z) {
    const std::size_t n = proj_trans_generic(
        pj, direction, x, static_cast<std::size_t>(sx), static_cast<std::size_t>(nx), y,
        static_cast<std::size_t>(sy), static_cast<std::size_t>(ny), z, static_cast<std::size_t>(sz),
        static_cast<std::size_t>(nz), nullptr, 0, 0);
    // Only the x count is compared: PROJ reports one count for all axes.
    if (n != nx && proj_errno(pj) == 0)
        proj_errno_set(pj, PROJ_ERR_COORD_TRANSFM);
    return n;
}

std::size_t PartsFor(std::uint64_t count, const CProjLanes &lanes) {
    const std::uint64_t most = count / kMinPointsPerThread;
    return static_cast<std::size_t>(std::min<std::uint64_t>(lanes.Count(), most));
}

void RunParts(std::size_t parts, std::uint64_t count, std::uint64_t align,
              const std::function<void(std::size_t, std::uint64_t, std::uint64_t)> &work) {
    // Equal parts rounded up to the alignment, so every part but the last keeps the chunking
    // one call over the whole array would have.
    std::uint64_t size = (count + parts - 1) / parts;
    size = (size + align - 1) / align * align;
    std::vector<std::thread> threads;
    threads.reserve(parts - 1);
    for (std::size_t part = 1; part < parts; ++part) {
        const std::uint64_t first = std::min(count, part * size);
        const std::uint64_t last = std::min(count, first + size);
        try {
            threads.emplace_back(work, part, first, last);
        } catch (const std::system_error &) {
            // No thread to be had: the part runs here; the results are the same.
            work(part, first, last);
        }
    }
    work(0, 0, std::min(count, size));
    for (std::thread &thread : threads)
        thread.join();
}

void MergeLaneErrors(PJ *pj, const CProjLanes &lanes, std::size_t parts) {
    // A failing point overwrites the error state and a good one leaves it: in one call over
    // all points the last failure decides.
    for (std::size_t part = parts; part-- > 0;) {
        const int error = proj_errno(lanes.Get(part));
        if (error != 0) {
            proj_errno_set(pj, error);
            return;
        }
    }
}

} // namespace Geo
