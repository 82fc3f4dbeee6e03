// The playback clock: the waits it asks for (through an injected sleeper),
// the modes, what it reports to the filter and posts to its owner, and a
// few runs in real time.
#include <gtest/gtest.h>

#include <mutex>
#include <optional>
#include <vector>

#include "media/ac_movie_filter.h"
#include "media/play_gates.h"
#include "media/ac_play_clock.h"
#include "pipeline_support.h"

using namespace media;
using namespace pipelinetest;

namespace {

// A video filter that remembers every time the clock gives it.
class RecordingFilter : public ACMovieFilter {
 public:
  void CurDTS(int64_t dts) override {
    ACMovieFilter::CurDTS(dts);
    std::lock_guard<std::mutex> lock(mutex_);
    times_.push_back(dts);
  }
  std::vector<int64_t> Times() {
    std::lock_guard<std::mutex> lock(mutex_);
    return times_;
  }
  size_t Count() { return Times().size(); }

 private:
  std::mutex mutex_;
  std::vector<int64_t> times_;
};

// Records the waits and returns at once.
struct SleepLog {
  std::mutex mutex;
  std::vector<int> sleeps;
  ACPlayClock::Sleeper Sleeper() {
    return [this](int ms) {
      std::lock_guard<std::mutex> lock(mutex);
      sleeps.push_back(ms);
    };
  }
  std::vector<int> Get() {
    std::lock_guard<std::mutex> lock(mutex);
    return sleeps;
  }
};

// A started clock with the gate open, a recording filter and sleeper.
struct ClockRig {
  RecordingSink sink;
  RecordingFilter filter;
  SleepLog log;
  ACPlayClock clock{&sink};

  ClockRig() {
    clock.SetSleeper(log.Sleeper());
    clock.Start(&filter, nullptr);
  }
  void Push(std::initializer_list<int64_t> keys, int64_t length = 10000) {
    for (int64_t k : keys) ASSERT_EQ(clock.PushDTS(k, length), 1);
  }
  bool WaitReports(size_t n, int timeoutMs = 3000) {
    return WaitFor([&] { return filter.Count() >= n; }, timeoutMs);
  }
  // Pauses and waits until the pause pass has run: afterwards no mode is
  // signalled and pushed times stay in the list.
  void PauseAndSettle() {
    clock.SetMode(ACPlayClock::kModePause);
    ASSERT_TRUE(WaitFor([&] { return filter.Held(); }, 2000));
  }
};

struct ClockFixture : ::testing::Test, ClockRig {};

}  // namespace

TEST_F(ClockFixture, FortyMillisecondStepsAtNormalAndDoubleSpeed) {
  Push({1000, 1040, 1080, 1120});
  clock.SetMode(ACPlayClock::kModePlay);
  ASSERT_TRUE(WaitReports(4));
  EXPECT_EQ(filter.Times(), (std::vector<int64_t>{1000, 1040, 1080, 1120}));
  EXPECT_EQ(log.Get(), (std::vector<int>{40, 40, 40}));

  PauseAndSettle();
  clock.SetSpeed(32);
  Push({1160, 1200, 1240});
  clock.SetMode(ACPlayClock::kModePlay);
  ASSERT_TRUE(WaitReports(7));
  EXPECT_EQ(log.Get(), (std::vector<int>{40, 40, 40, 20, 20, 20}));
}

