// Whole files for tests: the bytes of any file, and the test documents kept in tests/data.
#ifndef VEXOGEO_TESTS_SUPPORT_TEST_DATA_H
#define VEXOGEO_TESTS_SUPPORT_TEST_DATA_H

#include <fstream>
#include <iterator>
#include <string>

namespace VexoGeoTest {

/// @return the bytes of the file at `path`; empty when it cannot be read.
inline std::string ReadBytes(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

/// @return the bytes of the test document `name` in tests/data (fuzz/shared_seeds.txt names
/// the folders there that seed a fuzzer as well); empty when it is missing.
inline std::string TestData(const std::string &name) {
    return ReadBytes(std::string(VEXOGEO_TEST_SOURCE_DIR) + "/tests/data/" + name);
}

} // namespace VexoGeoTest

#endif
