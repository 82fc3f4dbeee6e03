// Closing the window ends every reader thread within its bounded wait,
// whatever it is doing: playing, seeking, paused, parked on its gate, or
// retrying a full queue.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "headless_player.h"
#include "playback_test_util.h"

namespace {

using krvplayer::HeadlessPlayer;
using krvplayer::PlayTimePost;
using Clock = std::chrono::steady_clock;

constexpr int kWaitMs = 30000;

class ReaderClose : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new playtest::TempDir();
    playtest::MakeKrv(playtest::Small(4), Krv());
    for (int c = 0; c < 2; ++c) playtest::MakeAvi(playtest::Small(4, 2), c, Avi(c));
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static std::string Krv() { return dir_->File("20231114221320_1000.krv"); }
  static std::string Avi(int c) { return dir_->File("20231114221320_1000_0" + std::to_string(c + 1) + ".avi"); }
  static HeadlessPlayer::Options Opts() {
    HeadlessPlayer::Options o;
    o.snapshotFolder = dir_->File("snap") + "/";
    return o;
  }

  // Closes and checks that the readers ended within their waits and the
  // whole close took less than a second.
  static void CloseWithinASecond(HeadlessPlayer& p) {
    const auto t0 = Clock::now();
    EXPECT_TRUE(p.Close());
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
    EXPECT_LT(took, 1000);
    EXPECT_FALSE(p.Readers().KrvRunning());
    EXPECT_FALSE(p.Readers().AviRunning());
  }

  // Waits until the reader has stopped taking packets (its queues are full).
  static bool WaitStuck(HeadlessPlayer& p) {
    int64_t last = -1;
    int still = 0;
    return HeadlessPlayer::WaitUntil(
        [&] {
          int64_t now = p.State().stats.videoPassed.load();
          still = now == last ? still + 1 : 0;
          last = now;
          return still > 300;  // 300 ms without a packet
        },
        10000);
  }

  static playtest::TempDir* dir_;
};

playtest::TempDir* ReaderClose::dir_ = nullptr;

TEST_F(ReaderClose, WhilePlaying) {
  HeadlessPlayer p(Opts());
  p.OpenKrv(Krv());
  ASSERT_TRUE(p.WaitForPost([](const PlayTimePost& t) { return t.value == 0; }, kWaitMs));
  CloseWithinASecond(p);
}

TEST_F(ReaderClose, WhileSeeking) {
  HeadlessPlayer p(Opts());
  p.OpenKrv(Krv());
  ASSERT_TRUE(p.WaitForPost([](const PlayTimePost& t) { return t.value == 0; }, kWaitMs));
  p.Seek(3);
  CloseWithinASecond(p);
}

TEST_F(ReaderClose, WhilePausedWithFullQueues) {
  HeadlessPlayer p(Opts());
  p.OpenKrv(Krv());
  ASSERT_TRUE(p.WaitForPost([](const PlayTimePost& t) { return t.value == 0; }, kWaitMs));
  p.Pause();
  ASSERT_TRUE(WaitStuck(p));
  EXPECT_TRUE(p.Readers().KrvRunning());
  CloseWithinASecond(p);
}

// A reader held in a refused push takes a stop or a new opening as soon as
// it is given, not when the queues free a slot (paused, they never do).
TEST_F(ReaderClose, PausedWithFullQueuesAStopParksTheReaderAndAnOpeningPlaysAgain) {
  HeadlessPlayer p(Opts());
  p.OpenKrv(Krv());
  ASSERT_TRUE(p.WaitForPost([](const PlayTimePost& t) { return t.value == 0; }, kWaitMs));
  p.Pause();
  ASSERT_TRUE(WaitStuck(p));
  p.Stop();
  ASSERT_TRUE(HeadlessPlayer::WaitUntil(
      [&] { return p.State().stopRequested.load() == 0 && p.State().readerInPass[0].load() == 0; }, 5000))
      << "the stop did not reach the reader";
  EXPECT_TRUE(p.Readers().KrvRunning());

  // Paused again with full queues, a new opening restarts the recording.
  const size_t posts = p.PostCount();
  p.OpenKrv(Krv());
  ASSERT_TRUE(p.WaitForPost([](const PlayTimePost& t) { return t.value == 1; }, kWaitMs, posts));
  p.Pause();
  ASSERT_TRUE(WaitStuck(p));
  const size_t again = p.PostCount();
  p.OpenKrv(Krv());
  EXPECT_TRUE(p.WaitForPost([](const PlayTimePost& t) { return t.value == 0; }, kWaitMs, again))
      << "the opening did not restart the recording";
  CloseWithinASecond(p);
}

TEST_F(ReaderClose, WhileParkedAtTheEndOfTheRecording) {
  HeadlessPlayer p(Opts());
  p.SetSpeed(256);
  p.OpenKrv(Krv());
  ASSERT_TRUE(p.WaitForEnd(kWaitMs));
  ASSERT_TRUE(HeadlessPlayer::WaitUntil([&] { return p.State().ended.load() == 1; }, 2000));
  EXPECT_TRUE(p.Readers().KrvRunning());
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  CloseWithinASecond(p);
}

TEST_F(ReaderClose, WhileParkedAfterStop) {
  HeadlessPlayer p(Opts());
  p.OpenKrv(Krv());
  ASSERT_TRUE(p.WaitForPost([](const PlayTimePost& t) { return t.value == 0; }, kWaitMs));
  p.Stop();
  ASSERT_TRUE(HeadlessPlayer::WaitUntil([&] { return p.State().stopRequested.load() == 0; }, 3000));
  EXPECT_TRUE(p.Readers().KrvRunning());
  CloseWithinASecond(p);
}

TEST_F(ReaderClose, WhileParkedBeforeTheFirstPass) {
  HeadlessPlayer p(Opts());
  p.SelectKrv(Krv(), playback::Player::Select::kOpen);  // gate reset, nothing playing
  ASSERT_TRUE(p.Readers().EnsureKrvThread());
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(p.Readers().KrvRunning());
  CloseWithinASecond(p);
}

TEST_F(ReaderClose, AviWhilePausedWithFullQueues) {
  HeadlessPlayer p(Opts());
  p.OpenAvi({Avi(0), Avi(1)}, 0);
  ASSERT_TRUE(p.WaitForPost([](const PlayTimePost& t) { return t.value == 0; }, kWaitMs));
  p.Pause();
  ASSERT_TRUE(WaitStuck(p));
  EXPECT_TRUE(p.Readers().AviRunning());
  CloseWithinASecond(p);
}

TEST_F(ReaderClose, AShortPathEndsTheThreadAtOnce) {
  HeadlessPlayer p(Opts());
  p.SelectKrv("a.k", playback::Player::Select::kOpen);
  EXPECT_FALSE(p.Readers().EnsureKrvThread());
  EXPECT_FALSE(p.Readers().KrvRunning());
  CloseWithinASecond(p);
}

TEST_F(ReaderClose, TheReaderThreadsObjectAloneEndsParkedThreads) {
  playback::PlayState state;
  state.krvPath.Set(Krv().c_str());
  auto readers = std::make_unique<playback::ReaderThreads>(&state);
  ASSERT_TRUE(readers->EnsureKrvThread());
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const auto t0 = Clock::now();
  EXPECT_TRUE(readers->Close());
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count(), 500);
  // After a close the window may play again: exitRequested back to 0.
  state.exitRequested.store(0);
  ASSERT_TRUE(readers->EnsureKrvThread());
  EXPECT_TRUE(readers->KrvRunning());
  readers.reset();  // destruction closes
  EXPECT_EQ(state.exitRequested.load(), 1);
}

}  // namespace
