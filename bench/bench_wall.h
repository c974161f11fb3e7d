// What the benchmarks of work split over threads share: the wall-clock loop that times a figure
// and its single-threaded floor the same way, the thread counts and the targets per count.
#ifndef VEXOGEO_BENCH_BENCH_WALL_H
#define VEXOGEO_BENCH_BENCH_WALL_H

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

namespace VexoGeoBench {

/// Runs `prepare` then `run` once per iteration and times `run` alone by the wall clock (a
/// benchmark registered with UseManualTime): the threads' CPU time adds up, the elapsed time is
/// what they save. `run` answers false to mark the benchmark failed with `failure`. Counts
/// `items` per iteration.
template <typename Prepare, typename Run>
void TimeWall(benchmark::State &state, std::size_t items, Prepare prepare, Run run,
              const char *failure = "the work failed") {
    for (auto _ : state) {
        prepare();
        const auto start = std::chrono::steady_clock::now();
        const bool done = run();
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (!done)
            state.SkipWithError(failure);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * items));
}

/// 1 and 2 threads, and the cores available when there are more.
inline std::vector<unsigned> ThreadCounts() {
    const unsigned cores = std::thread::hardware_concurrency();
    std::vector<unsigned> counts{1, 2};
    if (cores > 2)
        counts.push_back(cores);
    return counts;
}

/// The target of a run on `threads` threads against its single-threaded floor: `one` and `two`
/// times the floor's throughput on one and two threads, 0.85 per thread beyond.
inline std::string ThreadTarget(unsigned threads, const char *one, const char *two) {
    if (threads <= 2)
        return std::string(">=") + (threads == 1 ? one : two);
    return ">=" + std::to_string(0.85 * threads).substr(0, 4);
}

} // namespace VexoGeoBench

#endif
