// ACObject's timed lock and the thread primitives: events and waits on
// several events, msSleep.
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "media/ac_object.h"
#include "media/ac_sync.h"
#include "media/ms_sleep.h"

using namespace media;
using Clock = std::chrono::steady_clock;

namespace {

int64_t msSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// A tick count that moves only when the lock sleeps: a timed Lock then runs
// in no time and its tries can be counted.
class FakeClock : public ACTickClock {
 public:
  explicit FakeClock(uint32_t start) : now_(start) {}
  uint32_t Now() const override { return now_; }
  void SleepMs(uint32_t ms) const override {
    now_ += ms;
    slept_ += ms;
    ++sleeps_;
  }
  mutable uint32_t now_;
  mutable uint32_t slept_ = 0;
  mutable int sleeps_ = 0;
};

// Holds an object's lock on another thread until released.
class Holder {
 public:
  explicit Holder(ACObject& o) : thread_([this, &o] {
    o.Lock(-1);
    locked_.Set();
    release_.Wait(5000);
    o.Unlock();
  }) {
    locked_.Wait(5000);
  }
  ~Holder() {
    release_.Set();
    thread_.join();
  }

 private:
  ACEvent locked_{ACEvent::kManualReset};
  ACEvent release_{ACEvent::kManualReset};
  std::thread thread_;
};

}  // namespace

TEST(ACObjectLockTest, LockIsRecursiveForItsHolder) {
  ACObject o;
  ASSERT_EQ(o.Lock(-1), 1);
  ASSERT_EQ(o.Lock(0), 1);
  std::atomic<int> other{-1};
  std::thread([&] { other = o.Lock(0); }).join();
  EXPECT_EQ(other.load(), 0);
  o.Unlock();
  std::thread([&] { other = o.Lock(0); }).join();
  EXPECT_EQ(other.load(), 0) << "still held once";
  o.Unlock();
  std::thread([&] {
    other = o.Lock(0);
    if (other == 1) o.Unlock();
  }).join();
  EXPECT_EQ(other.load(), 1);
}

TEST(ACObjectLockTest, TimedLockOnAHeldObject) {
  ACObject o;
  Holder h(o);
  auto t0 = Clock::now();
  EXPECT_EQ(o.Lock(0), 0);
  EXPECT_LT(msSince(t0), 50);

  // Lock(250) tries four times over about 300 ms.
  FakeClock clock(5000);
  EXPECT_EQ(o.LockWithClock(250, clock), 0);
  EXPECT_EQ(clock.sleeps_, 3);    // tries at 0, 100, 200 and 300 ms
  EXPECT_EQ(clock.slept_, 300u);

  t0 = Clock::now();
  EXPECT_EQ(o.Lock(250), 0);
  const int64_t took = msSince(t0);
  EXPECT_GE(took, 290);
  EXPECT_LT(took, 2000);

  // The counter wrap does not end the wait early: 100 ms before the 32-bit
  // tick count wraps, the same tries as without a wrap.
  FakeClock beforeWrap(0xFFFFFFFFu - 99);
  EXPECT_EQ(o.LockWithClock(250, beforeWrap), 0);
  EXPECT_EQ(beforeWrap.slept_, 300u) << "same tries as without a wrap";
  // A wrap right at the start of a long wait.
  FakeClock atWrap(0xFFFFFFFFu);
  EXPECT_EQ(o.LockWithClock(1000, atWrap), 0);
  EXPECT_GE(atWrap.slept_, 1000u);
  EXPECT_LE(atWrap.slept_, 1100u);

  // Negative time-outs other than -1 try once.
  FakeClock once(0);
  EXPECT_EQ(o.LockWithClock(-5, once), 0);
  EXPECT_EQ(once.sleeps_, 0);
}

TEST(ACEventTest, OneAutoResetSignalReleasesExactlyOneOfTwoWaiters) {
  ACEvent e(ACEvent::kAutoReset);
  std::atomic<int> woken{0};
  std::atomic<int> waiting{0};
  auto waiter = [&] {
    ++waiting;
    if (e.Wait(300)) ++woken;
  };
  std::thread a(waiter), b(waiter);
  while (waiting < 2) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  e.Set();
  a.join();
  b.join();
  EXPECT_EQ(woken.load(), 1);
}

TEST(ACThreadTest, StartsItsBodyUnderTheGivenNameCutToFifteenBytes) {
  auto nameSeen = [](const char* name) {
    std::string seen;
    ACThread t;
    EXPECT_TRUE(t.Start(
        [&seen] {
          char buf[32] = {};
          pthread_getname_np(pthread_self(), buf, sizeof buf);
          seen = buf;
        },
        name));
    EXPECT_TRUE(t.WaitEnded(1000));
    return seen;
  };
  EXPECT_EQ(nameSeen("cv-display3"), "cv-display3");
  EXPECT_EQ(nameSeen("cv-a-name-longer-than-fifteen"), "cv-a-name-longe");
  // Without a name the thread keeps what it inherited, and still runs.
  char mine[32] = {};
  pthread_getname_np(pthread_self(), mine, sizeof mine);
  EXPECT_EQ(nameSeen(nullptr), mine);
}

