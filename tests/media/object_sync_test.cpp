// ACObject (reference count, ids, the timed lock) and the thread primitives:
// events and waits on several events, the semaphore, the tick count, threads,
// msSleep.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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

struct Tracked : ACObject {
  explicit Tracked(bool* destroyed) : destroyed_(destroyed) {}
  ~Tracked() override { *destroyed_ = true; }
  bool* destroyed_;
};

}  // namespace

TEST(ACObjectTest, IdsFollowEachOtherAndNameIsACObject) {
  ACObject a;
  ACObject b;
  EXPECT_EQ(b.GetId(), a.GetId() + 1);
  EXPECT_GE(a.GetId(), 1);
  EXPECT_STREQ(a.GetName(), "ACObject");
  EXPECT_EQ(acPeekNextObjectId(), b.GetId() + 1);
}

TEST(ACObjectTest, ReleaseAtZeroStaysZeroAndKeepsTheObject) {
  bool destroyed = false;
  {
    Tracked t(&destroyed);
    EXPECT_EQ(t.Release(), 0);
    EXPECT_EQ(t.RefCount(), 0);
    EXPECT_FALSE(destroyed);
  }
  EXPECT_TRUE(destroyed);
}

TEST(ACObjectTest, LastReleaseDeletesTheObject) {
  bool destroyed = false;
  auto* t = new Tracked(&destroyed);
  EXPECT_EQ(t->AddRef(), 1);
  EXPECT_EQ(t->AddRef(), 2);
  EXPECT_EQ(t->Release(), 1);
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(t->Release(), 0);
  EXPECT_TRUE(destroyed);
}

TEST(ACObjectTest, ReservedSlotsKeepTheirResults) {
  ACObject o;
  int32_t v = 0;
  EXPECT_EQ(o.Reserved3(), 0);
  EXPECT_EQ(o.Reserved4(7), 0);
  EXPECT_EQ(o.Reserved5(&v), 1);
  EXPECT_EQ(v, 1);
}

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

TEST(ACObjectLockTest, LockZeroOnAHeldObjectFailsAtOnce) {
  ACObject o;
  Holder h(o);
  const auto t0 = Clock::now();
  EXPECT_EQ(o.Lock(0), 0);
  EXPECT_LT(msSince(t0), 50);
}

TEST(ACObjectLockTest, Lock250TriesFourTimesOverAbout300Ms) {
  ACObject o;
  Holder h(o);
  FakeClock clock(5000);
  EXPECT_EQ(o.LockWithClock(250, clock), 0);
  EXPECT_EQ(clock.sleeps_, 3);    // tries at 0, 100, 200 and 300 ms
  EXPECT_EQ(clock.slept_, 300u);

  const auto t0 = Clock::now();
  EXPECT_EQ(o.Lock(250), 0);
  const int64_t took = msSince(t0);
  EXPECT_GE(took, 290);
  EXPECT_LT(took, 2000);
}

TEST(ACObjectLockTest, TimedLockSucceedsWhenTheHolderLetsGo) {
  ACObject o;
  auto h = std::make_unique<Holder>(o);
  std::thread letGo([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    h.reset();
  });
  EXPECT_EQ(o.Lock(2000), 1);
  o.Unlock();
  letGo.join();
}

TEST(ACObjectLockTest, CounterWrapDoesNotEndTheWaitEarly) {
  ACObject o;
  Holder h(o);
  // 100 ms before the 32-bit tick count wraps.
  FakeClock clock(0xFFFFFFFFu - 99);
  EXPECT_EQ(o.LockWithClock(250, clock), 0);
  EXPECT_EQ(clock.slept_, 300u) << "same tries as without a wrap";
  // A wrap right at the start of a long wait.
  FakeClock atWrap(0xFFFFFFFFu);
  EXPECT_EQ(o.LockWithClock(1000, atWrap), 0);
  EXPECT_GE(atWrap.slept_, 1000u);
  EXPECT_LE(atWrap.slept_, 1100u);
}

TEST(ACObjectLockTest, ElapsedTimeAcrossTheWrap) {
  EXPECT_EQ(acElapsedMs(100, 250), 150u);
  EXPECT_EQ(acElapsedMs(0xFFFFFFF0u, 0x10u), 0x1Fu);  // one less than the modular difference
  EXPECT_EQ(acElapsedMs(5, 5), 0u);
}

TEST(ACObjectLockTest, OtherNegativeTimeoutsTryOnce) {
  ACObject o;
  Holder h(o);
  FakeClock clock(0);
  EXPECT_EQ(o.LockWithClock(-5, clock), 0);
  EXPECT_EQ(clock.sleeps_, 0);
}

