// Reads of the settings store through RegistryLocation; a key or value that cannot be read
// answers the caller's default.
#include "module/registry_location.h"

#include <vector>

namespace Geo {
namespace {

bool OpenKey(const RegistryLocation &location, Platform::SettingsKey &key) {
    Platform::SettingsKey base;
    return base.Open(location.m_hive, location.m_basePath) && key.Open(base, location.m_subPath);
}

} // namespace

bool RegistryLocation::KeyExists() const {
    Platform::SettingsKey key;
    return OpenKey(*this, key);
}

bool RegistryLocation::ValueExists(const std::string &name) const {
    Platform::SettingsKey key;
    std::size_t size = 0;
    return OpenKey(*this, key) && key.QueryValueSize(name, size);
}

std::string RegistryLocation::ReadString(const std::string &name,
                                         const std::string &defaultValue) const {
    Platform::SettingsKey key;
    std::size_t size = 0;
    if (!key.Open(m_hive, m_basePath + m_subPath) || !key.QueryValueSize(name, size)) {
        return defaultValue;
    }
    // The store applies the text rules (first NUL, an editor's marks). A value that grew since
    // its size was asked reads as empty; the spare byte keeps the buffer real for an empty value.
    std::vector<char> buffer(size + 1, '\0');
    std::size_t length = 0;
    std::string result;
    if (key.QueryValue(name, buffer.data(), size, length)) {
        result.assign(buffer.data(), length);
    }
    return result;
}

} // namespace Geo
