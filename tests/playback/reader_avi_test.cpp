// The AVI reader thread: the channel files of one period in their panes,
// the clock following the current channel, seeking, and a period with only
// one channel.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "headless_player.h"
#include "playback_test_util.h"

namespace {

using krvplayer::HeadlessPlayer;
using krvplayer::PlayTimePost;
using krvplayer::ShownPicture;

constexpr int64_t kStart = 1700000000;  // 20231114221320
constexpr int kWaitMs = 30000;

class AviPlayback : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new playtest::TempDir();
    // Channels 1 and 3 last 2 s, channel 2 (the current one) 3 s.
    for (int c = 0; c < 3; ++c) {
      auto o = playtest::Small(c == 1 ? 3 : 2, 3);
      o.startTime = kStart;
      playtest::MakeAvi(o, c, File(c));
    }
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static std::string File(int channel) {
    return dir_->File("20231114221320_1000_0" + std::to_string(channel + 1) + ".avi");
  }
  static std::vector<std::string> Period() { return {File(0), File(1), File(2)}; }
  static HeadlessPlayer::Options Opts() {
    HeadlessPlayer::Options o;
    o.snapshotFolder = dir_->File("snap") + "/";
    return o;
  }
  static playtest::TempDir* dir_;
};

playtest::TempDir* AviPlayback::dir_ = nullptr;

TEST_F(AviPlayback, ThreeChannelFilesPlayInPanesZeroToTwoWithTheClockOnTheCurrentChannel) {
  HeadlessPlayer p(Opts());
  p.SetSpeed(32);
  p.OpenAvi(Period(), 1);
  ASSERT_TRUE(p.WaitForEnd(kWaitMs));
  ASSERT_TRUE(HeadlessPlayer::WaitUntil([&] { return p.Channel(1).pictures >= 75; }, 5000));
  HeadlessPlayer::WaitUntil([&] { return p.Channel(0).pictures >= 50 && p.Channel(2).pictures >= 50; }, 2000);
  EXPECT_EQ(p.Channel(0).pictures, 50);
  EXPECT_EQ(p.Channel(1).pictures, 75);
  EXPECT_EQ(p.Channel(2).pictures, 50);
  EXPECT_EQ(p.Channel(3).pictures, 0);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(p.Channel(c).outOfOrder, 0) << c;
  // The current channel's pictures carry its own times.
  std::vector<int64_t> times;
  for (const ShownPicture& s : p.Pictures())
    if (s.channel == 1) times.push_back(s.dts);
  ASSERT_EQ(times.size(), 75u);
  for (size_t i = 0; i < times.size(); ++i) EXPECT_EQ(times[i], static_cast<int64_t>(i) * 40);
  // The clock took the current channel's times and length.
  int64_t lastTick = -1;
  for (const auto& t : p.Ticks())
    if (t.dts >= 0) lastTick = std::max(lastTick, t.dts);
  EXPECT_EQ(lastTick, 2960);
  std::vector<int64_t> seconds;
  for (const PlayTimePost& post : p.Posts()) {
    EXPECT_EQ(post.lengthSeconds, 3);
    if (post.value >= 0) seconds.push_back(post.value);
  }
  EXPECT_EQ(seconds, (std::vector<int64_t>{0, 1, 2}));
  EXPECT_EQ(p.LastStartTime(), kStart);
  EXPECT_GT(p.State().stats.audioPassed.load(), 0);
  EXPECT_TRUE(p.Close());
}

TEST_F(AviPlayback, WhenTheCurrentChannelEndsFirstTheOthersStillPlayOut) {
  HeadlessPlayer p(Opts());
  p.SetSpeed(32);
  // Channel 1 (2 s) drives the clock; channel 2 lasts 3 s.
  p.OpenAvi(Period(), 0);
  ASSERT_TRUE(p.WaitForEnd(kWaitMs));
  ASSERT_TRUE(HeadlessPlayer::WaitUntil([&] { return p.Channel(1).pictures >= 75; }, 5000));
  EXPECT_EQ(p.Channel(0).pictures, 50);
  EXPECT_EQ(p.Channel(2).pictures, 50);
  EXPECT_TRUE(p.Close());
}

TEST_F(AviPlayback, SeekMovesEveryFileToItsKeyFrame) {
  HeadlessPlayer p(Opts());
  p.SetSpeed(32);
  p.OpenAvi(Period(), 1);
  ASSERT_TRUE(p.WaitForPost([](const PlayTimePost& t) { return t.value == 0; }, kWaitMs));
  p.Seek(2);
  ASSERT_TRUE(p.WaitForEnd(kWaitMs));
  HeadlessPlayer::WaitUntil([&] { return p.Channel(1).lastDts == 2960; }, 5000);
  std::vector<int64_t> times;
  for (const ShownPicture& s : p.Pictures())
    if (s.channel == 1) times.push_back(s.dts);
  // The first picture out of step (or the very first, when the seek came
  // before anything was shown) is the key frame at second 2.
  ASSERT_FALSE(times.empty());
  size_t jump = 0;
  if (times[0] == 0)
    for (size_t i = 1; i < times.size(); ++i)
      if (times[i] != times[i - 1] + 40) {
        jump = i;
        break;
      }
  EXPECT_EQ(times[jump], 2000);
  EXPECT_EQ(times.back(), 2960);
  EXPECT_EQ(p.State().stats.seeks.load(), 1);
  ASSERT_TRUE(HeadlessPlayer::WaitUntil([&] { return p.Map().Counts().seek == 1 && p.Chart().Counts().clear == 1; },
                                        2000));
  EXPECT_TRUE(p.Close());
}

TEST_F(AviPlayback, APeriodWithOnlyChannelThreePlaysChannelThree) {
  auto o = playtest::Small(1, 3);
  const std::string only = dir_->File("20231114230000_0001_03.avi");
  playtest::MakeAvi(o, 2, only);
  HeadlessPlayer p(Opts());
  p.SetSpeed(32);
  p.OpenAvi({only}, 2);
  ASSERT_TRUE(p.WaitForEnd(kWaitMs));
  ASSERT_TRUE(HeadlessPlayer::WaitUntil([&] { return p.Channel(2).pictures >= 25; }, 5000));
  EXPECT_EQ(p.Channel(2).pictures, 25);
  EXPECT_EQ(p.Channel(0).pictures + p.Channel(1).pictures + p.Channel(3).pictures, 0);
  EXPECT_TRUE(p.Close());
}

TEST_F(AviPlayback, AFileThatDoesNotOpenEndsTheThreadAndTheWindowStaysUsable) {
  HeadlessPlayer p(Opts());
  p.OpenAvi({dir_->File("20231114230000_0001_01.avi")}, 0);  // no such file
  ASSERT_TRUE(HeadlessPlayer::WaitUntil([&] { return !p.Readers().AviRunning(); }, 3000));
  p.SetSpeed(32);
  p.OpenAvi(Period(), 1);
  EXPECT_TRUE(p.Readers().AviRunning());
  ASSERT_TRUE(p.WaitForEnd(kWaitMs));
  EXPECT_TRUE(p.Close());
}

}  // namespace
