#include "core/language.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "core/ini.h"
#include "core/settings.h"
#include "core/text_codec.h"
#include "test_util.h"

namespace corvane {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

class Language : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(EnsureSettingsFile());
    langDir_ = GetAppPaths().languageDir;
  }
  std::string SettingsLanguage() { return GetSettingString(kSectionSetting, kKeyLanguage, "?"); }

  TempDir dir_;
  test::ScopedAppPaths scope_{dir_.path(), dir_ / "unused"};
  std::string langDir_;
};

TEST(LanguageFiles, BuiltInFilesAreGbkWithCrLfAndTheTextsAsShipped) {
  for (bool chinese : {false, true}) {
    const std::string_view bytes = EmbeddedLanguageFile(chinese);
    ASSERT_FALSE(bytes.empty());
    EXPECT_FALSE(IsValidUtf8(bytes));  // GBK
    for (std::size_t i = 0; i < bytes.size(); ++i)
      if (bytes[i] == '\n') {
        ASSERT_EQ(bytes[i - 1], '\r') << "bare LF at " << i;
      }
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
  }
  IniFile eng(std::string(EmbeddedLanguageFile(false)));
  EXPECT_EQ(eng.Get("Setting", "Language", ""), "English");
  EXPECT_EQ(eng.Get("String", "IDS_TIPS_SeleteDirectory_rec", ""), "Please selete path of video file");
  EXPECT_EQ(eng.Get("String", "IDS_TIPS_SeleteDirectory_pic", ""), "Please selete output directoy of photos");
  EXPECT_EQ(eng.Get("String", "IDS_TIPS_NeedMoreCutPiot", ""), "Need more cut poit");
  EXPECT_EQ(eng.Get("String", "IDD100_1021", ""), "monitor, Version 2.0");
  EXPECT_EQ(GbkToUtf8(eng.Get("String", "IDD102_1020", "")), "语言");
  IniFile ch(std::string(EmbeddedLanguageFile(true)));
  EXPECT_EQ(GbkToUtf8(ch.Get("Setting", "Language", "")), "中文");
  EXPECT_EQ(ch.Get("Setting", "Language", ""), "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(GbkToUtf8(ch.Get("String", "IDD100_1021", "")), "视频分析系统, 版本号 2.0");
  EXPECT_EQ(ch.Get("String", "IDD102_1020", ""), "Language");
}

TEST_F(Language, EmptyFolderGetsTheBuiltInFilesAndEnglish) {
  ASSERT_TRUE(std::filesystem::create_directories(langDir_));
  EXPECT_EQ(SelectLanguage(""), "English");
  EXPECT_EQ(ReadFile(langDir_ + "language_eng.ini"), EmbeddedLanguageFile(false));
  EXPECT_EQ(ReadFile(langDir_ + "language_ch.ini"), EmbeddedLanguageFile(true));
  EXPECT_EQ(GetLanguagePath(), langDir_ + "language_eng.ini");
  EXPECT_EQ(SettingsLanguage(), "English");
  EXPECT_EQ(GetLangString("IDS_TIPS_CLOSE"), "Close");
  EXPECT_EQ(GetLangName(), "English");
  EXPECT_EQ(GetLangDialogTitle(102), "Monitor Client");
  EXPECT_EQ(GetLangDialogText(102, 1020), "语言");
}

TEST_F(Language, ChineseInTheSettingsPicksTheChineseFile) {
  ASSERT_TRUE(WriteDefaultLanguageFiles(langDir_));
  // As a Windows-made settings file holds it (GBK) and as a user edits it today (UTF-8).
  for (const std::string& stored : {std::string("\xD6\xD0\xCE\xC4"), std::string("中文")}) {
    ASSERT_TRUE(SetSettingString(kSectionSetting, kKeyLanguage, stored));
    EXPECT_EQ(SelectLanguage(""), "中文");
    EXPECT_EQ(GetLanguagePath(), langDir_ + "language_ch.ini");
    EXPECT_EQ(GetLangDialogText(102, 1020), "Language");  // the Language button
    EXPECT_EQ(GetLangString("IDS_TIPS_CLOSE"), "关闭");
    EXPECT_EQ(GetLangString("IDS_RecTpyeSearch_All"), "全部");
    EXPECT_EQ(GetLangName(), "中文");
    EXPECT_EQ(SettingsLanguage(), "中文");
  }
  // The Chinese file was used as it stood: nothing rewritten.
  EXPECT_EQ(ReadFile(langDir_ + "language_ch.ini"), EmbeddedLanguageFile(true));
}

TEST_F(Language, AThirdLanguageIsAMenuItemAndLacksTexts) {
  ASSERT_TRUE(WriteDefaultLanguageFiles(langDir_));
  WriteFile(langDir_ + "language_de.ini",
            "[Setting]\nLanguage=Deutsch\n[String]\nIDS_TIPS_CLOSE=Schlie\xC3\x9F" "en\n"
            "IDS_TIPS_PathFileExists=Datei fehlt\\nbitte pr\xC3\xBC" "fen\nIDD102_Title=\n");
  WriteFile(langDir_ + "notes.txt", "[Setting]\nLanguage=Notes\n");
  WriteFile(langDir_ + "zz_unnamed.INI", "[String]\nIDS_TIPS_CLOSE=x\n");
  SelectLanguage("");

  std::vector<LanguageMenuItem> menu = BuildLanguageMenu();
  ASSERT_EQ(menu.size(), 3u);
  EXPECT_EQ(menu[0].name, "中文");  // language_ch.ini
  EXPECT_EQ(menu[1].name, "Deutsch");
  EXPECT_EQ(menu[2].name, "English");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(menu[i].commandId, 0x1000000 + i);
  EXPECT_FALSE(menu[0].checked);
  EXPECT_FALSE(menu[1].checked);
  EXPECT_TRUE(menu[2].checked);
  EXPECT_TRUE(IsLanguageCommand(0x1000000 + 99));
  EXPECT_FALSE(IsLanguageCommand(0x1000000 + 100));

  EXPECT_FALSE(ChooseLanguageCommand(menu, 0x1000000 + 3));
  ASSERT_TRUE(ChooseLanguageCommand(menu, 0x1000001));
  EXPECT_TRUE(menu[1].checked);
  EXPECT_FALSE(menu[2].checked);
  EXPECT_EQ(SettingsLanguage(), "Deutsch");
  EXPECT_EQ(GetLanguagePath(), langDir_ + "language_de.ini");
  EXPECT_EQ(GetLangString("IDS_TIPS_CLOSE"), "Schließen");  // a UTF-8 file is read as UTF-8
  EXPECT_EQ(GetLangString("IDS_TIPS_BUTTONPLAY"), "Not found");
  EXPECT_EQ(GetLangDialogText(211, 1031), "");  // the control keeps its own text
  EXPECT_EQ(GetLangDialogTitle(102), "");       // present but empty: kept as well
  EXPECT_EQ(GetLangString("IDS_TIPS_PathFileExists"), "Datei fehlt\nbitte prüfen");
  EXPECT_TRUE(BuildLanguageMenu()[1].checked);
}

TEST_F(Language, BackslashNBecomesALineBreakAfterDecodingAndLongTextsAreCutInCharacters) {
  // 0x81 0x5C is one GBK character whose second byte is a backslash; the
  // following "n" must stay a letter.
  WriteFile(langDir_ + "x.ini", "[Setting]\r\nLanguage=X\\nY\r\n[String]\r\nA=one\\ntwo\\\\n\r\nB=\x81\x5Cn\r\n");
  EXPECT_EQ(SelectLanguage("X\\nY"), "X\\nY");
  EXPECT_EQ(GetLangString("A"), "one\ntwo\\\n");
  EXPECT_EQ(GetLangString("B"), "乗n");
  EXPECT_EQ(GetLangName(), "X\nY");

  // A long text is cut to the buffer in characters.
  std::string value;
  for (int i = 0; i < 600; ++i) value += "\xD6\xD0";  // 600 GBK characters
  WriteFile(langDir_ + "long.ini", "[Setting]\r\nLanguage=Long\r\n[String]\r\nK=" + value + value + "\r\n");
  SelectLanguage("Long");
  EXPECT_EQ(GetLangString("K").size(), 999u * 3);  // 999 characters of three UTF-8 bytes
}

TEST_F(Language, UnmatchedNameRestoresTheBuiltInFilesAndEnglish) {
  WriteFile(langDir_ + "language_eng.ini", "[Setting]\r\nLanguage=Changed\r\n");
  WriteFile(langDir_ + "stray.ini", "[Other]\r\nx=1\r\n");  // no display name
  ASSERT_TRUE(SetSettingString(kSectionSetting, kKeyLanguage, "Klingon"));
  EXPECT_EQ(SelectLanguage(""), "English");
  EXPECT_EQ(ReadFile(langDir_ + "language_eng.ini"), EmbeddedLanguageFile(false));
  EXPECT_EQ(SettingsLanguage(), "English");
  EXPECT_EQ(GetLangString("IDS_LIST_DATA"), "Data");

  // An empty name in the settings does not pick the file without a name.
  ASSERT_TRUE(SetSettingString(kSectionSetting, kKeyLanguage, ""));
  EXPECT_EQ(SelectLanguage(""), "English");
  EXPECT_EQ(GetLanguagePath(), langDir_ + "language_eng.ini");
  EXPECT_EQ(SettingsLanguage(), "English");
}

// A language file that cannot be read: one line on stderr, the built-in
// English texts serve, and the file is not replaced by the built-in one.
TEST_F(Language, AnUnreadableFileGivesTheBuiltInTextsAndIsLeftAsItIs) {
  ASSERT_TRUE(std::filesystem::create_directories(langDir_ + "language_eng.ini"));  // unreadable even for root
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(SelectLanguage(""), "English");
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("cannot read the language file " + langDir_ +
                                                          "language_eng.ini (Is a directory)"),
            std::string::npos);
  EXPECT_EQ(GetLangString("IDS_TIPS_CLOSE"), "Close");
  EXPECT_EQ(GetLangDialogTitle(102), "Monitor Client");
  EXPECT_TRUE(std::filesystem::is_directory(langDir_ + "language_eng.ini"));
  std::filesystem::remove(langDir_ + "language_eng.ini");

  // A file without read permission, with texts of its own.
  const std::string own = "[Setting]\r\nLanguage=English\r\n[String]\r\nIDS_TIPS_CLOSE=Shut\r\n";
  WriteFile(langDir_ + "language_eng.ini", own);
  ::chmod(langDir_.c_str(), 0777);
  ::chmod(dir_.path().c_str(), 0777);
  ::chmod((langDir_ + "language_eng.ini").c_str(), 0200);
  test::AsUnprivileged([&] {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(SelectLanguage(""), "English");
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("(Permission denied)"), std::string::npos);
    EXPECT_EQ(GetLangString("IDS_TIPS_CLOSE"), "Close");
  });
  EXPECT_EQ(ReadFile(langDir_ + "language_eng.ini"), own);
}

}  // namespace
}  // namespace corvane
