// A key of the settings store named by a hive and two path parts, with the reads the
// installation language needs.
#ifndef VEXOGEO_MODULE_REGISTRY_LOCATION_H
#define VEXOGEO_MODULE_REGISTRY_LOCATION_H

#include "platform/settings_store.h"

#include <string>

namespace Geo {

/// The key `m_basePath` followed directly by `m_subPath` below `m_hive`; backslashes separate
/// keys. A plain record: its operations only read the store and never change the record.
struct RegistryLocation {
    Platform::SettingsHive m_hive = Platform::SettingsHive::CurrentUser;
    std::string m_basePath; ///< first part of the key path, ending in a backslash
    std::string m_subPath;  ///< second part, below the base

    /// @return true when the base key and the sub key below it both open.
    bool KeyExists() const;
    /// @return true when the key exists and holds a value `name`.
    bool ValueExists(const std::string &name) const;
    /// The value's text (`Platform::TakeSettingText`: up to the first NUL; from a file, without
    /// an editor's byte order mark and line breaks); empty when the value grew between its size
    /// query and its read.
    /// @return `defaultValue` when the key cannot be opened or holds no value `name`.
    std::string ReadString(const std::string &name, const std::string &defaultValue) const;
};

} // namespace Geo

#endif