TEST(ACEventTest, ALoneWaitAndAWaitOnSeveralShareOneAutoResetSignal) {
  // One thread waits on the event alone, the other on it and another event:
  // each Set lets exactly one of them through, never both, never none.
  ACEvent e(ACEvent::kAutoReset), other(ACEvent::kManualReset);
  std::atomic<int> lone{0}, several{0};
  std::atomic<bool> done{false};
  std::thread a([&] {
    while (!done.load())
      if (e.Wait(20)) ++lone;
  });
  std::thread b([&] {
    ACEvent* const both[2] = {&other, &e};
    while (!done.load())
      if (WaitForEvents(both, 2, 20) == 1) ++several;
  });
  constexpr int kSets = 200;
  int taken = 0;
  for (int i = 0; i < kSets; ++i) {
    e.Set();
    // Until one of them took it and counted it (a Set on a signalled event
    // adds nothing, so each is awaited).
    for (int n = 0; n < 20000 && lone.load() + several.load() == i; ++n)
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    taken = lone.load() + several.load();
    if (taken != i + 1) break;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  done.store(true);
  a.join();
  b.join();
  EXPECT_EQ(taken, kSets);
  EXPECT_EQ(lone.load() + several.load(), kSets) << "a signal let both through";
}

TEST(ACEventTest, AWaiterMayDestroyTheEventAsSoonAsItsWaitReturns) {
  // The Set that ends a wait must not touch the event afterwards: the
  // waiter frees it at once (ASan catches a use after the free).
  for (int i = 0; i < 300; ++i) {
    auto* e = new ACEvent(i % 2 == 0 ? ACEvent::kAutoReset : ACEvent::kManualReset);
    std::thread setter([e] { e->Set(); });
    const bool woken = e->Wait(5000);
    delete e;
    setter.join();
    ASSERT_TRUE(woken);
  }
}

TEST(ACEventTest, ALoneWaitEndsOnItsTimeOutAndOnASetFromAnotherThread) {
  ACEvent e(ACEvent::kAutoReset);
  const auto t0 = Clock::now();
  EXPECT_FALSE(e.Wait(30));
  EXPECT_GE(msSince(t0), 29);
  EXPECT_FALSE(e.Wait(0));
  std::thread later([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    e.Set();
  });
  EXPECT_TRUE(e.Wait(kInfinite));
  later.join();
  EXPECT_FALSE(e.IsSet()) << "the wait took the auto-reset signal";
  ACEvent m(ACEvent::kManualReset);
  m.Set();
  EXPECT_TRUE(m.Wait(0));
  EXPECT_TRUE(m.Wait(10));
  EXPECT_TRUE(m.IsSet()) << "a manual-reset event stays signalled";
}

TEST(WaitForEventsTest, LowestSignalledIndexWins) {
  ACEvent m0(ACEvent::kManualReset), m1(ACEvent::kManualReset), a2(ACEvent::kAutoReset), a3(ACEvent::kAutoReset);
  ACEvent* all[] = {&m0, &m1, &a2, &a3};
  EXPECT_EQ(WaitForEvents(all, 4, 0), kWaitTimeout);
  a3.Set();
  a2.Set();
  EXPECT_EQ(WaitForEvents(all, 4, 0), 2);
  EXPECT_FALSE(a2.IsSet()) << "the winning auto-reset event is consumed";
  EXPECT_TRUE(a3.IsSet()) << "the others are left as they were";
  m1.Set();
  EXPECT_EQ(WaitForEvents(all, 4, 0), 1);
  EXPECT_EQ(WaitForEvents(all, 4, 0), 1) << "manual-reset stays signalled";
  EXPECT_TRUE(a3.IsSet());
  m1.Reset();
  EXPECT_EQ(WaitForEvents(all, 4, 0), 3);
  EXPECT_EQ(WaitForEvents(all, 4, 0), kWaitTimeout);
  const auto t0 = Clock::now();
  EXPECT_EQ(WaitForEvents(all, 4, 20), kWaitTimeout);
  EXPECT_GE(msSince(t0), 19);
}

TEST(MsSleepTest, SleepsEndOnTheNthTick) {
  msSleep s;
  ASSERT_EQ(s.Start(), 1);
  EXPECT_EQ(s.Period(), 1u);
  EXPECT_TRUE(s.TimerRunning());
  auto t0 = Clock::now();
  s.Sleep(0);
  EXPECT_LT(msSince(t0), 5);
  for (int ms : {1, 2, 7, 20}) {
    t0 = Clock::now();
    s.Sleep(ms);
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - t0).count();
    // The n-th tick after the call: at least n - 1 whole periods later.
    EXPECT_GE(us, (ms - 1) * 1000) << ms;
    EXPECT_LT(us, (ms + 200) * 1000) << ms;
  }
  s.Stop();
  EXPECT_FALSE(s.TimerRunning());
  t0 = Clock::now();
  s.Sleep(10);  // the ordinary sleep
  EXPECT_GE(msSince(t0), 10);
  ASSERT_EQ(s.Start(), 1) << "restarts after a stop";
  s.Sleep(3);
}

TEST(MsSleepTest, ManyShortSleepsStayInStep) {
  msSleep s;
  ASSERT_EQ(s.Start(), 1);
  const auto t0 = Clock::now();
  for (int i = 0; i < 100; ++i) {
    const auto t1 = Clock::now();
    s.Sleep(2);
    // Each one too: periods that ended before a sleep (a late timer catching
    // up) never count towards it.
    EXPECT_GE(std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - t1).count(), 1000) << i;
  }
  const int64_t took = msSince(t0);
  EXPECT_GE(took, 100);   // each at least one whole period
  EXPECT_LT(took, 2000);
}
