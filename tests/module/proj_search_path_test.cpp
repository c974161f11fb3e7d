// The PROJ resource folder derived from the host executable's path, for both separators.
#include <gtest/gtest.h>

#include "module/proj_search_path.h"
#include "support/test_data.h"

TEST(ProjSearchPath, BesideTheExecutable) {
    for (const auto &c : VexoGeoTest::TestTable("module/proj_search_paths.tsv", 3))
        EXPECT_EQ(Geo::Module::DeriveProjSearchPath(c[0], c[1].at(0)), c[2]) << c.m_trace;
}
