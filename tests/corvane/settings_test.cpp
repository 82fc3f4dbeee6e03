#include "core/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "test_util.h"

namespace corvane {
namespace {

using test::ReadFile;
using test::TempDir;

TEST(Settings, DataFolderIsTheExecutablesWhenWritableElseTheConfigFolder) {
  TempDir dir;
  AppPaths p = ComputeAppPaths(dir.path(), "/home/u/.config");
  EXPECT_EQ(p.appDir, dir.path());
  EXPECT_EQ(p.settingsPath, dir / "setting.ini");
  EXPECT_EQ(p.languageDir, dir / "Language/");

  p = ComputeAppPaths(dir / "missing", "/home/u/.config");
  EXPECT_EQ(p.appDir, dir / "missing/");
  EXPECT_EQ(p.settingsPath, "/home/u/.config/corvane/setting.ini");
  EXPECT_EQ(p.languageDir, "/home/u/.config/corvane/Language/");

  if (::geteuid() != 0) {  // root writes anywhere
    const std::string ro = dir / "ro";
    ASSERT_EQ(::mkdir(ro.c_str(), 0555), 0);
    EXPECT_EQ(ComputeAppPaths(ro, "/cfg").settingsPath, "/cfg/corvane/setting.ini");
  }
  EXPECT_EQ(ComputeAppPaths("", "").settingsPath, "");
}

TEST(Settings, ConfigHomeFollowsXdgThenHome) {
  const char* savedXdg = std::getenv("XDG_CONFIG_HOME");
  const char* savedHome = std::getenv("HOME");
  std::string xdg = savedXdg ? savedXdg : "", home = savedHome ? savedHome : "";
  ::setenv("XDG_CONFIG_HOME", "/x/cfg", 1);
  EXPECT_EQ(DefaultConfigHome(), "/x/cfg");
  ::setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
  ::setenv("HOME", "/h/me", 1);
  EXPECT_EQ(DefaultConfigHome(), "/h/me/.config");
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(DefaultConfigHome(), "/h/me/.config");
  if (savedXdg) ::setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
  if (savedHome) ::setenv("HOME", home.c_str(), 1);
  else ::unsetenv("HOME");
}

TEST(Settings, BeforeThePathsAreSetNothingIsWritten) {
  TempDir dir;
  const AppPaths saved = GetAppPaths();
  SetAppPaths(AppPaths{});
  const std::string cwd = std::filesystem::current_path().string();
  std::filesystem::current_path(dir.path());
  EXPECT_FALSE(EnsureSettingsFile());
  EXPECT_FALSE(SetSettingString(kSectionSetting, kKeyLanguage, "x"));
  EXPECT_EQ(GetSettingString(kSectionSetting, kKeyLanguage, "English"), "English");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  std::filesystem::current_path(cwd);
  SetAppPaths(saved);
}

TEST(Settings, AMissingFileIsMadeFromTheDefaultAndWritesFromTwoThreadsLoseNothing) {
  TempDir dir;
  test::ScopedAppPaths scope(dir / "app", dir / "cfg");  // no app folder: the config one, made here
  ASSERT_TRUE(EnsureSettingsFile());
  EXPECT_EQ(ReadFile(dir / "cfg/corvane/setting.ini"), "[Setting]\r\nLanguage=English\r\n");
  auto writer = [](const char* key) {
    for (int i = 0; i <= 40; ++i) SetSettingInt(kSectionWaveConfig, key, i);
  };
  std::thread a(writer, kKeySpeed), b(writer, kKeyTemperature);
  for (int i = 0; i < 40; ++i) GetSettingInt(kSectionWaveConfig, kKeySpeed, 0);
  a.join();
  b.join();
  EXPECT_EQ(GetSettingInt(kSectionWaveConfig, kKeySpeed, 0), 40);
  EXPECT_EQ(GetSettingInt(kSectionWaveConfig, kKeyTemperature, 0), 40);
  EXPECT_EQ(GetSettingString(kSectionSetting, kKeyLanguage, ""), "English");
  // An existing file is never replaced by the default.
  ASSERT_TRUE(EnsureSettingsFile());
  EXPECT_EQ(GetSettingInt(kSectionWaveConfig, kKeySpeed, 0), 40);
}

// A settings file that is there but cannot be read: one line on stderr,
// every read gives its default, and nothing replaces the file.
TEST(Settings, AnUnreadableFileGivesTheDefaultsAndIsLeftAsItIs) {
  TempDir dir;
  ::chmod(dir.path().c_str(), 0777);
  test::ScopedAppPaths scope(dir.path(), dir / "cfg");
  // A folder where the file should be (unreadable even for root).
  ASSERT_TRUE(std::filesystem::create_directory(dir / "setting.ini"));
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(EnsureSettingsFile());
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(said, "corvane: cannot read " + dir / "setting.ini" +
                      " (Is a directory): the defaults are used and the file is left as it is\n");
  EXPECT_EQ(GetSettingInt(kSectionScreenConfig, kKeyScreenNum, 4), 4);
  EXPECT_FALSE(SetSettingInt(kSectionScreenConfig, kKeyScreenNum, 1));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "setting.ini"));
  std::filesystem::remove(dir / "setting.ini");

  // A file without read permission.
  const std::string held = "[Setting]\r\nLanguage=Chinese\r\n[ScreenConfig]\r\nScreenNum=1\r\n";
  test::WriteFile(dir / "setting.ini", held);
  ::chmod((dir / "setting.ini").c_str(), 0200);
  test::AsUnprivileged([&] {
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(EnsureSettingsFile());
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("(Permission denied)"), std::string::npos);
    EXPECT_EQ(GetSettingString(kSectionSetting, kKeyLanguage, "English"), "English");
    EXPECT_EQ(GetSettingInt(kSectionScreenConfig, kKeyScreenNum, 4), 4);
    EXPECT_FALSE(SetSettingInt(kSectionScreenConfig, kKeyScreenNum, 9));
  });
  EXPECT_EQ(ReadFile(dir / "setting.ini"), held);
}

}  // namespace
}  // namespace corvane
