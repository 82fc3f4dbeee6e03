#include "core/ini.h"

#include <gtest/gtest.h>

#include "test_util.h"

namespace corvane {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const std::string kSample =
    "; recorder settings\r\n"
    "[Setting]\r\n"
    "Language = English  \r\n"
    "\r\n"
    "[brightmere]\r\n"
    "  folderName=/rec/a\r\n"
    "FolderName=/rec/second\r\n"
    "AudioChannel=\t-3\r\n"
    "Empty=\r\n"
    "NotANumber=x12\r\n"
    "\r\n"
    "[Setting]\r\n"
    "Language=Later\r\n"
    "Extra=1\r\n";

TEST(Ini, LookupIgnoresCaseTrimsSpacesAndTakesTheFirstMatch) {
  IniFile ini(kSample);
  EXPECT_EQ(ini.Get("setting", "LANGUAGE", "x"), "English");
  EXPECT_EQ(ini.Get(" Brightmere ", "FolderName", "x"), "/rec/a");
  // A later section of the same name is not merged into the first.
  EXPECT_EQ(ini.Get("Setting", "Extra", "none"), "none");
  EXPECT_EQ(ini.Get("Brightmere", "Empty", "def"), "");
  EXPECT_EQ(ini.Get("Brightmere", "Absent", "def"), "def");
  EXPECT_EQ(ini.Get("Absent", "FolderName", "def"), "def");
  // A comment line is no key.
  EXPECT_EQ(ini.Get("Setting", "; recorder settings", "def"), "def");
}

TEST(Ini, ReadsAreCutToTheBufferAndIntegersParseLikeThePlatform) {
  IniFile ini(kSample);
  EXPECT_EQ(ini.Get("Brightmere", "FolderName", "", 4), "/re");
  EXPECT_EQ(ini.Get("Brightmere", "Absent", "default", 4), "def");
  EXPECT_EQ(ini.Get("Brightmere", "FolderName", "", 1), "");
  EXPECT_EQ(ini.GetInt("Brightmere", "AudioChannel", 7), -3);
  EXPECT_EQ(ini.GetInt("Brightmere", "Empty", 7), 7);
  EXPECT_EQ(ini.GetInt("Brightmere", "NotANumber", 7), 0);
  EXPECT_EQ(ini.GetInt("Brightmere", "Absent", 7), 7);
  EXPECT_EQ(IniFile("[a]\nb=99999999999\nc=-99999999999\n").GetInt("a", "b", 0), 2147483647);
  EXPECT_EQ(IniFile("[a]\nb=99999999999\nc=-99999999999\n").GetInt("a", "c", 0), -2147483647 - 1);
}

TEST(Ini, WriteKeepsEveryOtherLineCommentAndLineEnd) {
  TempDir dir;
  const std::string path = dir / "setting.ini";
  WriteFile(path, kSample);
  ASSERT_TRUE(IniWriteString(path, "BRIGHTMERE", "foldername", "/new"));
  std::string expected = kSample;
  expected.replace(expected.find("  folderName=/rec/a"), 19, "folderName=/new");
  EXPECT_EQ(ReadFile(path), expected);

  // A new key goes after the last entry of the first matching section.
  ASSERT_TRUE(IniWriteInt(path, "Setting", "ScreenNum", 1));
  expected.insert(expected.find("Language = English  \r\n") + 22, "ScreenNum=1\r\n");
  EXPECT_EQ(ReadFile(path), expected);

  // A new section goes at the end.
  ASSERT_TRUE(IniWriteString(path, "WaveConfig", "Speed", "1"));
  expected += "[WaveConfig]\r\nSpeed=1\r\n";
  EXPECT_EQ(ReadFile(path), expected);
  EXPECT_EQ(IniReadInt(path, "waveconfig", "speed", 0), 1);
}

TEST(Ini, FilesAreBytesAndOddFilesStayReadable) {
  TempDir dir;
  const std::string path = dir / "lang.ini";
  // GBK bytes, LF line ends, no line end at the end, a UTF-8 byte-order mark.
  WriteFile(path, "\xEF\xBB\xBF[Setting]\nLanguage=\xD6\xD0\xCE\xC4");
  EXPECT_EQ(IniReadString(path, "Setting", "Language", ""), "\xD6\xD0\xCE\xC4");
  ASSERT_TRUE(IniWriteString(path, "Setting", "Other", "\xB9\xD8"));
  EXPECT_EQ(ReadFile(path), "\xEF\xBB\xBF[Setting]\nLanguage=\xD6\xD0\xCE\xC4\nOther=\xB9\xD8\n");

  // A missing file is created with CR LF line ends.
  ASSERT_TRUE(IniWriteString(dir / "new.ini", "S", "K", "V"));
  EXPECT_EQ(ReadFile(dir / "new.ini"), "[S]\r\nK=V\r\n");
  // No file: every read yields its default.
  EXPECT_EQ(IniReadString(dir / "absent.ini", "S", "K", "d"), "d");
  EXPECT_EQ(IniReadInt(dir / "absent.ini", "S", "K", 5), 5);
}

TEST(Ini, WritesThatWouldForgeLinesAreRefused) {
  TempDir dir;
  const std::string path = dir / "setting.ini";
  WriteFile(path, "[Setting]\r\nLanguage=English\r\n");
  // A folder name may hold a line break on this platform; written as it is it
  // would add a key of its own.
  EXPECT_FALSE(IniWriteString(path, "Brightmere", "FolderName", "/a\nLanguage=Evil"));
  EXPECT_FALSE(IniWriteString(path, "Brightmere", "Folder=Name", "x"));
  EXPECT_FALSE(IniWriteString(path, "Bright]mere", "FolderName", "x"));
  EXPECT_FALSE(IniWriteString(path, "", "FolderName", "x"));
  EXPECT_EQ(ReadFile(path), "[Setting]\r\nLanguage=English\r\n");
}

TEST(Ini, AWriteAfterALastLineEndingInABareCrKeepsThatLine) {
  IniFile ini(std::string_view("[S]\nk=v\n[T\r"));
  ASSERT_TRUE(ini.Set("T", "x", "1"));
  IniFile again(ini.Bytes());
  EXPECT_EQ(again.Bytes(), ini.Bytes());
  std::string value;
  EXPECT_TRUE(again.Find("T", "x", &value));
  EXPECT_EQ(value, "1");
  // The odd line stays as it was: not a header "[T]" of its own.
  EXPECT_EQ(ini.Bytes(), "[S]\nk=v\n[T\r\r\n[T]\nx=1\n");
}

}  // namespace
}  // namespace corvane
