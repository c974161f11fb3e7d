// The installation language, one process per case: CTest starts each case alone, naming it in
// VEXOGEO_LANGUAGE_CASE, with XDG_CONFIG_HOME and XDG_CONFIG_DIRS naming folders of the build
// tree that the case fills.
#include "geocoding/nominatim_request.h"
#include "module/localization.h"
#include "support/test_data.h"

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

// The case of tests/data/module/languages.tsv that VEXOGEO_LANGUAGE_CASE names.
TEST(LanguageProcess, InstallationLanguage) {
    const char *name = std::getenv("VEXOGEO_LANGUAGE_CASE");
    const auto rows = VexoGeoTest::TestTable("module/languages.tsv", 8);
    auto c = rows.begin();
    while (c != rows.end() && (name == nullptr || name != (*c)[0]))
        ++c;
    ASSERT_NE(c, rows.end()) << "VEXOGEO_LANGUAGE_CASE names no case";
    SCOPED_TRACE(c->m_trace);
    const std::string &user = (*c)[1], &machine = (*c)[2];
    const fs::path userFolder = EmptyKey("XDG_CONFIG_HOME");
    const fs::path machineFolder = EmptyKey("XDG_CONFIG_DIRS");
    if (user != "-" || (*c)[3] == "1")
        fs::create_directories(userFolder);
    if (user != "-")
        std::ofstream(userFolder / "Language", std::ios::binary) << user;
    if (machine != "-") {
        fs::create_directories(machineFolder);
        std::ofstream(machineFolder / "InstallLanguage", std::ios::binary) << machine;
    }

    const Localization &localization = Localization::Instance();
    const char *const kLanguages[] = {"English", "German", "Hungarian"};
    EXPECT_STREQ(kLanguages[static_cast<std::size_t>(localization.GetLanguage())], (*c)[4].c_str());
    EXPECT_EQ(localization.GetText(MessageId::CultureCode), (*c)[5]);
    EXPECT_THAT([] { Nominatim::Search("Wien", 0); },
                ::testing::ThrowsMessage<std::invalid_argument>(::testing::StrEq((*c)[7])));
    EXPECT_EQ(ComposeSearchUrl("https://n.example/search", "Wien", 5),
              "https://n.example/search?q=Wien&accept-language=" + (*c)[6] +
                  "&format=json&limit=5");
}

} // namespace
} // namespace Geo
