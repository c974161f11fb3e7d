// The installation language, one process per case: CTest starts each case alone, naming it in
// VEXOGEO_LANGUAGE_CASE, with XDG_CONFIG_HOME and XDG_CONFIG_DIRS naming folders of the build
// tree that the case fills.
#include "geocoding/nominatim_request.h"
#include "module/localization.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace Geo {
namespace {

namespace fs = std::filesystem;

// The key folder of the hive that `variable` names, emptied first; refused outside the build
// tree, so that a stray run never clears real settings.
fs::path EmptyKey(const char *variable) {
    const char *hive = std::getenv(variable);
    const std::string buildTree = VEXOGEO_TEST_BINARY_DIR "/";
    if (hive == nullptr || std::string(hive).rfind(buildTree, 0) != 0)
        throw std::runtime_error(std::string(variable) + " must name a folder in " + buildTree);
    fs::remove_all(hive);
    return fs::path(hive) / "SOFTWARE/Vexo/Kalvo";
}

// What each language shows outside the library: the culture of XML names, the language asked of
// the geocoding service and the text of a refused limit (as this UTF-8 process receives it).
struct Texts {
    const char *culture, *languageCode, *limitMessage;
};
const Texts kEnglish = {"en-us", "en", "The argument limit is invalid"};
const Texts kGerman = {"de-de", "de", "Das Argument limit ist ung\xC3\xBCltig."};
const Texts kHungarian = {"", "", ""};

// The per-user "Language" and machine-wide "InstallLanguage" (null: no value; the per-user key
// is made when `userKey` is set or a per-user value is given), and what the process makes of it.
const struct Case {
    const char *name, *user, *machine;
    bool userKey;
    Language language;
    const Texts &texts;
} kCases[] = {
    {"NoSettings", nullptr, nullptr, false, Language::German, kGerman},
    {"MachineEnglish", nullptr, "English", false, Language::English, kEnglish},
    {"UserHungarianOverMachineEnglish", "Hungarian\n", "English\n", false, Language::Hungarian,
     kHungarian},
    {"UserEmptyOverMachineEnglish", "", "English", false, Language::German, kGerman},
    {"UserKeyWithoutValue", nullptr, "English", true, Language::English, kEnglish},
    {"LowerCaseEnglish", nullptr, "english", false, Language::German, kGerman},
    {"EnglishWithBlank", "English ", "Hungarian", false, Language::German, kGerman},
    {"EnglishFromWindowsEditor", "\xEF\xBB\xBF\x45nglish\r\n", "Hungarian", false,
     Language::English, kEnglish},
};

TEST(LanguageProcess, InstallationLanguage) {
    const char *name = std::getenv("VEXOGEO_LANGUAGE_CASE");
    const Case *c = std::begin(kCases);
    while (c != std::end(kCases) && (name == nullptr || std::string(name) != c->name))
        ++c;
    ASSERT_NE(c, std::end(kCases)) << "VEXOGEO_LANGUAGE_CASE names no case";
    const fs::path userFolder = EmptyKey("XDG_CONFIG_HOME");
    const fs::path machineFolder = EmptyKey("XDG_CONFIG_DIRS");
    if (c->user != nullptr || c->userKey)
        fs::create_directories(userFolder);
    if (c->user != nullptr)
        std::ofstream(userFolder / "Language", std::ios::binary) << c->user;
    if (c->machine != nullptr) {
        fs::create_directories(machineFolder);
        std::ofstream(machineFolder / "InstallLanguage", std::ios::binary) << c->machine;
    }

    const Localization &localization = Localization::Instance();
    EXPECT_EQ(localization.GetLanguage(), c->language);
    EXPECT_STREQ(localization.GetText(MessageId::CultureCode), c->texts.culture);
    EXPECT_THAT(
        [] { Nominatim::Search("Wien", 0); },
        ::testing::ThrowsMessage<std::invalid_argument>(::testing::StrEq(c->texts.limitMessage)));
    EXPECT_EQ(ComposeSearchUrl("https://n.example/search", "Wien", 5),
              std::string("https://n.example/search?q=Wien&accept-language=") +
                  c->texts.languageCode + "&format=json&limit=5");
}

} // namespace
} // namespace Geo
