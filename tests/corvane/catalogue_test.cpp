// The catalogue on generated folder trees: name filters, time filters, list
// order, probe failures, AVI facts, sizes, progress and cancellation.
// Recordings whose contents matter are made by the real tools (ffmpeg for
// AVI); files whose contents do not matter hold a few bytes that are no
// recording at all.
#include "core/catalogue.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>

#include "core/settings.h"
#include "test_util.h"
#include "tests/tools/krvtool_run.h"

namespace corvane {
namespace {

using test::MakeAvi;
using test::Paths;
using test::TempDir;
using test::WriteFile;

const std::string kNotARecording = "not a recording\n";

ScanResult ScanAll(RecordList& list, const std::string& dir) {
  return ScanRecordFolder(list, dir, kAllRecordTypes, 0, 4102444800, "", 0);
}

TEST(Catalogue, TypeMaskDecidesAndAllZeroTypesAreNeverListed) {
  TempDir dir;
  WriteFile(dir / "20140315083000_1000.krv", kNotARecording);
  WriteFile(dir / "20140315083000_0000.krv", kNotARecording);
  WriteFile(dir / "20140316083000_0100.krv", kNotARecording);
  WriteFile(dir / "20140317083000_0011.KRV", kNotARecording);
  WriteFile(dir / "holiday.krv", kNotARecording);
  WriteFile(dir / "20140318083000_1000.krv.txt", kNotARecording);
  WriteFile(dir / "20140318083000_1000.mp4", kNotARecording);
  WriteFile(dir / "20140318083000_1000krv", kNotARecording);

  RecordList list;
  ScanResult r = ScanAll(list, dir.path());
  EXPECT_EQ(r.filesSeen, 8u);
  EXPECT_EQ(r.filesListed, 3u);
  EXPECT_EQ(Paths(list), (std::vector<std::string>{dir / "20140315083000_1000.krv", dir / "20140316083000_0100.krv",
                                                    dir / "20140317083000_0011.KRV"}));
  EXPECT_EQ(list.row(0).image, 8);
  EXPECT_EQ(list.row(0).text[kColumnDate], "2014-03-15");
  EXPECT_EQ(list.row(0).text[kColumnTime], "08:30:00");
  EXPECT_EQ(list.row(0).text[kColumnChannel], "1,2,3,4");
  EXPECT_EQ(list.row(2).image, 3);

  list.Clear();
  ScanRecordFolder(list, dir.path(), kTypeManual, 0, 4102444800, "", 1);
  EXPECT_EQ(Paths(list), std::vector<std::string>{dir / "20140315083000_1000.krv"});
  list.Clear();
  ScanRecordFolder(list, dir.path(), kTypeMotion | kTypeAlarm, 0, 4102444800, "", 1);
  EXPECT_EQ(Paths(list), std::vector<std::string>{dir / "20140317083000_0011.KRV"});
  list.Clear();
  ScanRecordFolder(list, dir.path(), 0, 0, 4102444800, "", 1);
  EXPECT_TRUE(list.empty());
}

TEST(Catalogue, TimeFiltersKeepAWholeDayAfterToTime) {
  TempDir dir;
  WriteFile(dir / "20140314235959_1000.krv", kNotARecording);
  WriteFile(dir / "20140315000000_1000.krv", kNotARecording);
  WriteFile(dir / "20140315235959_1000.krv", kNotARecording);  // 86399 s after toTime
  WriteFile(dir / "20140316000000_1000.krv", kNotARecording);  // 86400 s after toTime
  const int64_t day = 1394841600;                               // 2014-03-15 00:00:00 UTC
  RecordList list;
  ScanRecordFolder(list, dir.path(), kAllRecordTypes, day, day, "", 1);
  // The first ended (start + 0) before fromTime; the last starts a day after toTime.
  EXPECT_EQ(Paths(list), (std::vector<std::string>{dir / "20140315000000_1000.krv", dir / "20140315235959_1000.krv"}));
  list.Clear();
  ScanRecordFolder(list, dir.path(), kAllRecordTypes, day + 1, day, "", 1);
  EXPECT_EQ(Paths(list), std::vector<std::string>{dir / "20140315235959_1000.krv"});
  list.Clear();
  ScanRecordFolder(list, dir.path(), kAllRecordTypes, INT64_MIN, INT64_MAX, "", 1);
  EXPECT_EQ(list.size(), 4u);
}

TEST(Catalogue, EqualStartsKeepTheOrderTheyWereFound) {
  TempDir dir;
  // Walk order: a/, then b/ (its files by name), then c/.
  WriteFile(dir / "a/20140315083000_1000.krv", kNotARecording);
  WriteFile(dir / "a/20140315090000_1000.krv", kNotARecording);  // later start, found early
  WriteFile(dir / "b/20140315083000_0011_02.avi", kNotARecording);
  WriteFile(dir / "b/20140315083000_0011_01.avi", kNotARecording);
  WriteFile(dir / "b/x/20140315083000_0100.krv", kNotARecording);
  WriteFile(dir / "b/z.krv.d/20140315083000_0001_04.avi", kNotARecording);
  WriteFile(dir / "c/20140315080000_1000.krv", kNotARecording);
  RecordList list;
  ScanAll(list, dir.path().substr(0, dir.path().size() - 1));  // without the trailing '/'
  EXPECT_EQ(Paths(list), (std::vector<std::string>{
                             dir / "c/20140315080000_1000.krv", dir / "a/20140315083000_1000.krv",
                             dir / "b/20140315083000_0011_01.avi", dir / "b/20140315083000_0011_02.avi",
                             dir / "b/x/20140315083000_0100.krv", dir / "b/z.krv.d/20140315083000_0001_04.avi",
                             dir / "a/20140315090000_1000.krv"}));
  // The period of the first AVI row: every row of the same start.
  EXPECT_EQ(list.PeriodGroup(2), (std::vector<std::size_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(list.info(5)->channel, 3);
  EXPECT_EQ(list.IndexOfPath(list.path(4)), 4u);
  EXPECT_EQ(list.IndexOfPath(dir / "a/none.krv"), RecordList::npos);

  // A second scan into the same list puts its rows behind the rows already
  // there with the same start.
  const RecFileInfo* before = list.info(1);
  ScanRecordFolder(list, dir / "a", kAllRecordTypes, 0, 4102444800, "", 1);
  ASSERT_EQ(list.size(), 9u);
  EXPECT_EQ(list.info(1), before);  // rows keep their entries
  EXPECT_EQ(list.path(6), dir / "a/20140315083000_1000.krv");
  EXPECT_EQ(list.path(8), dir / "a/20140315090000_1000.krv");
}

TEST(Catalogue, FilesTheProbeCannotReadAreListedWithoutFacts) {
  TempDir dir;
  WriteFile(dir / "20140315083000_1000.krv", kNotARecording);
  WriteFile(dir / "20140315083001_1000.krv", "");
  WriteFile(dir / "20140315083002_1000_01.avi", kNotARecording);
  WriteFile(dir / "20140315083003_1000_01.avi", "RIFF\xff\xff\xff\xff" "AVI LIST");
  RecordList list;
  ScanAll(list, dir.path());
  ASSERT_EQ(list.size(), 4u);
  for (std::size_t i = 0; i < list.size(); ++i) {
    const RecFileInfo& info = *list.info(i);
    EXPECT_EQ(list.row(i).text[kColumnDuration], "--:--:--");
    EXPECT_EQ(info.duration, 0);
    for (int c = 0; c < 4; ++c) {
      EXPECT_EQ(info.width[c], 0);
      EXPECT_EQ(info.height[c], 0);
      EXPECT_EQ(info.videoBitrate[c], 0);
      EXPECT_EQ(info.frameRate[c], 0);
    }
  }
  EXPECT_EQ(RecordFileSize(list.path(0)), kNotARecording.size());
  EXPECT_EQ(RecordFileSize(list.path(1)), 0u);
  EXPECT_EQ(list.summary.carList, "");
}

TEST(Catalogue, AviProbeGivesDurationAndTheChannelsFacts) {
  TempDir dir;
  const std::string avi = MakeAvi(dir / "20140315083000_0010_02.avi", 3);
  ASSERT_FALSE(avi.empty());
  RecordList list;
  ScanAll(list, dir.path());
  ASSERT_EQ(list.size(), 1u);
  const RecFileInfo& info = *list.info(0);
  EXPECT_EQ(info.duration, 3);
  EXPECT_EQ(list.row(0).text[kColumnDuration], "00:00:03");
  EXPECT_EQ(list.row(0).text[kColumnChannel], "2");
  EXPECT_EQ(info.channel, 1);
  EXPECT_EQ(list.row(0).image, 2);
  // One channel per file: its facts are channel 0's.
  EXPECT_EQ(info.width[0], 352);
  EXPECT_EQ(info.height[0], 288);
  EXPECT_EQ(info.frameRate[0], 25);
  EXPECT_GT(info.videoBitrate[0], 0);
  EXPECT_EQ(std::to_string(info.videoBitrate[0]) + "\n",
            krvtest::RunShell("ffprobe -v error -select_streams v:0 -show_entries stream=bit_rate -of csv=p=0 " +
                              krvtest::Quote(avi))
                .out);
  EXPECT_EQ(info.width[1], 0);
  EXPECT_EQ(RecordFileSize(list.path(0)), std::filesystem::file_size(avi));
}

// Sizes past 4 GB: small recordings with a sparse tail, listed (the probe
// stops at the head of the KRV file), and a KRV file the probe does not open
// (its path is longer than the container takes). The sizes are the file
// system's, as they are when asked for, whatever the scan saw.
TEST(Catalogue, FileSizesKeepAll64Bits) {
  TempDir dir;
  const std::string avi = MakeAvi(dir / "src.avi", 1);
  ASSERT_FALSE(avi.empty());
  const uint64_t size = (5ull << 30) + 7;
  const std::string bigAvi = dir / "rec/20140315083002_1000_01.avi";
  std::filesystem::create_directories(dir / "rec");
  std::filesystem::copy_file(avi, bigAvi);
  ASSERT_EQ(::truncate(bigAvi.c_str(), static_cast<off_t>(size)), 0);
  // The head of a recording (header, one video tag), so that the probe stops
  // there instead of searching the sparse tail for a tag.
  const std::string head("KRV\x01\x91\0\0\0\x09\0\0\0\0"
                         "\0\0\x01\xff\x09\0\0\x02\0\0\0\0\0\0\0\x10\x01\0\0\0\x11",
                         34);
  const std::string big = dir / "rec/20140315083000_1000.krv";
  WriteFile(big, head);
  ASSERT_EQ(::truncate(big.c_str(), static_cast<off_t>(size)), 0);
  std::string deep = dir / "rec";
  while (deep.size() < 1100) deep += "/" + std::string(200, 'd');
  const std::string far = deep + "/20140315083001_1000.krv";
  WriteFile(far, kNotARecording + kNotARecording);
  RecordList list;
  ScanAll(list, dir / "rec");
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list.path(0), big);
  EXPECT_EQ(RecordFileSize(list.path(0)), size);
  EXPECT_EQ(list.path(1), far);
  EXPECT_EQ(RecordFileSize(list.path(1)), 2 * kNotARecording.size());
  EXPECT_EQ(list.path(2), bigAvi);
  EXPECT_EQ(RecordFileSize(list.path(2)), size);
  EXPECT_EQ(list.info(2)->width[0], 352);
  ASSERT_EQ(::truncate(big.c_str(), static_cast<off_t>(size + 1000)), 0);
  EXPECT_EQ(RecordFileSize(list.path(0)), size + 1000);
  ASSERT_EQ(::unlink(far.c_str()), 0);
  EXPECT_EQ(RecordFileSize(list.path(1)), 0u) << "gone";
}

TEST(Catalogue, ScanReportsProgressAndCanBeCancelled) {
  TempDir dir;
  for (int i = 9; i >= 0; --i)
    WriteFile(dir / (std::string("d") + std::to_string(i % 3) + "/2014031508300" + std::to_string(i) + "_1000.krv"),
              kNotARecording);
  WriteFile(dir / "readme.txt", "x");
  RecordList list;
  std::vector<uint64_t> seen;
  ScanControl control;
  control.progress = [&](uint64_t n) {
    seen.push_back(n);
    return true;
  };
  ScanResult r = ScanRecordFolder(list, dir.path(), kAllRecordTypes, 0, 4102444800, "", 0, control);
  EXPECT_FALSE(r.cancelled);
  EXPECT_EQ(r.filesSeen, 11u);
  EXPECT_EQ(seen.size(), 11u);
  EXPECT_EQ(seen.back(), 11u);
  EXPECT_EQ(list.size(), 10u);

  // Cancelled by the callback after four files: those listed, in order.
  list.Clear();
  control.progress = [](uint64_t n) { return n < 4; };
  r = ScanRecordFolder(list, dir.path(), kAllRecordTypes, 0, 4102444800, "", 1, control);
  EXPECT_TRUE(r.cancelled);
  EXPECT_EQ(r.filesSeen, 4u);
  ASSERT_EQ(list.size(), 4u);
  for (std::size_t i = 1; i < list.size(); ++i) EXPECT_LE(list.info(i - 1)->start, list.info(i)->start);

  // Cancelled from outside before it starts.
  list.Clear();
  std::atomic<bool> stop{true};
  ScanControl outside;
  outside.cancel = &stop;
  r = ScanRecordFolder(list, dir.path(), kAllRecordTypes, 0, 4102444800, "", 1, outside);
  EXPECT_TRUE(r.cancelled);
  EXPECT_EQ(r.filesSeen, 0u);
  EXPECT_TRUE(list.empty());
}

TEST(Catalogue, FolderLinkLoopsAndOddEntriesDoNotStopTheScan) {
  TempDir dir;
  WriteFile(dir / "a/20140315083000_1000.krv", kNotARecording);
  std::filesystem::create_directory_symlink(dir / "a", dir / "a/loop");
  std::filesystem::create_symlink(dir / "missing.krv", dir / "a/20140315083001_1000.krv");
  ASSERT_EQ(::mkfifo((dir / "a/20140315083002_1000.krv").c_str(), 0644), 0);
  RecordList list;
  ScanAll(list, dir.path());
  EXPECT_EQ(Paths(list), std::vector<std::string>{dir / "a/20140315083000_1000.krv"});
  list.Clear();
  EXPECT_EQ(ScanAll(list, dir / "missing").filesSeen, 0u);
}

TEST(Catalogue, PathsLongerThan240CharactersAreRefused) {
  TempDir dir;
  test::ScopedAppPaths scope(dir / "app", dir / "cfg");
  WriteFile(dir / "rec/20140315083000_1000.krv", kNotARecording);
  RecordList list;
  ASSERT_EQ(OpenRecordFolder(list, dir / "rec", 1500000000), FolderScanStatus::Ok);
  ASSERT_EQ(list.size(), 1u);
  std::string longPath = "/" + std::string(240, 'x');
  EXPECT_TRUE(RecordFolderPathTooLong(longPath));
  EXPECT_FALSE(RecordFolderPathTooLong(longPath.substr(1)));
  // 240 characters of three bytes each are still 240 characters.
  std::string wide;
  for (int i = 0; i < 240; ++i) wide += "中";
  EXPECT_FALSE(RecordFolderPathTooLong(wide));
  EXPECT_EQ(OpenRecordFolder(list, longPath, 1500000000), FolderScanStatus::PathTooLong);
  EXPECT_TRUE(list.empty());  // cleared before the refusal
  EXPECT_EQ(list.summary.earliestStart, 1500000000);
  EXPECT_EQ(GetSettingString(kSectionBrightmere, kKeyFolderName, ""), dir / "rec");  // not stored
}

// A folder that is gone, a file, a path through a file, a link loop or a
// folder without read permission: said so, and the list and the stored
// folder stay as they were. A cancelled scan does not become the stored folder.
TEST(Catalogue, AFolderThatCannotBeListedKeepsTheListAndTheStoredFolder) {
  TempDir dir;
  ::chmod(dir.path().c_str(), 0777);
  test::ScopedAppPaths scope(dir / "app", dir / "cfg");
  WriteFile(dir / "rec/20140315083000_1000.krv", kNotARecording);
  WriteFile(dir / "file.krv", kNotARecording);
  ASSERT_EQ(::symlink((dir / "loop").c_str(), (dir / "loop").c_str()), 0);
  RecordList list;
  ASSERT_EQ(OpenRecordFolder(list, dir / "rec", 1500000000), FolderScanStatus::Ok);
  ASSERT_EQ(list.size(), 1u);
  const struct {
    std::string path;
    FolderScanStatus status;
    std::string text;
  } cases[] = {
      {dir / "missing", FolderScanStatus::Missing, "The record folder does not exist: " + dir / "missing"},
      {dir / "file.krv", FolderScanStatus::NotAFolder, "The record path is not a folder: " + dir / "file.krv"},
      {dir / "file.krv/sub", FolderScanStatus::NotAFolder, "The record path is not a folder: " + dir / "file.krv/sub"},
      {dir / "loop", FolderScanStatus::Unreadable, "The record folder cannot be read: " + dir / "loop"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    std::string error;
    EXPECT_EQ(CheckRecordFolder(c.path, &error), c.status);
    EXPECT_EQ(FolderStatusText(c.status, c.path, error).rfind(c.text, 0), 0u) << FolderStatusText(c.status, c.path, error);
    EXPECT_EQ(OpenRecordFolder(list, c.path, 1600000000), c.status);
    EXPECT_EQ(Paths(list), std::vector<std::string>{dir / "rec/20140315083000_1000.krv"});
    EXPECT_EQ(list.summary.earliestStart, 1394872200);  // the summary of the last scan
    EXPECT_EQ(GetSettingString(kSectionBrightmere, kKeyFolderName, ""), dir / "rec");
  }
  EXPECT_EQ(FolderStatusText(FolderScanStatus::Ok, "x"), "");

  // No permission to list it.
  WriteFile(dir / "closed/20140316083000_1000.krv", kNotARecording);
  ::chmod((dir / "closed").c_str(), 0);
  test::AsUnprivileged([&] {
    std::string error;
    EXPECT_EQ(CheckRecordFolder(dir / "closed", &error), FolderScanStatus::Unreadable);
    EXPECT_EQ(error, "Permission denied");
    EXPECT_EQ(OpenRecordFolder(list, dir / "closed", 1600000000), FolderScanStatus::Unreadable);
    EXPECT_EQ(list.size(), 1u);
  });
  ::chmod((dir / "closed").c_str(), 0755);

  // A scan cancelled part way lists what it saw and stores nothing.
  std::atomic<bool> stop{true};
  ScanControl cancel;
  cancel.cancel = &stop;
  EXPECT_EQ(OpenRecordFolder(list, dir / "closed", 1600000000, cancel), FolderScanStatus::Cancelled);
  EXPECT_EQ(GetSettingString(kSectionBrightmere, kKeyFolderName, ""), dir / "rec");
  EXPECT_EQ(OpenRecordFolder(list, dir / "closed", 1600000000), FolderScanStatus::Ok);
  EXPECT_EQ(GetSettingString(kSectionBrightmere, kKeyFolderName, ""), dir / "closed");
}

}  // namespace
}  // namespace corvane
