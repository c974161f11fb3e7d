// Loading the shared library points PROJ's default context at Resources/Proj beside the
// executable; unloading it takes the setting back. This program links PROJ but not the library.
#include <gtest/gtest.h>
#include <proj.h>

#include <dlfcn.h>
#include <string>

#ifndef VEXOGEO_LIBRARY_PATH
#error "VEXOGEO_LIBRARY_PATH must name the built shared library"
#endif

namespace {

std::string SearchPath() {
    const PJ_INFO info = proj_info();
    return info.searchpath != nullptr ? info.searchpath : "";
}

std::string ExecutableFolder() {
    char buffer[1000] = {};
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    std::string path(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
    return path.substr(0, path.rfind('/'));
}

} // namespace

TEST(ModuleLoad, SetsAndRemovesTheSearchPath) {
    const std::string expected = ExecutableFolder() + "/Resources/Proj/";
    ASSERT_EQ(SearchPath().find("Resources/Proj"), std::string::npos);
    void *library = dlopen(VEXOGEO_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    EXPECT_EQ(SearchPath(), expected);
    ASSERT_EQ(dlclose(library), 0);
    EXPECT_EQ(SearchPath().find("Resources/Proj"), std::string::npos) << SearchPath();
}
