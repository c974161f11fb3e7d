// Loading the shared library points PROJ's default context at Resources/Proj beside the
// executable; unloading it takes the setting back. This program links PROJ but not the library.
#include <gtest/gtest.h>
#include <proj.h>

#include <dlfcn.h>
#include <filesystem>

namespace {

std::string SearchPath() {
    const PJ_INFO info = proj_info();
    return info.searchpath != nullptr ? info.searchpath : "";
}

} // namespace

TEST(ModuleLoad, SetsAndRemovesTheSearchPath) {
    const std::string folder = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    ASSERT_EQ(SearchPath().find("Resources/Proj"), std::string::npos);
    void *library = dlopen(VEXOGEO_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    EXPECT_EQ(SearchPath(), folder + "/Resources/Proj/");
    ASSERT_EQ(dlclose(library), 0);
    EXPECT_EQ(SearchPath().find("Resources/Proj"), std::string::npos) << SearchPath();
}
