// The player and its live channels: live pictures show while the play
// gates are shut, opening a live channel stops playback and waits for the
// reader to park, starting playback closes the live channels, and closing
// the player with four channels recording ends every channel before the
// filter goes, leaving four valid recordings.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "krvreader/krv.h"
#include "live/live_rtp.h"
#include "media/ac_movie_filter.h"
#include "pipeline_support.h"
#include "playback/player.h"
#include "rtsp_peer.h"

using livetest::ProbeFile;
using livetest::Probed;
using livetest::RtspPeer;

namespace {

struct Counts {
  std::atomic<int> pictures[4] = {};
  std::atomic<int> barcodes[4] = {};  // pictures with a barcode that moved on from the last
  std::atomic<int> lastCode[4] = {-1, -1, -1, -1};
};

playback::PlayerOptions Options(Counts* counts) {
  playback::PlayerOptions o;
  o.sound = playback::PlayerOptions::Sound::kNull;
  o.callbacks.newPicture = [counts](int c, int64_t, const unsigned char* p, int w, int h) {
    counts->pictures[c].fetch_add(1);
    const int code = livetest::BarcodeOfYuy2(p, w, h);
    if (code >= 0 && code == counts->lastCode[c].load() + 1) counts->barcodes[c].fetch_add(1);
    counts->lastCode[c].store(code);
  };
  return o;
}

template <typename F>
bool Eventually(F&& done, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    media::acSleepMs(10);
  }
  return true;
}

class LivePlayer : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = livetest::TempFolder("player");
    ASSERT_TRUE(peer_.Start());
  }
  void TearDown() override {
    peer_.Kill();
    std::system(("rm -rf '" + folder_ + "'").c_str());
  }
  std::string folder_;
  RtspPeer peer_;
};

}  // namespace

TEST_F(LivePlayer, LivePicturesShowWhileThePlayGatesAreShut) {
  Counts counts;
  playback::Player player(Options(&counts));
  ASSERT_FALSE(player.State().gates.Open());
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(player.OpenLive(0, peer_.Url(0), folder_), 1);
  std::printf("OpenLive returned after %.1f ms\n",
              std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  // Consecutive frame numbers: every picture of the stream is shown.
  EXPECT_TRUE(Eventually([&] { return counts.barcodes[0].load() >= 20; }, 15000));
  EXPECT_FALSE(player.State().gates.Open());
  // A reader's push is still gated: dropped, reported as taken.
  unsigned char payload[64] = {0, 0, 0, 1, 0x65};
  EXPECT_EQ(player.Filter()->InputData(1, 28, 0, payload, sizeof payload, 352, 288), 1);
  EXPECT_EQ(player.Filter()->QueuedPackets(1), 0);
  EXPECT_EQ(player.Filter()->InputLiveData(1, 0, payload, sizeof payload, 352, 288), 1);
  EXPECT_TRUE(Eventually([&] { return player.Filter()->QueuedPackets(1) == 0; }, 5000));  // decoded
  const auto t1 = std::chrono::steady_clock::now();
  player.CloseLive(0);
  std::printf("CloseLive returned after %.1f ms\n",
              std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t1).count());
  EXPECT_FALSE(player.AnyLive());
  EXPECT_TRUE(player.Close());
}

TEST_F(LivePlayer, LiveAndPlaybackExcludeEachOther) {
  const std::string recording = pipelinetest::Recording("live_player_4ch_30s.krv", 30, 4, 176, 144);
  ASSERT_FALSE(recording.empty());
  Counts counts;
  playback::Player player(Options(&counts));
  player.SelectKrv(recording, playback::Player::Select::kOpen);
  player.Open();
  ASSERT_TRUE(Eventually([&] { return counts.pictures[1].load() >= 5; }, 15000));

  // Opening a live channel stops playback: the reader has parked when the
  // call returns, and passes nothing on from then.
  ASSERT_EQ(player.OpenLive(1, peer_.Url(1), folder_), 1);
  EXPECT_EQ(player.State().readerInPass[0].load(), 0);
  EXPECT_FALSE(player.State().gates.Open());
  const int64_t passed = player.State().stats.videoPassed.load();
  EXPECT_TRUE(Eventually([&] { return counts.barcodes[1].load() >= 20; }, 15000));
  EXPECT_EQ(player.State().stats.videoPassed.load(), passed);

  // Starting playback closes the live channels and plays again.
  player.Open();
  EXPECT_FALSE(player.AnyLive());
  EXPECT_FALSE(player.Filter()->IsLive(1));
  const int before = counts.pictures[2].load();
  EXPECT_TRUE(Eventually([&] { return counts.pictures[2].load() >= before + 5; }, 15000));
  EXPECT_GT(player.State().stats.videoPassed.load(), passed);
  EXPECT_TRUE(player.Close());
}

TEST_F(LivePlayer, ClosingWithFourChannelsRecordingLeavesFourValidFiles) {
  Counts counts;
  auto player = std::make_unique<playback::Player>(Options(&counts));
  for (int c = 0; c < 4; ++c) ASSERT_EQ(player->OpenLive(c, peer_.Url(c), folder_), 1);
  for (int c = 0; c < 4; ++c) ASSERT_TRUE(Eventually([&] { return counts.pictures[c].load() > 0; }, 15000)) << c;
  for (int c = 0; c < 4; ++c) ASSERT_EQ(player->Live().StartRec(c), 1);
  for (int c = 0; c < 4; ++c)
    ASSERT_TRUE(Eventually([&] { return player->Live().Stats(c).recorded >= 25; }, 15000)) << c;

  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_TRUE(player->Close());
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
  // Every live thread ended within the close (bounded; not a speed figure).
  EXPECT_LT(ms, 1000);
  EXPECT_FALSE(player->AnyLive());
  std::vector<std::string> files;
  for (int c = 0; c < 4; ++c) {
    const std::vector<std::string> f = player->Live().RecordedFiles(c);
    ASSERT_EQ(f.size(), 1u) << c;
    files.push_back(f[0]);
  }
  player.reset();  // the filter goes; nothing pushes into it any more (ASan)
  for (int c = 0; c < 4; ++c) {
    const Probed p = ProbeFile(files[c]);
    EXPECT_EQ(p.firstId, c);
    EXPECT_TRUE(p.firstKey);
    EXPECT_GE(p.packets, 25);
    EXPECT_GT(p.durationUs, 0);
    EXPECT_EQ(p.endResult, krv::KRV_EPIPE) << files[c];
  }
}
