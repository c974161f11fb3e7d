// How a benchmark names the limit it is measured against, for the table that bench/run prints.
#ifndef VEXOGEO_BENCH_BENCH_COMPARE_H
#define VEXOGEO_BENCH_BENCH_COMPARE_H

#include <string>

#include <benchmark/benchmark.h>

namespace VexoGeoBench {

/// Marks the running benchmark as a figure measured against `baseline`, the full name (no
/// spaces) of another benchmark run by the same program. `target` is ">=R" (the figure's
/// throughput at least R times the baseline's) or "<=R" (its time at most R times the
/// baseline's); bench/run computes the ratio in that sense and prints pass or fail.
inline void CompareWith(benchmark::State &state, const std::string &baseline,
                        const std::string &target) {
    state.SetLabel("vs " + baseline + " " + target);
}

} // namespace VexoGeoBench

#endif
