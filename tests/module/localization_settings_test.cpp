// The settings store and RegistryLocation on a settings tree the test writes itself.
#include "module/registry_location.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"
#include "support/test_data.h"

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
    for (const auto &c : VexoGeoTest::TestTable("module/hive_folders.tsv", 5)) {
        const auto value = [&](std::size_t i) { return c[i] != "-" ? c[i].c_str() : nullptr; };
        const CScopedEnv configHome("XDG_CONFIG_HOME", value(0)), home("HOME", value(1)),
            configDirs("XDG_CONFIG_DIRS", value(2));
        EXPECT_EQ(Platform::GetHiveFolder(SettingsHive::CurrentUser), c[3]) << c.m_trace;
        EXPECT_EQ(Platform::GetHiveFolder(SettingsHive::LocalMachine), c[4]) << c.m_trace;
    }
}

TEST_F(SettingsStore, ValueIsTheFileTextUpToItsFirstNul) {
    for (const auto &c : VexoGeoTest::TestTable("module/setting_files.tsv", 2)) {
        Write("Language", c[0]);
        EXPECT_EQ(m_user.ReadString("Language", "default"), c[1]) << c.m_trace;
    }
}

TEST(SettingsText, RegistryBytesEndAtTheFirstNulOnly) {
    for (auto c : VexoGeoTest::TestTable("module/registry_bytes.tsv", 2)) {
        const std::size_t length =
            TakeSettingText(c.m_fields[0].data(), c[0].size(), SettingsValueForm::ProgramBytes);
        EXPECT_EQ(c[0].substr(0, length), c[1]) << c.m_trace;
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
