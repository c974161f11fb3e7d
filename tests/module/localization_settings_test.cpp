// The settings store and RegistryLocation on a settings tree the test writes itself.
#include "module/registry_location.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace Geo {
namespace {

namespace fs = std::filesystem;
using Platform::SettingsHive;
using Platform::SettingsValueForm;
using Platform::TakeSettingText;

using VexoGeoTest::CScopedEnv;

// Per-user and machine-wide hives in a fresh temporary folder.
class SettingsStore : public ::testing::Test {
  protected:
    void Write(const std::string &name, const std::string &bytes) {
        fs::create_directories((m_key / name).parent_path());
        std::ofstream(m_key / name, std::ios::binary) << bytes;
    }

    const VexoGeoTest::CTempFolder m_folder{"vexogeo-settings-"};
    const fs::path m_root = m_folder.Root(), m_key = m_root / "user/SOFTWARE/Vexo/Kalvo";
    const CScopedEnv m_userHive{"XDG_CONFIG_HOME", (m_root / "user").string()};
    const CScopedEnv m_machineHives{"XDG_CONFIG_DIRS", m_root.string() + "/machine:/etc/xdg"};
    const RegistryLocation m_user{SettingsHive::CurrentUser, "SOFTWARE\\", "Vexo\\Kalvo"};
};

TEST(SettingsHiveFolder, FollowsTheXdgVariables) {
    const struct {
        const char *configHome, *home, *configDirs, *user, *machine;
    } kCases[] = {
        {"/cfg/user", "/home/u", "/cfg/machine:/etc/xdg", "/cfg/user", "/cfg/machine"},
        {"", "/home/u", "", "/home/u/.config", "/etc/xdg"},
        {nullptr, "/home/u", nullptr, "/home/u/.config", "/etc/xdg"},
        {"relative/cfg", "/home/u", "relative:/cfg", "/home/u/.config", "/etc/xdg"},
        {nullptr, nullptr, ":/cfg/machine", "", "/etc/xdg"},
    };
    for (const auto &c : kCases) {
        const CScopedEnv configHome("XDG_CONFIG_HOME", c.configHome), home("HOME", c.home),
            configDirs("XDG_CONFIG_DIRS", c.configDirs);
        EXPECT_EQ(Platform::GetHiveFolder(SettingsHive::CurrentUser), c.user);
        EXPECT_EQ(Platform::GetHiveFolder(SettingsHive::LocalMachine), c.machine);
    }
}

// The value is the file's text as editors save it: a UTF-8 byte order mark before it and line
// breaks after it (Unix, Windows, old Mac, an empty line more) are not part of it; blanks are.
TEST_F(SettingsStore, ValueIsTheFileTextUpToItsFirstNul) {
    const std::string bom = "\xEF\xBB\xBF", english = "English", halfBom = "\xEF\xBB" + english;
    // clang-format off
    const std::pair<std::string, std::string> kCases[] = {
        {english, english}, {english + "\n", english}, {english + "\r\n", english},
        {english + "\r", english}, {english + "\r\n\r\n", english},
        {bom + english + "\r\n", english}, {bom, ""}, {halfBom, halfBom},
        {english + bom, english + bom}, {"Eng\r\nlish\n", "Eng\r\nlish"},
        {" English \t", " English \t"}, {std::string("Eng\0li\n", 7), "Eng"},
        {std::string("English\r\n\0x", 11), english}, {"", ""}, {"\r\n", ""},
        {"\xFC\x01", "\xFC\x01"}};
    // clang-format on
    for (const auto &[bytes, text] : kCases) {
        Write("Language", bytes);
        EXPECT_EQ(m_user.ReadString("Language", "default"), text) << bytes;
    }
}

// The same rules for the registry's bytes: the text ends at the first NUL, and nothing else is
// taken away: a byte order mark or line break a program stored is part of its value.
TEST(SettingsText, RegistryBytesEndAtTheFirstNulOnly) {
    const std::string bomEnglish = "\xEF\xBB\xBF" + std::string("English");
    const std::pair<std::string, std::string> kCases[] = {
        {std::string("English\0", 8), "English"},
        {bomEnglish, bomEnglish},
        {"English\r\n", "English\r\n"},
        {std::string("\x04\x03\0\x01", 4), "\x04\x03"},
        {"", ""}};
    for (auto [bytes, text] : kCases) {
        const std::size_t length =
            TakeSettingText(bytes.data(), bytes.size(), SettingsValueForm::ProgramBytes);
        EXPECT_EQ(bytes.substr(0, length), text) << bytes;
    }
}

// A key is a folder of the hive, a value a regular file in it; anything else answers no and
// reads as the default.
TEST_F(SettingsStore, KeysAndValuesExist) {
    EXPECT_FALSE(m_user.KeyExists());
    EXPECT_EQ(m_user.ReadString("Language", "default"), "default");
    fs::create_directories(m_key.parent_path());
    EXPECT_FALSE(m_user.KeyExists());
    EXPECT_EQ((RegistryLocation{SettingsHive::CurrentUser, "SOFTWARE\\", "Vexo"}.ReadString(
                  "Missing", "default")),
              "default");
    Write("Language", "");
    Write("Folder/Inner", "x");
    ASSERT_EQ(mkfifo((m_key / "Pipe").c_str(), 0600), 0);
    EXPECT_TRUE(m_user.KeyExists());
    EXPECT_TRUE(
        (RegistryLocation{SettingsHive::CurrentUser, "SOFTWARE/", "Vexo/Kalvo"}.KeyExists()));
    EXPECT_FALSE(
        (RegistryLocation{SettingsHive::CurrentUser, "SOFTWARE\\", "Vexo\\..\\Vexo"}.KeyExists()));
    for (const std::string name : {"language", "Folder", "Pipe", "Folder/Inner", "", ".", ".."}) {
        EXPECT_FALSE(m_user.ValueExists(name)) << name;
        EXPECT_EQ(m_user.ReadString(name, "default"), "default") << name;
    }
    EXPECT_FALSE(m_user.ValueExists(std::string("Language\0x", 10)));
    EXPECT_TRUE(m_user.ValueExists("Language"));
    EXPECT_EQ(m_user.ReadString("Language", "default"), "");
}

} // namespace
} // namespace Geo