// One run of times in one mode: the waits asked for and the times reported.
TEST(ClockPacing, WaitsOfOneRun) {
  struct Case {
    const char* what;
    int speed;  // 0: the default
    int mode;
    std::vector<int64_t> keys;
    std::optional<std::vector<int>> sleeps;
    std::vector<int64_t> times;  // empty: not checked
  };
  const Case cases[] = {
      // A reference of 0 stands for "none yet": a recording whose first time
      // is 0 takes its second time as the reference, so its first gap is not
      // waited.
      {"starting at 0", 0, ACPlayClock::kModePlay, {0, 40, 80, 120}, std::vector<int>{40, 40}, {0, 40, 80, 120}},
      // Every third timestamp the accumulated 30 ms are slept.
      {"gaps of 20 or less add up", 0, ACPlayClock::kModePlay, {1000, 1010, 1020, 1030, 1040, 1050, 1060},
       std::vector<int>{30, 30}, {}},
      {"a speed outside the nine plays at normal speed", 3, ACPlayClock::kModePlay, {1000, 1100},
       std::vector<int>{100}, {}},
      // The restart pass takes 0 as its reference; the play passes it starts
      // run at the speed set: 80 ms at x2.
      {"restart goes on playing", 32, ACPlayClock::kModeRestart, {1000, 1080, 1160}, std::vector<int>{40, 40}, {}},
      {"fast forward does not wait", 0, ACPlayClock::kModeFast, {0, 5000, 10000, 15000}, std::vector<int>{}, {}},
      // A real time of 1 ms is not taken for an empty list.
      {"a time of 1 ms", 0, ACPlayClock::kModePlay, {1, 41}, std::nullopt, {1, 41}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ClockRig rig;
    if (c.speed != 0) rig.clock.SetSpeed(c.speed);
    for (int64_t k : c.keys) ASSERT_EQ(rig.clock.PushDTS(k, 10000), 1);
    rig.clock.SetMode(c.mode);
    ASSERT_TRUE(rig.WaitReports(c.keys.size()));
    if (!c.times.empty()) {
      EXPECT_EQ(rig.filter.Times(), c.times);
    }
    if (c.sleeps) {
      EXPECT_EQ(rig.log.Get(), *c.sleeps);
    }
  }
}

TEST_F(ClockFixture, AJumpCostsAtMost640MsOfRecordingTime) {
  Push({1000, 6000});
  clock.SetMode(ACPlayClock::kModePlay);
  ASSERT_TRUE(WaitReports(2));
  PauseAndSettle();
  clock.SetSpeed(256);
  Push({11000});
  clock.SetMode(ACPlayClock::kModePlay);
  ASSERT_TRUE(WaitReports(3));
  PauseAndSettle();
  clock.SetSpeed(1);
  Push({20000});
  clock.SetMode(ACPlayClock::kModePlay);
  ASSERT_TRUE(WaitReports(4));
  // 640 at x1, 640 x 16 / 256 = 40 at x16, 640 x 16 at 1/16.
  EXPECT_EQ(log.Get(), (std::vector<int>{640, 40, 10240}));
}

TEST_F(ClockFixture, SingleStepEndsAtTheFirstTimeThirtyMsPast) {
  Push({1000});
  clock.SetMode(ACPlayClock::kModePlay);
  ASSERT_TRUE(WaitReports(1));
  PauseAndSettle();
  Push({1010, 1020, 1030, 1040});
  clock.SetMode(ACPlayClock::kModeStep);
  ASSERT_TRUE(WaitReports(2));
  media::acSleepMs(30);
  EXPECT_EQ(filter.Times(), (std::vector<int64_t>{1000, 1030}));
  EXPECT_TRUE(filter.OneFrameOn());
  EXPECT_FALSE(filter.Held());
  // 1040 is still waiting for the next step.
  clock.SetMode(ACPlayClock::kModeStep);
  ASSERT_TRUE(WaitReports(3));
  EXPECT_EQ(filter.Times().back(), 1040);
}

TEST_F(ClockFixture, AStepNeverSwallowsTheEndMarker) {
  Push({1000});
  clock.SetMode(ACPlayClock::kModePlay);
  ASSERT_TRUE(WaitReports(1));
  PauseAndSettle();
  Push({1010, DTS_END});
  clock.SetMode(ACPlayClock::kModeStep);
  ASSERT_TRUE(WaitReports(2));
  // 1010 was less than 30 ms on: the step went on and met the marker,
  // which it reports instead of passing over it.
  EXPECT_EQ(filter.Times(), (std::vector<int64_t>{1000, DTS_END}));
  const auto posts = sink.Posts();
  ASSERT_FALSE(posts.empty());
  EXPECT_EQ(posts.back().lParam, DTS_END);
}

TEST_F(ClockFixture, TheEndOfARecordingIsPostedOnceHoweverOftenItIsPushed) {
  // The reader pushes the end again when Play resumes it at the end of its
  // file: the window advances once per end posted, so the second must not
  // reach it. A new recording's end is posted again.
  Push({1000, DTS_END, DTS_END, DTS_BEGIN, 0, DTS_END, 40, DTS_END});
  clock.SetMode(ACPlayClock::kModePlay);
  ASSERT_TRUE(WaitReports(8));
  std::vector<intptr_t> posted;
  for (const auto& p : sink.Posts()) posted.push_back(p.lParam);
  EXPECT_EQ(posted, (std::vector<intptr_t>{1, DTS_END, DTS_BEGIN, 0, DTS_END, 0, DTS_END}));
}

TEST_F(ClockFixture, AfterStopTheNextTimeIsZeroAndPlayStartsFromZero) {
  Push({500});
  clock.SetMode(ACPlayClock::kModePlay);
  ASSERT_TRUE(WaitReports(1));
  PauseAndSettle();
  Push({700, 740});
  clock.SetMode(ACPlayClock::kModeStop);
  ASSERT_TRUE(WaitReports(2));
  EXPECT_EQ(filter.Times()[1], 0);
  clock.SetMode(ACPlayClock::kModePlay);
  ASSERT_TRUE(WaitReports(3));
  EXPECT_EQ(filter.Times()[2], 740);
  // From reference 0 the first time becomes the reference: no wait.
  EXPECT_TRUE(log.Get().empty());
}

TEST_F(ClockFixture, WithoutAModeTimesStayInTheList) {
  Push({0, 40, 80});
  media::acSleepMs(60);
  EXPECT_EQ(filter.Count(), 0u);
  EXPECT_TRUE(sink.Posts().empty());
  clock.SetMode(ACPlayClock::kModePlay);
  ASSERT_TRUE(WaitReports(3));
}

TEST(ClockGates, PushesWithBothGatesClosedAreDroppedAsAccepted) {
  PlayGates gates;
  RecordingFilter filter;
  SleepLog log;
  ACPlayClock clock(nullptr);
  clock.SetPlayGates(&gates);
  clock.SetSleeper(log.Sleeper());
  clock.Start(&filter, nullptr);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(clock.PushDTS(i * 40, 0), 1);  // more than the list holds
  clock.SetMode(ACPlayClock::kModePlay);
  media::acSleepMs(50);
  EXPECT_EQ(filter.Count(), 0u);
}

// Real time, with the clock's own 1 ms timer.
TEST(ClockRealTime, OneSecondOfTimestampsTakesAboutOneSecond) {
  RecordingFilter filter;
  ACPlayClock clock(nullptr);
  clock.Start(&filter, nullptr);
  for (int64_t t = 1000; t <= 2000; t += 40) ASSERT_EQ(clock.PushDTS(t, 1000), 1);
  const int64_t start = NowMs();
  clock.SetMode(ACPlayClock::kModePlay);
  ASSERT_TRUE(WaitFor([&] { return filter.Count() == 26; }, 5000));
  const int64_t took = NowMs() - start;
  // 25 waits of 40 ms; the sleeps never end early. (Accuracy is measured
  // in bench/, not here.)
  EXPECT_GE(took, 995);
  EXPECT_LT(took, 5000);
}

TEST(ClockRealTime, DestructionDuringALongWaitEndsTheThreadSoon) {
  RecordingFilter filter;
  auto clock = std::make_unique<ACPlayClock>(nullptr);
  clock->Start(&filter, nullptr);
  clock->SetSpeed(1);
  clock->PushDTS(1000, 0);
  clock->PushDTS(6000, 0);  // a 10 s wait at 1/16
  clock->SetMode(ACPlayClock::kModePlay);
  ASSERT_TRUE(WaitFor([&] { return filter.Count() == 1; }, 2000));
  media::acSleepMs(50);
  const int64_t start = NowMs();
  clock.reset();
  EXPECT_LT(NowMs() - start, 1000);
}
