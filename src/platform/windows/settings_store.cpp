// The settings store on Windows: the registry itself. The per-user hive is HKEY_CURRENT_USER,
// the machine-wide one HKEY_LOCAL_MACHINE; keys and values are read with the ANSI functions.
#include "platform/settings_store.h"

#include <algorithm>
#include <type_traits>

#include <windows.h>

namespace Geo::Platform {
namespace {

static_assert(std::is_same_v<HKEY, HKEY__ *>, "the settings key holds an HKEY as it is");

HKEY RootOf(SettingsHive hive) {
    return hive == SettingsHive::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

// Slashes separate keys as backslashes do; an embedded zero byte names no key.
bool ToKeyPath(const std::string &path, std::string &keyPath) {
    if (path.find('\0') != std::string::npos) {
        return false;
    }
    keyPath = path;
    std::replace(keyPath.begin(), keyPath.end(), '/', '\\');
    return true;
}

bool IsValueName(const std::string &name) {
    return !name.empty() && name.find('\0') == std::string::npos;
}

HKEY OpenBelow(HKEY parent, const std::string &path) {
    std::string keyPath;
    HKEY key = nullptr;
    if (!ToKeyPath(path, keyPath) ||
        RegOpenKeyExA(parent, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return nullptr;
    }
    return key;
}

} // namespace

std::string GetHiveFolder(SettingsHive hive) {
    return hive == SettingsHive::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

void SettingsKey::Close() {
    if (IsOpen()) {
        RegCloseKey(m_handle);
        m_handle = kClosed;
    }
}

bool SettingsKey::Open(SettingsHive hive, const std::string &path) {
    Close();
    m_handle = OpenBelow(RootOf(hive), path);
    return IsOpen();
}

bool SettingsKey::Open(const SettingsKey &parent, const std::string &path) {
    const HKEY key = parent.IsOpen() ? OpenBelow(parent.m_handle, path) : nullptr;
    Close();
    m_handle = key;
    return IsOpen();
}

bool SettingsKey::QueryValueSize(const std::string &name, std::size_t &size) const {
    DWORD found = 0;
    if (!IsOpen() || !IsValueName(name) ||
        RegQueryValueExA(m_handle, name.c_str(), nullptr, nullptr, nullptr, &found) !=
            ERROR_SUCCESS) {
        return false;
    }
    size = found;
    return true;
}

bool SettingsKey::QueryValue(const std::string &name, char *buffer, std::size_t capacity,
                             std::size_t &size) const {
    // Any type is read as its bytes; a value longer than the buffer answers ERROR_MORE_DATA.
    DWORD count = static_cast<DWORD>(std::min<std::size_t>(capacity, MAXDWORD));
    if (!IsOpen() || !IsValueName(name) ||
        RegQueryValueExA(m_handle, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE *>(buffer),
                         &count) != ERROR_SUCCESS) {
        return false;
    }
    size = TakeSettingText(buffer, count, SettingsValueForm::ProgramBytes);
    return true;
}

} // namespace Geo::Platform