TEST(ACEventTest, ManualResetStaysSignalledUntilReset) {
  ACEvent e(ACEvent::kManualReset);
  EXPECT_FALSE(e.Wait(0));
  e.Set();
  EXPECT_TRUE(e.Wait(0));
  EXPECT_TRUE(e.Wait(0));
  EXPECT_TRUE(e.IsSet());
  e.Reset();
  EXPECT_FALSE(e.Wait(0));
}

TEST(ACEventTest, AutoResetLetsOneWaitThrough) {
  ACEvent e(ACEvent::kAutoReset);
  e.Set();
  EXPECT_TRUE(e.IsSet());
  EXPECT_TRUE(e.IsSet()) << "IsSet does not consume";
  EXPECT_TRUE(e.Wait(0));
  EXPECT_FALSE(e.Wait(0));
}

TEST(ACEventTest, WaitTimesOut) {
  ACEvent e(ACEvent::kManualReset);
  const auto t0 = Clock::now();
  EXPECT_FALSE(e.Wait(30));
  EXPECT_GE(msSince(t0), 29);
}

TEST(ACEventTest, SetWakesAWaiterOnAnotherThread) {
  ACEvent e(ACEvent::kAutoReset);
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    e.Set();
  });
  const auto t0 = Clock::now();
  EXPECT_TRUE(e.Wait(5000));
  EXPECT_LT(msSince(t0), 2000);
  setter.join();
  EXPECT_FALSE(e.IsSet()) << "the wait consumed it";
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
}

TEST(WaitForEventsTest, WakesOnAnyEventAndTimesOut) {
  ACEvent e0(ACEvent::kAutoReset), e1(ACEvent::kAutoReset), e2(ACEvent::kAutoReset);
  ACEvent* all[] = {&e0, &e1, &e2};
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    e2.Set();
  });
  EXPECT_EQ(WaitForEvents(all, 3, 5000), 2);
  setter.join();
  const auto t0 = Clock::now();
  EXPECT_EQ(WaitForEvents(all, 3, 20), kWaitTimeout);
  EXPECT_GE(msSince(t0), 19);
}

TEST(WaitForEventsTest, BadArgumentsFailWithoutWaiting) {
  ACEvent e(ACEvent::kManualReset, true);
  ACEvent* one[] = {&e};
  ACEvent* none[] = {nullptr};
  EXPECT_EQ(WaitForEvents(one, 0, 1000), kWaitFailed);
  EXPECT_EQ(WaitForEvents(none, 1, 1000), kWaitFailed);
  EXPECT_EQ(WaitForEvents(nullptr, 1, 1000), kWaitFailed);
  EXPECT_EQ(WaitForEvents(one, kMaxWaitEvents + 1, 1000), kWaitFailed);
  EXPECT_EQ(WaitForEvents(one, 1, 0), 0);
}

TEST(ACSemaphoreTest, CountStopsAtItsMaximum) {
  ACSemaphore s(0, 1);
  EXPECT_FALSE(s.Acquire(0));
  EXPECT_TRUE(s.Release());
  EXPECT_FALSE(s.Release());
  EXPECT_TRUE(s.Acquire(0));
  EXPECT_FALSE(s.Acquire(10));
}

TEST(ACThreadTest, RunsJoinsAndRestarts) {
  ACThread t;
  std::atomic<bool> stop{false};
  std::atomic<int> runs{0};
  auto body = [&] {
    ++runs;
    while (!stop) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  ASSERT_TRUE(t.Start(body));
  EXPECT_FALSE(t.Start(body)) << "one thread at a time";
  EXPECT_TRUE(t.Running());
  EXPECT_FALSE(t.WaitEnded(20));
  stop = true;
  EXPECT_TRUE(t.WaitEnded(2000));
  EXPECT_FALSE(t.Running());
  EXPECT_FALSE(t.Attached());
  stop = false;
  ASSERT_TRUE(t.Start(body));
  stop = true;
  t.Join();
  EXPECT_EQ(runs.load(), 2);
}

TEST(TickCountTest, AdvancesInMilliseconds) {
  const uint32_t a = acTickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  const uint32_t d = acElapsedMs(a, acTickCount());
  EXPECT_GE(d, 29u);
  EXPECT_LT(d, 2000u);
}

TEST(CodecLockTest, IsOneRecursiveProcessWideLock) {
  std::lock_guard<ACCriticalSection> outer(CodecLock);
  std::lock_guard<ACCriticalSection> inner(CodecLock);
  std::atomic<bool> got{true};
  std::thread([&] {
    got = CodecLock.TryEnter();
    if (got) CodecLock.Leave();
  }).join();
  EXPECT_FALSE(got.load());
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
