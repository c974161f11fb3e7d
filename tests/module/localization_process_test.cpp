// The installation language, one process per case: CTest starts each case alone, with
// XDG_CONFIG_HOME and XDG_CONFIG_DIRS naming folders of the build tree that the case fills.
#include "geocoding/nominatim_request.h"
#include "module/localization.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <thread>

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

// The per-user "Language" and machine-wide "InstallLanguage"; null writes no value. The
// per-user key is made when `userKey` is set or a per-user value is given.
void Install(const char *user, const char *machine, bool userKey = false) {
    const fs::path userFolder = EmptyKey("XDG_CONFIG_HOME");
    const fs::path machineFolder = EmptyKey("XDG_CONFIG_DIRS");
    if (user != nullptr || userKey)
        fs::create_directories(userFolder);
    if (user != nullptr)
        std::ofstream(userFolder / "Language", std::ios::binary) << user;
    if (machine != nullptr) {
        fs::create_directories(machineFolder);
        std::ofstream(machineFolder / "InstallLanguage", std::ios::binary) << machine;
    }
}

using Column = std::array<const char *, 7>;
const Column kEnglish = {"Geo",
                         "en-us",
                         "The argument limit is invalid",
                         "Failed to get temporary file path.",
                         "Failed to query Nominatim.",
                         "Failed to open temporary file.",
                         "en"};
const Column kGerman = {"Geo",
                        "de-de",
                        "Das Argument limit ist ung\xFCltig.",
                        "Tempor\xE4rer Dateipfad konnte nicht ermittelt werden.",
                        "Nominatim konnte nicht abgefragt werden.",
                        "Tempor\xE4rer Datei konnte nicht ge\xF6"
                        "ffnet werden.",
                        "de"};
const Column kHungarian = {"", "", "", "", "", "", ""};
// The limit message as this UTF-8 process receives it.
const char *const kGermanLimit = "Das Argument limit ist ung\xC3\xBCltig.";

void ExpectInstallation(Language language, const Column &texts, const char *limitMessage) {
    const Localization &localization = Localization::Instance();
    EXPECT_EQ(localization.GetLanguage(), language);
    for (std::size_t row = 0; row < texts.size(); ++row)
        EXPECT_STREQ(localization.GetText(static_cast<MessageId>(row)), texts[row]) << row;
    try {
        Nominatim::Search("Wien", 0);
        ADD_FAILURE() << "no exception";
    } catch (const std::invalid_argument &error) {
        EXPECT_STREQ(error.what(), limitMessage);
    }
    EXPECT_EQ(ComposeSearchUrl("https://n.example/search", "Wien", 5),
              std::string("https://n.example/search?q=Wien&accept-language=") + texts[6] +
                  "&format=json&limit=5");
}

// Runs only when selected alone: the language stays fixed for the rest of the process.
class LanguageProcess : public ::testing::Test {
    void SetUp() override {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string self = std::string(info->test_suite_name()) + "." + info->name();
        if (GTEST_FLAG_GET(filter) != self)
            GTEST_SKIP() << "runs in a process of its own: --gtest_filter=" << self;
    }
};

TEST_F(LanguageProcess, NoSettings) {
    Install(nullptr, nullptr);
    ExpectInstallation(Language::German, kGerman, kGermanLimit);
}

TEST_F(LanguageProcess, MachineEnglish) {
    Install(nullptr, "English");
    ExpectInstallation(Language::English, kEnglish, kEnglish[2]);
}

TEST_F(LanguageProcess, UserHungarianOverMachineEnglish) {
    Install("Hungarian\n", "English\n");
    ExpectInstallation(Language::Hungarian, kHungarian, "");
}

TEST_F(LanguageProcess, UserEmptyOverMachineEnglish) {
    Install("", "English");
    ExpectInstallation(Language::German, kGerman, kGermanLimit);
}

TEST_F(LanguageProcess, UserKeyWithoutValue) {
    Install(nullptr, "English", true);
    ExpectInstallation(Language::English, kEnglish, kEnglish[2]);
}

TEST_F(LanguageProcess, LowerCaseEnglish) {
    Install(nullptr, "english");
    ExpectInstallation(Language::German, kGerman, kGermanLimit);
}

TEST_F(LanguageProcess, EnglishWithBlank) {
    Install("English ", "Hungarian");
    ExpectInstallation(Language::German, kGerman, kGermanLimit);
}

TEST_F(LanguageProcess, ConcurrentFirstCalls) {
    Install("English\n", nullptr);
    const Localization *first = nullptr, *second = nullptr;
    std::thread a([&first] { first = &Localization::Instance(); });
    std::thread b([&second] { second = &Localization::Instance(); });
    a.join();
    b.join();
    EXPECT_EQ(first, second);
    EXPECT_EQ(first->GetLanguage(), Language::English);
}

} // namespace
} // namespace Geo
