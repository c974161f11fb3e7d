// Linked into a test binary, gives each of its processes a cache folder of its own, below the
// system's temporary folder, in place of XDG_CACHE_HOME's. CTest runs every case in a process of
// its own, several at once; the request gate's record lives in the cache folder, and a hold one
// case records (a Retry-After of 30 s) would otherwise hold the cases running beside it. The
// processes a case starts inherit the folder, so its own processes still share one gate.
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

class COwnCacheFolder : public ::testing::Environment {
  public:
    void SetUp() override {
        m_folder = std::make_unique<VexoGeoTest::CTempFolder>("vexogeo-cache-");
        setenv("XDG_CACHE_HOME", m_folder->Root().c_str(), 1);
    }
    void TearDown() override { m_folder.reset(); }

  private:
    std::unique_ptr<VexoGeoTest::CTempFolder> m_folder;
};

[[maybe_unused]] const ::testing::Environment *const kOwnCacheFolder =
    ::testing::AddGlobalTestEnvironment(new COwnCacheFolder);

} // namespace
