// The settings store: a tree of keys holding named values, read only. On POSIX a hive is a
// folder of the XDG base directories, a key a folder below it and a value a file in that folder;
// on Windows the store is the registry.
#ifndef VEXOGEO_PLATFORM_SETTINGS_STORE_H
#define VEXOGEO_PLATFORM_SETTINGS_STORE_H

#include <cstddef>
#include <string>

#ifdef _WIN32
struct HKEY__; // <windows.h> declares HKEY as HKEY__ *
#endif

namespace Geo::Platform {

/// The two roots of the store.
enum class SettingsHive {
    CurrentUser,  ///< per-user settings: $XDG_CONFIG_HOME, else $HOME/.config
    LocalMachine, ///< machine-wide settings: the first folder of $XDG_CONFIG_DIRS, else /etc/xdg
};

/// The folder of `hive`, as the environment names it at this moment.
/// @return the empty string when there is none (per-user hive with neither variable set).
std::string GetHiveFolder(SettingsHive hive);

/// How a store keeps its values, which decides what of the stored bytes is the value's text.
enum class SettingsValueForm {
    EditorFile,  ///< a file that a person may have saved with a text editor (POSIX)
    ProgramBytes ///< the bytes a program stored, a string with its terminator (the registry)
};

/// The one set of rules that turns a value's `size` stored bytes in `buffer` into its text, for
/// every store: the text ends at the first NUL; an editor's file also loses a leading UTF-8 byte
/// order mark and its trailing line breaks (LF, CR LF, CR). Blanks are always kept.
/// @return the text's length; the text is moved to the start of `buffer`.
std::size_t TakeSettingText(char *buffer, std::size_t size, SettingsValueForm form);

/// One open key; closed by its destructor. Movable, not copyable.
class SettingsKey {
  public:
    SettingsKey() = default;
    ~SettingsKey();
    SettingsKey(SettingsKey &&other) noexcept;
    SettingsKey &operator=(SettingsKey &&other) noexcept;
    SettingsKey(const SettingsKey &) = delete;
    SettingsKey &operator=(const SettingsKey &) = delete;

    /// Opens the key `path` (components separated by backslashes or slashes) below `hive`; an
    /// empty path opens the hive itself. @return false when that key does not exist.
    bool Open(SettingsHive hive, const std::string &path);
    /// Opens the key `path` below the open key `parent`. @return false when it does not exist.
    bool Open(const SettingsKey &parent, const std::string &path);
    /// @return whether the key is open.
    bool IsOpen() const { return m_handle != kClosed; }

    /// Asks for the size in bytes of the value `name` as stored, which its text never exceeds.
    /// @return false when the key is not open or holds no readable value of that name.
    bool QueryValueSize(const std::string &name, std::size_t &size) const;
    /// Reads the value `name` into `buffer`, at most `capacity` bytes as stored, and keeps its
    /// text by the rules of `TakeSettingText`; `size` receives the text's length.
    /// @return false when the value is missing, unreadable or longer than `capacity`.
    bool QueryValue(const std::string &name, char *buffer, std::size_t capacity,
                    std::size_t &size) const;

  private:
#ifdef _WIN32
    using Handle = HKEY__ *; ///< an open registry key, a predefined root key included
    static constexpr Handle kClosed = nullptr;
#else
    using Handle = int; ///< the descriptor of the key's folder
    static constexpr Handle kClosed = -1;
#endif

    void Close();

    Handle m_handle = kClosed; ///< the platform's handle of the open key
};

} // namespace Geo::Platform

#endif
