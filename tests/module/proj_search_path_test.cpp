// The PROJ resource folder derived from the host executable's path, for both separators.
#include <gtest/gtest.h>

#include "module/proj_search_path.h"

TEST(ProjSearchPath, BesideTheExecutable) {
    const struct {
        const char *executable;
        char separator;
        const char *path;
    } cases[] = {
        {R"(C:\App\bin\host.exe)", '\\', R"(C:\App\bin\Resources\Proj\)"},
        {R"(C:\host.exe)", '\\', R"(C:\\Resources\Proj\)"}, // the drive root keeps its separator
        {R"(C:\App\\\host.exe)", '\\', R"(C:\App\Resources\Proj\)"},
        {R"(C:/App/bin/host.exe)", '\\', R"(C:/App/bin\Resources\Proj\)"},
        {R"(\\server\share\host.exe)", '\\', R"(\\server\share\Resources\Proj\)"},
        {"", '\\', R"(\Resources\Proj\)"}, // no path: relative to the root
        {"/opt/app/bin/host", '/', "/opt/app/bin/Resources/Proj/"},
        {"/opt/app//bin//host", '/', "/opt/app//bin/Resources/Proj/"},
        {"/host", '/', "//Resources/Proj/"},
        {"host", '/', "/Resources/Proj/"},
        {"", '/', "/Resources/Proj/"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Geo::Module::DeriveProjSearchPath(c.executable, c.separator), c.path)
            << c.executable;
}
