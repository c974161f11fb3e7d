// Counted references on one coordinate-system handle, taken and dropped from several threads.
#include <vexogeo/vexogeo.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

// Every thread holds one reference of its own while it churns more, then drops it; the handle
// must die exactly once, at the very last release, whichever thread makes it.
TEST(CoordinateSystemThreads, ConcurrentReferencesDestroyTheHandleExactlyOnce) {
    constexpr int kThreads = 8;
    for (int trial = 0; trial < 20; ++trial) {
        // Needs no database: cheap to repeat.
        auto *cs =
            Geo::CCoordinateSystem::FromProj4Parameters("+proj=longlat +ellps=GRS80 +type=crs");
        ASSERT_NE(cs, nullptr);
        for (int i = 0; i < kThreads; ++i)
            cs->AddRef();
        std::atomic<int> zeros{0};
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        for (int i = 0; i < kThreads; ++i)
            threads.emplace_back([&] {
                while (!go.load())
                    std::this_thread::yield();
                for (int r = 0; r < 20000; ++r) {
                    cs->AddRef();
                    zeros += cs->Release() == 0;
                }
                zeros += cs->Release() == 0;
            });
        go = true;
        for (auto &t : threads)
            t.join();
        EXPECT_EQ(zeros.load(), 1) << "trial " << trial;
    }
}
