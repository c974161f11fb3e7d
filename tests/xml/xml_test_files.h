// Temporary folders and whole-file helpers for the XML tests.
#ifndef VEXOGEO_TESTS_XML_XML_TEST_FILES_H
#define VEXOGEO_TESTS_XML_XML_TEST_FILES_H

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace Geo::Testing {

/// A new empty folder under the system's temporary folder, removed with all it holds.
class CTempFolder {
  public:
    CTempFolder()
        : m_path(std::filesystem::temp_directory_path() /
                 ("vexogeo-xml-" + std::to_string(std::random_device()()))) {
        std::filesystem::create_directory(m_path);
    }
    ~CTempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }

    std::string Path(const std::string &name) const { return (m_path / name).string(); }
    /// Writes `bytes` to the file `name`. @return its path.
    std::string Write(const std::string &name, const std::string &bytes) const {
        std::ofstream(Path(name), std::ios::binary) << bytes;
        return Path(name);
    }
    /// @return the names of everything in the folder, sorted.
    std::vector<std::string> List() const {
        std::vector<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(m_path))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    std::filesystem::path m_path;
};

/// @return the whole content of a file; empty when it cannot be read.
inline std::string ReadBytes(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

} // namespace Geo::Testing

#endif
