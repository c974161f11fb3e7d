// Reads of the settings store through RegistryLocation; every failure is a RegistryError
// carrying one of the store's two German messages.
#include "module/registry_location.h"

#include <vector>

namespace Geo {
namespace {

// Windows-1252 text, as the messages have always been.
constexpr const char *kKeyOpenFailed = "Registriepfad <$1> konnte nicht ge\xF6"
                                       "ffnet werden";
constexpr const char *kValueQueryFailed = "Auslesen der Registrievariable <$1> schlug fehl";

std::string ReplaceAll(std::string text, const std::string &placeholder,
                       const std::string &replacement) {
    std::size_t position = 0;
    while ((position = text.find(placeholder, position)) != std::string::npos) {
        text.replace(position, placeholder.size(), replacement);
        position += replacement.size();
    }
    return text;
}

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

std::string RegistryLocation::ReadString(const std::string &name) const {
    Platform::SettingsKey key;
    if (!key.Open(m_hive, m_basePath + m_subPath)) {
        throw RegistryError(ReplaceAll(kKeyOpenFailed, "$1", m_basePath));
    }
    std::size_t size = 0;
    if (!key.QueryValueSize(name, size)) {
        throw RegistryError(ReplaceAll(kValueQueryFailed, "$1", name));
    }
    // One zero byte more than the value, so the text always ends.
    std::vector<char> buffer(size + 1, '\0');
    std::size_t read = 0;
    std::string result;
    if (key.QueryValue(name, buffer.data(), size, read)) {
        result.assign(buffer.data(), read);
    }
    return result;
}

std::string RegistryLocation::ReadString(const std::string &name,
                                         const std::string &defaultValue) const {
    try {
        return ReadString(name);
    } catch (const std::exception &) {
        return defaultValue;
    }
}

} // namespace Geo
