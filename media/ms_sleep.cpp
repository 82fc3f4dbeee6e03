#include "media/ms_sleep.h"

#include <time.h>

#include <chrono>

namespace media {

namespace {

constexpr long kNsPerMs = 1000000L;
constexpr long kNsPerSecond = 1000000000L;
// A timer that fell this many ticks behind (the machine was suspended, or the
// thread was not scheduled for that long) starts counting afresh.
constexpr int kMaxCatchUpTicks = 1000;
// A sleep whose timer never answers gives up after this much extra time.
constexpr int kSleepGraceMs = 1000;

void addNs(timespec& t, long ns) {
  t.tv_nsec += ns;
  while (t.tv_nsec >= kNsPerSecond) {
    t.tv_nsec -= kNsPerSecond;
    ++t.tv_sec;
  }
}

int64_t toNs(const timespec& t) { return static_cast<int64_t>(t.tv_sec) * kNsPerSecond + t.tv_nsec; }

int64_t monotonicNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return toNs(t);
}

// The monotonic clock as the standard library's steady clock (the same
// clock on Linux), for the timer's waits.
using SteadyTime = std::chrono::steady_clock::time_point;

bool before(const timespec& a, const timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

}  // namespace

msSleep::~msSleep() { Stop(); }

int msSleep::Start() {
  if (timerId_.load(std::memory_order_acquire) != 0) return 1;
  startValueA_ = 4;
  startValueB_ = 6;
  semaphore_.Drain();
  // The monotonic clock's resolution stands for the timer capabilities: its
  // minimum period, raised to 1 ms; the maximum period is never below 1 ms.
  timespec res{};
  if (clock_getres(CLOCK_MONOTONIC, &res) != 0) return 0;
  const long minPeriodMs = (res.tv_sec * kNsPerSecond + res.tv_nsec) / kNsPerMs;
  period_ = minPeriodMs < 1 ? 1 : static_cast<uint32_t>(minPeriodMs);
  stopTimer_.store(false, std::memory_order_release);
  if (!timer_.Start([this] { TimerLoop(); }, "cv-mssleep")) return 0;
  timerId_.store(1, std::memory_order_release);
  return 1;
}

void msSleep::Stop() {
  if (!timer_.Attached()) return;
  {
    std::lock_guard<std::mutex> lock(stopLock_);
    stopTimer_.store(true, std::memory_order_release);
  }
  stopChanged_.notify_all();
  timerId_.store(0, std::memory_order_release);
  armed_.Set();
  timer_.Join();  // the timer thread wakes on the stop and sees the flag
}

void msSleep::TimerLoop() {
  const long periodNs = static_cast<long>(period_) * kNsPerMs;
  timespec next{};
  clock_gettime(CLOCK_MONOTONIC, &next);
  addNs(next, periodNs);
  while (!stopTimer_.load(std::memory_order_acquire)) {
    if (countdown_.load(std::memory_order_acquire) < 0) {
      // Nobody sleeps: the timer waits for the next sleep instead of
      // ticking for nothing, and starts its periods afresh from then, so
      // that the sleep's n-th tick comes n periods after the sleep began.
      // A sleep and the stop both set armed_.
      armed_.Wait(kInfinite);
      clock_gettime(CLOCK_MONOTONIC, &next);
      addNs(next, periodNs);
      continue;
    }
    // The periods before the one that ends the sleep only count it down:
    // the timer wakes once, at the end of the sleep's last period, and
    // counts every period passed below (as it does after a late wake-up).
    // The stop ends the wait.
    // (A long sleep is counted in pieces that stay well below the catch-up
    // limit, which would start the periods afresh.)
    int32_t toGo = countdown_.load(std::memory_order_acquire);
    if (toGo > kMaxCatchUpTicks / 2) toGo = kMaxCatchUpTicks / 2;
    timespec until = next;
    if (toGo > 0) addNs(until, static_cast<long>(toGo) * periodNs);
    {
      std::unique_lock<std::mutex> lock(stopLock_);
      stopChanged_.wait_until(lock, SteadyTime(std::chrono::nanoseconds(toNs(until))),
                              [this] { return stopTimer_.load(std::memory_order_acquire); });
    }
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    // One tick for every period that has passed, so sleeps keep real time
    // even when this thread was scheduled late; but a period that ended
    // before the sleeper began does not count towards its sleep (Tick
    // decides that per tick: a sleep may begin while this thread catches up).
    int ticks = 0;
    while (!before(now, next) && ticks < kMaxCatchUpTicks) {
      Tick(toNs(next));
      addNs(next, periodNs);
      ++ticks;
    }
    if (ticks == kMaxCatchUpTicks) {
      next = now;
      addNs(next, periodNs);
    }
  }
}

void msSleep::Tick(int64_t periodEndNs) {
  int32_t c = countdown_.load(std::memory_order_acquire);
  if (c < 0) return;
  // The start is read after the countdown: the sleeper writes its start
  // first, so this is the start of the sleep whose countdown was read (or of
  // a later one), never that of the sleep before it.
  if (periodEndNs <= sleepStartNs_.load(std::memory_order_acquire)) return;
  if (c == 0) {
    // The sleeper may give up at the same moment (exchanging -1 in); only the
    // side that moves the countdown off 0 decides whether a release follows.
    if (countdown_.compare_exchange_strong(c, -1, std::memory_order_acq_rel)) semaphore_.Release();
  } else if (c > 0) {
    countdown_.compare_exchange_strong(c, c - 1, std::memory_order_acq_rel);
  }
}

void msSleep::Sleep(int ms) {
  if (ms <= 0) return;
  if (timerId_.load(std::memory_order_acquire) == 0) {
    acSleepMs(ms);
    return;
  }
  semaphore_.Drain();
  sleepStartNs_.store(monotonicNs(), std::memory_order_release);
  countdown_.store(ms - 1, std::memory_order_release);
  armed_.Set();
  if (semaphore_.Acquire(ms + kSleepGraceMs)) return;
  // The timer did not answer in time. Take the countdown back; if the timer
  // had already moved it to -1, its release is on the way: consume it so that
  // the next sleep does not end early.
  if (countdown_.exchange(-1, std::memory_order_acq_rel) == -1) semaphore_.Acquire(kSleepGraceMs);
}

}  // namespace media
