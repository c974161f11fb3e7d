// The installation language, read once per process from the settings store, and the table of
// localized texts.
#include "module/localization.h"

#include "module/registry_location.h"

#include <string>

namespace Geo {
namespace {

constexpr std::size_t kRowCount = 3;
constexpr std::size_t kLanguageCount = 3;

// Rows in MessageId order, columns English, German, Hungarian; Windows-1252 bytes.
constexpr const char *kTexts[kRowCount][kLanguageCount] = {
    {"en-us", "de-de", ""},
    {"The argument limit is invalid", "Das Argument limit ist ung\xFCltig.", ""},
    {"en", "de", ""},
};

const char *const kKeyBase = "SOFTWARE\\";
const char *const kKeySub = "Vexo\\Kalvo";

// The per-user "Language" wins whenever it exists, even empty; otherwise the machine-wide
// "InstallLanguage" decides.
std::string ReadLanguageText() {
    const RegistryLocation user{Platform::SettingsHive::CurrentUser, kKeyBase, kKeySub};
    if (user.KeyExists() && user.ValueExists("Language")) {
        return user.ReadString("Language", "");
    }
    const RegistryLocation machine{Platform::SettingsHive::LocalMachine, kKeyBase, kKeySub};
    return machine.ReadString("InstallLanguage", "");
}

// Exact, case-sensitive comparison; every text that is not one of the three names is German.
Language DetermineLanguage() {
    const std::string text = ReadLanguageText();
    if (text == "English") {
        return Language::English;
    }
    if (text == "Hungarian") {
        return Language::Hungarian;
    }
    return Language::German;
}

} // namespace

Localization::Localization(Language language) : m_language(language) {}

const Localization &Localization::Instance() {
    // Concurrent first callers wait here; an exception leaves nothing behind, so the next call
    // determines the language afresh.
    static const Localization instance(DetermineLanguage());
    return instance;
}

Language Localization::GetLanguage() const { return m_language; }

const char *Localization::GetText(MessageId id) const {
    const auto row = static_cast<std::size_t>(id);
    const auto column = static_cast<std::size_t>(m_language);
    if (row >= kRowCount || column >= kLanguageCount) {
        return "";
    }
    return kTexts[row][column];
}

} // namespace Geo
