// What every settings store shares: the ownership of an open key, and the text of a value by the
// same rules whichever store holds it.
#include "platform/settings_store.h"

#include <algorithm>

namespace Geo::Platform {

SettingsKey::~SettingsKey() { Close(); }

SettingsKey::SettingsKey(SettingsKey &&other) noexcept : m_handle(other.m_handle) {
    other.m_handle = kClosed;
}

SettingsKey &SettingsKey::operator=(SettingsKey &&other) noexcept {
    if (this != &other) {
        Close();
        m_handle = other.m_handle;
        other.m_handle = kClosed;
    }
    return *this;
}

std::size_t TakeSettingText(char *buffer, std::size_t size, SettingsValueForm form) {
    static const char kByteOrderMark[] = "\xEF\xBB\xBF";
    const bool editorFile = form == SettingsValueForm::EditorFile;
    // Windows editors put a UTF-8 byte order mark before the text; it is not part of the value.
    std::size_t start = 0;
    if (editorFile && size >= 3 && std::equal(kByteOrderMark, kByteOrderMark + 3, buffer)) {
        start = 3;
    }
    // Like a registry string, the text ends at its first NUL.
    std::size_t end =
        static_cast<std::size_t>(std::find(buffer + start, buffer + size, '\0') - buffer);
    // Any editor ends a file with a line break (LF, CR LF or CR; sometimes an empty line more).
    // A program that stores a line break in the registry means it, so it stays there.
    while (editorFile && end > start && (buffer[end - 1] == '\n' || buffer[end - 1] == '\r')) {
        --end;
    }
    std::copy(buffer + start, buffer + end, buffer);
    return end - start;
}

} // namespace Geo::Platform
