// A temporary folder of a test, removed with all it holds.
#ifndef VEXOGEO_TESTS_SUPPORT_TEMP_FOLDER_H
#define VEXOGEO_TESTS_SUPPORT_TEMP_FOLDER_H

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>

namespace VexoGeoTest {

/// A new empty folder under the system's temporary folder, named `prefix` and a random number,
/// removed with all it holds.
class CTempFolder {
  public:
    explicit CTempFolder(const std::string &prefix = "vexogeo-")
        : m_path(std::filesystem::temp_directory_path() /
                 (prefix + std::to_string(std::random_device()()))) {
        std::filesystem::create_directories(m_path);
    }
    ~CTempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    CTempFolder(const CTempFolder &) = delete;
    CTempFolder &operator=(const CTempFolder &) = delete;

    const std::filesystem::path &Root() const { return m_path; }
    std::string Path(const std::string &name) const { return (m_path / name).string(); }
    /// Writes `bytes` to the file `name`, making the folders on its way. @return its path.
    std::string Write(const std::string &name, const std::string &bytes) const {
        std::filesystem::create_directories((m_path / name).parent_path());
        std::ofstream(Path(name), std::ios::binary) << bytes;
        return Path(name);
    }
    /// @return the names of everything in the folder.
    std::set<std::string> List() const {
        std::set<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(m_path))
            names.insert(entry.path().filename().string());
        return names;
    }

  private:
    const std::filesystem::path m_path;
};

} // namespace VexoGeoTest

#endif
