// krvtool live against the test server, and the recordings of the live
// library read by krvtool probe, dump, list and play.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "krvtool_run.h"
#include "live/live_rtp.h"
#include "media/ac_sync.h"
#include "rtsp_peer.h"

using krvtest::Krvtool;
using livetest::RtspPeer;

namespace {

double NumberAfter(const std::string& json, const std::string& key) {
  const std::regex re("\"" + key + "\": ?(-?[0-9.]+)");
  std::smatch m;
  if (!std::regex_search(json, m, re)) return -1;
  return std::stod(m[1].str());
}

class KrvtoolLive : public krvtest::TempPaths {
 protected:
  void SetUp() override { ASSERT_TRUE(peer_.Start()); }
  void TearDown() override {
    peer_.Kill();
    krvtest::TempPaths::TearDown();
  }
  RtspPeer peer_;
};

}  // namespace

TEST_F(KrvtoolLive, RecordsFiveSecondsThatPlayBackOnTheChannel) {
  const std::string out = Temp("live.krv");
  const krvtest::RunResult r =
      Krvtool({"live", peer_.Url(1), "--channel", "1", "--record", out, "--seconds", "5"});
  ASSERT_EQ(r.code, 0) << r.err << r.out;
  EXPECT_NE(r.out.find("\"state\":\"Playing\""), std::string::npos) << r.out;
  EXPECT_GT(NumberAfter(r.out, "pictures"), 100);
  EXPECT_EQ(NumberAfter(r.out, "width"), 352);
  EXPECT_NEAR(NumberAfter(r.out, "duration"), 5.0, 0.5) << r.out;

  const krvtest::RunResult probe = Krvtool({"probe", out});
  ASSERT_EQ(probe.code, 0) << probe.err;
  EXPECT_NEAR(NumberAfter(probe.out, "duration_us") / 1e6, 5.0, 0.5) << probe.out;
  EXPECT_NE(probe.out.find("\"width\": 352"), std::string::npos) << probe.out;

  const krvtest::RunResult dump = Krvtool({"dump", out});
  ASSERT_EQ(dump.code, 0) << dump.err;
  const std::vector<std::string> lines = dump.Lines();
  bool endSeen = false;
  for (const std::string& l : lines) endSeen = endSeen || l == "end -32";
  EXPECT_TRUE(endSeen);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].rfind("pkt 1 0 1 ", 0), 0u) << lines[0];  // channel 1's stream, a key frame at 0

  const krvtest::RunResult play = Krvtool({"play", out, "--report"});
  ASSERT_EQ(play.code, 0) << play.err;
  const std::regex channel1("\"channel\": 1, \"pictures\": ([0-9]+)");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(play.out, m, channel1)) << play.out.substr(0, 400);
  EXPECT_GT(std::stoi(m[1].str()), 100);

  // Never overwritten.
  const krvtest::RunResult again = Krvtool({"live", peer_.Url(1), "--record", out, "--seconds", "1"});
  EXPECT_EQ(again.code, 1);
  EXPECT_NE(again.err.find("exists"), std::string::npos) << again.err;
}

TEST_F(KrvtoolLive, LibraryRecordingsAreListedByTheCatalogue) {
  const std::string folder = Temp("recfolder");
  live::LiveRtp rtp;
  ASSERT_EQ(rtp.OpenChannel(3, peer_.Url(3).c_str(), folder.c_str()), 1);
  ASSERT_EQ(rtp.StartRec(3), 1);
  while (rtp.Stats(3).recorded < 40) media::acSleepMs(20);
  rtp.CloseChannel(3);
  const std::vector<std::string> files = rtp.RecordedFiles(3);
  ASSERT_EQ(files.size(), 1u);
  const krvtest::RunResult list = Krvtool({"list", folder});
  ASSERT_EQ(list.code, 0) << list.err;
  const std::vector<std::string> rows = list.Lines();
  ASSERT_EQ(rows.size(), 1u) << list.out;
  // date, time, duration, channels, the manual type picture (8), the path
  EXPECT_NE(rows[0].find("\t8\t" + files[0]), std::string::npos) << rows[0];
}

TEST_F(KrvtoolLive, RefusedAddressIsReported) {
  const int port = peer_.Port();
  peer_.Kill();
  const krvtest::RunResult r =
      Krvtool({"live", "rtsp://127.0.0.1:" + std::to_string(port) + "/chn0", "--seconds", "1"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("\"state\":\"Connection refused\""), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("Connection refused"), std::string::npos) << r.err;
  EXPECT_EQ(Krvtool({"live", "http://127.0.0.1/chn0"}).code, 2);
  EXPECT_EQ(Krvtool({"live"}).code, 2);
}
