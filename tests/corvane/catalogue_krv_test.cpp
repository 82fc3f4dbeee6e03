// The catalogue on real KRV recordings written by `krvtool synth`, and
// `krvtool list` itself: durations, car numbers, per-channel facts, the car
// filter and the car list, and the printed list.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/catalogue.h"
#include "test_util.h"
#include "tests/tools/krvtool_run.h"

namespace corvane {
namespace {

using krvtest::Krvtool;
using test::MakeAvi;
using test::Paths;
using test::TempDir;

// A small real recording: H.264 channels of 176x144 at 10 fps, no sound.
bool Synth(const std::string& path, int seconds, int channels, const std::string& bus) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  return Krvtool({"synth", path, "--seconds", std::to_string(seconds), "--size", "176x144", "--fps", "10", "--gop",
                  "10", "--audio", "none", "--channels", std::to_string(channels), "--bus", bus})
             .code == 0;
}

class KrvCatalogue : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    ok_ = Synth(*dir_ / "rec/d1/20140315083000_1000.krv", 3, 2, "A123") &&
          Synth(*dir_ / "rec/d1/20140315090000_0100.krv", 2, 1, "A12") &&
          Synth(*dir_ / "rec/d2/20140316083000_0010.krv", 1, 4, "B7") &&
          Synth(*dir_ / "rec/d2/20140316090000_0001.krv", 1, 1, "");
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(ok_) << "krvtool synth failed"; }
  static std::string Rec(const std::string& name) { return *dir_ / ("rec/" + name); }

  static TempDir* dir_;
  static bool ok_;
};
TempDir* KrvCatalogue::dir_ = nullptr;
bool KrvCatalogue::ok_ = false;

TEST_F(KrvCatalogue, ProbeGivesPerChannelFactsAndTheCarListTakesANumberNotInsideItAlready) {
  RecordList list;
  list.summary.Reset(1500000000);
  ScanRecordFolder(list, Rec(""), kAllRecordTypes, 0, 1500000000, "", 0);
  ASSERT_EQ(list.size(), 4u);
  const RecFileInfo& first = *list.info(0);
  EXPECT_EQ(list.path(0), Rec("d1/20140315083000_1000.krv"));
  EXPECT_EQ(first.duration, 3);
  EXPECT_EQ(list.row(0).text[kColumnDuration], "00:00:03");
  EXPECT_EQ(first.channel, -1);
  for (int c = 0; c < 2; ++c) {
    EXPECT_EQ(first.width[c], 176);
    EXPECT_EQ(first.height[c], 144);
    EXPECT_EQ(first.frameRate[c], 10);
    EXPECT_GT(first.videoBitrate[c], 0);
  }
  // Channels the recording declares without pictures.
  EXPECT_EQ(first.width[2], 0);
  EXPECT_EQ(first.height[3], 0);
  EXPECT_EQ(first.videoBitrate[3], 0);
  EXPECT_EQ(list.info(2)->width[3], 176);

  // The summary: types, time span and the car list.
  EXPECT_EQ(list.summary.typesSeen, 0x01010101u);
  EXPECT_EQ(list.summary.earliestStart, 1394872200);
  EXPECT_EQ(list.summary.latestEnd, 1394960400 + list.info(3)->duration);
  // The car list: A123 first, then A12 (inside " A123": not added), then B7;
  // the file without a number adds nothing.
  EXPECT_EQ(list.summary.carList, " A123 B7");
  EXPECT_EQ(list.summary.carNumbers, (std::vector<std::string>{"A123", "B7"}));
}

TEST_F(KrvCatalogue, CarFilterIsAnExactMatchAndFromTimeCountsTheDuration) {
  RecordList list;
  ScanRecordFolder(list, Rec(""), kAllRecordTypes, 0, 1500000000, "A12", 1);
  EXPECT_EQ(Paths(list), std::vector<std::string>{Rec("d1/20140315090000_0100.krv")});
  list.Clear();
  ScanRecordFolder(list, Rec(""), kAllRecordTypes, 0, 1500000000, "a123", 1);
  EXPECT_TRUE(list.empty());
  // Search mode leaves the summary alone.
  EXPECT_EQ(list.summary.carList, "");
  // 2014-03-15 08:30:00 + 3 s ends at 08:30:03.
  list.Clear();
  ScanRecordFolder(list, Rec("d1"), kAllRecordTypes, 1394872203, 1500000000, "", 1);
  EXPECT_EQ(list.size(), 2u);
  list.Clear();
  ScanRecordFolder(list, Rec("d1"), kAllRecordTypes, 1394872204, 1500000000, "", 1);
  EXPECT_EQ(Paths(list), std::vector<std::string>{Rec("d1/20140315090000_0100.krv")});
}

TEST_F(KrvCatalogue, KrvtoolListPrintsTheRowsAndTheSummary) {
  const std::string expected =
      "2014-03-15\t08:30:00\t00:00:03\t1,2,3,4\t8\t" + Rec("d1/20140315083000_1000.krv") + "\n" +
      "2014-03-15\t09:00:00\t00:00:02\t1,2,3,4\t4\t" + Rec("d1/20140315090000_0100.krv") + "\n" +
      "2014-03-16\t08:30:00\t00:00:01\t1,2,3,4\t2\t" + Rec("d2/20140316083000_0010.krv") + "\n" +
      "2014-03-16\t09:00:00\t00:00:01\t1,2,3,4\t1\t" + Rec("d2/20140316090000_0001.krv") + "\n" +
      "summary\t01010101\t1394872200\t1394960401\t A123 B7\n";
  EXPECT_EQ(Krvtool({"list", Rec(""), "--to", "1500000000", "--summary"}).out, expected);

  EXPECT_EQ(Krvtool({"list", Rec(""), "--to", "1500000000", "--types", "0000FF00", "--car", "B7"}).out,
            "2014-03-16\t08:30:00\t00:00:01\t1,2,3,4\t2\t" + Rec("d2/20140316083000_0010.krv") + "\n");
  // Every file starts a day or more after --to: nothing is listed.
  EXPECT_EQ(Krvtool({"list", Rec(""), "--to", "1394700000"}).out, "");
  EXPECT_NE(Krvtool({"list", Rec("nothing")}).code, 0);
  EXPECT_NE(Krvtool({"list", Rec(""), "--types", "XYZ"}).code, 0);
}

// krvtool loads the AVI probe only when it meets an AVI file: the row still
// carries the file's duration, and the KRV rows are as before.
TEST_F(KrvCatalogue, KrvtoolListProbesAviFilesToo) {
  TempDir dir;
  ASSERT_FALSE(MakeAvi(dir / "d/20140315083000_0010_02.avi", 3).empty());
  const std::string krv = Rec("d1/20140315090000_0100.krv");
  std::filesystem::copy_file(krv, dir / "d/20140315090000_0100.krv");
  krvtest::RunResult r = Krvtool({"list", dir.path(), "--to", "1500000000"});
  EXPECT_EQ(r.out + r.err,
            "2014-03-15\t08:30:00\t00:00:03\t2\t2\t" + (dir / "d/20140315083000_0010_02.avi") + "\n" +
            "2014-03-15\t09:00:00\t00:00:02\t1,2,3,4\t4\t" + (dir / "d/20140315090000_0100.krv") + "\n");
}

}  // namespace
}  // namespace corvane
