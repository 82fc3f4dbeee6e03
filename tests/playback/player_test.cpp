// The player as a whole: two players in one process keep to their own
// recordings and gates, and the stop rule of the commands.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "headless_player.h"
#include "playback_test_util.h"

namespace {

using krvplayer::HeadlessPlayer;
using krvplayer::PlayTimePost;
using krvplayer::ShownPicture;

constexpr int kWaitMs = 30000;

class PlayerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new playtest::TempDir();
    // Two recordings told apart by picture size and length: the short one
    // ends (and shuts its gate) while the long one still plays.
    auto a = playtest::Small(2, 4, 176, 144);
    playtest::MakeKrv(a, Short());
    auto b = playtest::Small(8, 4, 128, 96);
    b.seed = 7;
    playtest::MakeKrv(b, Long());
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static std::string Short() { return dir_->File("20231114221320_1000.krv"); }
  static std::string Long() { return dir_->File("20231114221500_0100.krv"); }

  static HeadlessPlayer::Options Opts() {
    HeadlessPlayer::Options o;
    o.nullSound = true;
    o.snapshotFolder = dir_->File("snap") + "/";
    return o;
  }

  // Every picture of every channel of `file` was shown by `p`, in order, at
  // the file's size, and nothing else.
  static void ExpectExactlyItsOwn(HeadlessPlayer& p, const std::string& file, int width, int height) {
    const auto want = playtest::VideoTimesMs(playtest::ReadAll(file), false);
    ASSERT_TRUE(HeadlessPlayer::WaitUntil(
        [&] {
          for (const auto& [c, times] : want)
            if (p.Channel(c).pictures < static_cast<int64_t>(times.size())) return false;
          return true;
        },
        kWaitMs))
        << file;
    std::map<int, std::vector<int64_t>> shown;
    for (const ShownPicture& s : p.Pictures()) {
      EXPECT_EQ(s.width, width) << file << " channel " << s.channel << " at " << s.dts;
      EXPECT_EQ(s.height, height) << file;
      shown[s.channel].push_back(s.dts);
    }
    EXPECT_EQ(shown, want) << file;
  }

  static playtest::TempDir* dir_;
};
playtest::TempDir* PlayerTest::dir_ = nullptr;

TEST_F(PlayerTest, TwoPlayersAtOnceEachShowOnlyTheirOwnRecording) {
  HeadlessPlayer one(Opts());
  HeadlessPlayer two(Opts());
  one.SetSpeed(32);
  two.SetSpeed(32);
  one.OpenKrv(Short());
  two.OpenKrv(Long());
  ASSERT_TRUE(one.WaitForEnd(kWaitMs));
  // The short one ended and shut its own gate; the other plays on.
  EXPECT_FALSE(one.State().gates.Open());
  EXPECT_TRUE(two.State().gates.krv.IsSet());
  ASSERT_TRUE(two.WaitForEnd(kWaitMs));
  ExpectExactlyItsOwn(one, Short(), 176, 144);
  ExpectExactlyItsOwn(two, Long(), 128, 96);
  EXPECT_EQ(one.State().stats.opened.load(), 1);
  EXPECT_EQ(two.State().stats.opened.load(), 1);
  EXPECT_TRUE(one.Close());
  EXPECT_TRUE(two.Close());
}

TEST_F(PlayerTest, ClosingOnePlayerLeavesTheOtherPlaying) {
  HeadlessPlayer one(Opts());
  HeadlessPlayer two(Opts());
  two.SetSpeed(32);
  one.OpenKrv(Long());
  two.OpenKrv(Long());
  ASSERT_TRUE(one.WaitForPost([](const PlayTimePost& t) { return t.value == 0; }, kWaitMs));
  EXPECT_TRUE(one.Close());
  ASSERT_TRUE(two.WaitForEnd(kWaitMs));
  ExpectExactlyItsOwn(two, Long(), 128, 96);
}

// Play, Step and Second play supersede a stop the reader has not carried
// out yet: a Play right after Stop plays the recording again from its start.
TEST_F(PlayerTest, PlayRightAfterStopPlaysAgain) {
  HeadlessPlayer p(Opts());
  p.SetSpeed(32);
  p.OpenKrv(Short());
  ASSERT_TRUE(p.WaitForPost([](const PlayTimePost& t) { return t.value == 0; }, kWaitMs));
  p.Stop();
  p.SetSpeed(32);
  ASSERT_TRUE(p.Play());
  EXPECT_EQ(p.State().stopRequested.load(), 0);
  ASSERT_TRUE(p.WaitForEnd(kWaitMs));
  EXPECT_EQ(p.State().stats.opened.load(), 2) << "Stop forgets the open recording; Play opens it again";
}

TEST_F(PlayerTest, PlayWithNothingSelectedDoesNothing) {
  HeadlessPlayer p(Opts());
  EXPECT_FALSE(p.Play());
  EXPECT_FALSE(p.Readers().KrvRunning());
  EXPECT_FALSE(p.Readers().AviRunning());
  EXPECT_TRUE(p.Close());
  EXPECT_FALSE(p.Play()) << "after Close the commands do nothing";
}

}  // namespace
