// Threads released together, and bit-for-bit comparisons, for the tests that split work.
#ifndef VEXOGEO_TESTS_SUPPORT_THREADS_H
#define VEXOGEO_TESTS_SUPPORT_THREADS_H

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace VexoGeoTest {

/// Runs `work(0)` to `work(count - 1)` on `count` threads that start together, and joins them.
template <typename Work> void RunThreads(int count, Work work) {
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < count; ++t)
        threads.emplace_back([&, t] {
            for (++ready; ready < count;)
                std::this_thread::yield();
            work(t);
        });
    for (auto &thread : threads)
        thread.join();
}

/// @return whether `a` and `b` hold the same doubles to the last bit (NaNs included).
inline bool SameBits(const std::vector<double> &a, const std::vector<double> &b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

} // namespace VexoGeoTest

#endif
