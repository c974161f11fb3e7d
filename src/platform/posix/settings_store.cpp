// The settings store on POSIX: hives are XDG configuration folders, keys are folders below them
// and values are regular files, all reached through descriptors relative to the open key.
#include "platform/settings_store.h"

#include "platform/posix/descriptor.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Geo::Platform {
namespace {

constexpr const char *kDefaultMachineFolder = "/etc/xdg";

bool IsAbsolute(const std::string &path) { return !path.empty() && path.front() == '/'; }

std::string GetVariable(const char *name) {
    const char *value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// Turns a key path into a relative folder path. Backslashes separate keys as slashes do; a
// path that would leave its parent ("..", ".", a leading separator) names no key.
bool ToFolderPath(const std::string &keyPath, std::string &folder) {
    folder = keyPath;
    std::replace(folder.begin(), folder.end(), '\\', '/');
    if (folder.find('\0') != std::string::npos || IsAbsolute(folder)) {
        return false;
    }
    std::size_t start = 0;
    while (start <= folder.size()) {
        std::size_t end = folder.find('/', start);
        if (end == std::string::npos) {
            end = folder.size();
        }
        const std::string component = folder.substr(start, end - start);
        if (component == "." || component == "..") {
            return false;
        }
        start = end + 1;
    }
    if (folder.empty()) {
        folder = ".";
    }
    return true;
}

bool IsValueName(const std::string &name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

int OpenFolder(int parent, const std::string &path) {
    int handle;
    do {
        handle = parent < 0 ? open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                            : openat(parent, path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (handle < 0 && errno == EINTR);
    return handle;
}

// Opens the value `name` of the key `key` for reading when it is a regular file. O_NONBLOCK keeps
// a FIFO of that name from blocking the open; it is then refused as not regular.
int OpenValue(int key, const std::string &name, std::size_t &size) {
    if (key < 0 || !IsValueName(name)) {
        return -1;
    }
    int handle;
    do {
        handle = openat(key, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (handle < 0 && errno == EINTR);
    if (handle < 0) {
        return -1;
    }
    struct stat status {};
    if (fstat(handle, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size < 0) {
        close(handle);
        return -1;
    }
    size = static_cast<std::size_t>(status.st_size);
    return handle;
}

// Reads up to `capacity` bytes; false on a read error or when more than `capacity` bytes follow.
bool ReadAll(int handle, char *buffer, std::size_t capacity, std::size_t &size) {
    size = 0;
    for (;;) {
        char spare;
        char *target = size < capacity ? buffer + size : &spare;
        const std::size_t wanted = size < capacity ? capacity - size : 1;
        const ssize_t count = read(handle, target, wanted);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (count == 0) {
            return true;
        }
        if (target == &spare) {
            return false;
        }
        size += static_cast<std::size_t>(count);
    }
}

} // namespace

std::string GetHiveFolder(SettingsHive hive) {
    if (hive == SettingsHive::CurrentUser) {
        // The XDG rules: an unset, empty or relative value is ignored.
        const std::string configHome = GetVariable("XDG_CONFIG_HOME");
        if (IsAbsolute(configHome)) {
            return configHome;
        }
        const std::string home = GetVariable("HOME");
        return home.empty() ? std::string() : home + "/.config";
    }
    const std::string configDirs = GetVariable("XDG_CONFIG_DIRS");
    const std::string first = configDirs.substr(0, configDirs.find(':'));
    return IsAbsolute(first) ? first : std::string(kDefaultMachineFolder);
}

void SettingsKey::Close() {
    if (IsOpen()) {
        close(m_handle);
        m_handle = kClosed;
    }
}

bool SettingsKey::Open(SettingsHive hive, const std::string &path) {
    Close();
    std::string folder;
    const std::string hiveFolder = GetHiveFolder(hive);
    if (hiveFolder.empty() || !ToFolderPath(path, folder)) {
        return false;
    }
    const CDescriptor root(OpenFolder(-1, hiveFolder));
    if (root.Get() < 0) {
        return false;
    }
    m_handle = OpenFolder(root.Get(), folder);
    return IsOpen();
}

bool SettingsKey::Open(const SettingsKey &parent, const std::string &path) {
    std::string folder;
    if (!parent.IsOpen() || !ToFolderPath(path, folder)) {
        Close();
        return false;
    }
    const int handle = OpenFolder(parent.m_handle, folder);
    Close();
    m_handle = handle;
    return IsOpen();
}

bool SettingsKey::QueryValueSize(const std::string &name, std::size_t &size) const {
    std::size_t found = 0;
    const CDescriptor value(OpenValue(m_handle, name, found));
    if (value.Get() < 0) {
        return false;
    }
    size = found;
    return true;
}

bool SettingsKey::QueryValue(const std::string &name, char *buffer, std::size_t capacity,
                             std::size_t &size) const {
    std::size_t ignored = 0;
    const CDescriptor value(OpenValue(m_handle, name, ignored));
    if (value.Get() < 0 || !ReadAll(value.Get(), buffer, capacity, size)) {
        return false;
    }
    size = TakeSettingText(buffer, size, SettingsValueForm::EditorFile);
    return true;
}

} // namespace Geo::Platform
