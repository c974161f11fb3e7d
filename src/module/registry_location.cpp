// Reads of the settings store through RegistryLocation; a key or value that cannot be read
// answers the caller's default.
#include "module/registry_location.h"

#include <algorithm>
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
    // One zero byte more than the value, so the text always ends.
    std::vector<char> buffer(size + 1, '\0');
    std::size_t read = 0;
    std::string result;
    if (key.QueryValue(name, buffer.data(), size, read)) {
        // The text ends at its first zero byte: a registry string stores its terminator too.
        result.assign(buffer.data(), std::find(buffer.data(), buffer.data() + read, '\0'));
    }
    return result;
}

} // namespace Geo
