// krvtool play: the report of a whole headless playback, its options and
// exit codes.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "synth/synth.h"
#include "tests/tools/krvtool_run.h"

namespace {

namespace fs = std::filesystem;
using krvtest::Krvtool;
using krvtest::Quote;
using krvtest::RunResult;

class KrvtoolPlay : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new fs::path(fs::temp_directory_path() / ("corvane-play-" + std::to_string(::getpid())));
    fs::create_directories(*dir_);
    krvsynth::SynthOptions o;
    o.seconds = 2;
    o.width = 176;
    o.height = 144;
    o.startTime = 1700000000;
    std::string error;
    ASSERT_TRUE(krvsynth::WriteKrv(o, Krv(), &error)) << error;
    o.seconds = 4;
    ASSERT_TRUE(krvsynth::WriteKrv(o, Long(), &error)) << error;
    o.seconds = 2;
    o.channels = 2;
    for (int c = 0; c < 2; ++c) ASSERT_TRUE(krvsynth::WriteAviChannel(o, c, Avi(c), &error)) << error;
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    fs::remove_all(*dir_, ec);
    delete dir_;
  }
  static std::string Krv() { return (*dir_ / "20231114221320_1000.krv").string(); }
  static std::string Long() { return (*dir_ / "20231114221400_1000.krv").string(); }
  static std::string Avi(int c) { return (*dir_ / ("20231114221320_1000_0" + std::to_string(c + 1) + ".avi")).string(); }

  static int64_t Field(const std::string& json, const std::string& key) {
    std::smatch m;
    std::regex re("\"" + key + "\": (-?[0-9]+)");
    if (!std::regex_search(json, m, re)) return -999;
    return std::stoll(m[1]);
  }
  static int Occurrences(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

  static fs::path* dir_;
};

fs::path* KrvtoolPlay::dir_ = nullptr;

TEST_F(KrvtoolPlay, ReportsEveryPictureThePlayTimeAndTheRecords) {
  RunResult r = Krvtool({"play", Krv(), "--speed", "32", "--report"});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string& j = r.out;
  EXPECT_EQ(Occurrences(j, "\"pictures\": 50,"), 4) << j;
  EXPECT_EQ(Occurrences(j, "\"out_of_order\": 0}"), 4) << j;
  EXPECT_NE(j.find("\"play_time\": [[0, -1], [2, 0], [2, 1], [2, -3]]"), std::string::npos) << j;
  EXPECT_NE(j.find("\"ended\": true"), std::string::npos);
  EXPECT_EQ(Field(j, "gps"), 2);
  EXPECT_EQ(Field(j, "gsensor"), 20);
  EXPECT_EQ(Field(j, "other_sensors"), 2);
  EXPECT_EQ(Field(j, "seek"), 0);
  EXPECT_EQ(Field(j, "clear"), 0);
  EXPECT_EQ(Field(j, "video_skipped"), 0);
  EXPECT_GT(Field(j, "audio_passed"), 0);
  EXPECT_GT(Field(j, "intervals"), 0);
  EXPECT_NE(j.find("\"pacing\": {"), std::string::npos);
  EXPECT_NE(j.find("\"wall_ms\": "), std::string::npos);
  EXPECT_NE(j.find("\"cpu_ms\": "), std::string::npos);
  EXPECT_EQ(j.back(), '\n');
  EXPECT_EQ(Occurrences(j, "\n"), 1);
}

TEST_F(KrvtoolPlay, SecondPlayAndSpeed256PassKeyFramesOnly) {
  RunResult r = Krvtool({"play", Krv(), "--second-play", "--report"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Field(r.out, "video_passed"), 8);  // four channels, key frames at 0 and 1 s
  EXPECT_EQ(Field(r.out, "audio_passed"), 0);
  EXPECT_EQ(Field(r.out, "gps"), 0);
  RunResult f = Krvtool({"play", Krv(), "--speed", "256", "--report"});
  ASSERT_EQ(f.code, 0) << f.err;
  EXPECT_EQ(Field(f.out, "video_passed"), 8);
  EXPECT_EQ(Occurrences(f.out, "\"pictures\": 2,"), 4) << f.out;
  EXPECT_EQ(Field(f.out, "audio_passed"), 0);
}

TEST_F(KrvtoolPlay, SeekSnapshotAndUntil) {
  const fs::path home = *dir_ / "home";
  fs::create_directories(home);
  RunResult r = krvtest::RunShell("HOME=" + Quote(home.string()) + " " + Quote(krvtest::KrvtoolPath()) + " play " +
                                  Quote(Long()) + " --speed 32 --seek 2 --snapshot 0@2 --until 3 --report");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Field(r.out, "seeks"), 1);
  EXPECT_EQ(Field(r.out, "seek"), 1);   // "Seek" to the map
  EXPECT_EQ(Field(r.out, "clear"), 1);  // "Clear" to the charts
  EXPECT_NE(r.out.find("\"ended\": false"), std::string::npos) << r.out;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(r.out, m, std::regex("\"snapshots\": \\[\"([^\"]+)\"\\]"))) << r.out;
  const std::string shot = m[1];
  EXPECT_EQ(shot.rfind((home / "KRSnap" / "1").string() + "/", 0), 0u) << shot;
  EXPECT_TRUE(fs::exists(shot));
}

TEST_F(KrvtoolPlay, PauseAndResume) {
  RunResult r = Krvtool({"play", Krv(), "--speed", "32", "--pause-at", "1", "--resume-after", "300", "--report"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Occurrences(r.out, "\"pictures\": 50,"), 4) << r.out;
  EXPECT_NE(r.out.find("\"ended\": true"), std::string::npos);
}

TEST_F(KrvtoolPlay, TheAviFilesOfOnePeriod) {
  RunResult r = Krvtool({"play", Avi(1), Avi(0), "--speed", "32", "--report"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Occurrences(r.out, "\"pictures\": 50,"), 2) << r.out;
  EXPECT_EQ(Occurrences(r.out, "\"pictures\": 0,"), 2) << r.out;
  EXPECT_NE(r.out.find("\"kind\": \"avi\""), std::string::npos);
}

TEST_F(KrvtoolPlay, UsageAndFileErrors) {
  EXPECT_EQ(Krvtool({"play"}).code, 2);
  EXPECT_EQ(Krvtool({"play", Krv(), "--speed", "3"}).code, 2);
  EXPECT_EQ(Krvtool({"play", Krv(), "--speed"}).code, 2);
  EXPECT_EQ(Krvtool({"play", Krv(), "--pause-at", "1"}).code, 2);
  EXPECT_EQ(Krvtool({"play", Krv(), "--snapshot", "5@1"}).code, 2);
  EXPECT_EQ(Krvtool({"play", Krv(), Avi(0)}).code, 2);
  EXPECT_EQ(Krvtool({"play", Krv(), "--bogus"}).code, 2);
  RunResult missing = Krvtool({"play", (*dir_ / "nothing.krv").string()});
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find("cannot open"), std::string::npos);
  RunResult help = Krvtool({"play", "--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("usage: krvtool play"), std::string::npos);
}

}  // namespace
