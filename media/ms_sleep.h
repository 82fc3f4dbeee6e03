// Sleeps with a resolution of 1 ms for the playback clock.
//
// A periodic 1 ms timer thread (absolute deadlines on the monotonic clock)
// counts a sleeper's countdown down; when it reaches 0 the timer releases a
// semaphore that the sleeper waits on. So a sleep of n ms ends on the n-th
// tick after the call. The timer does not wake for the ticks that only count
// down: it waits for the end of the n-th period and counts them all then.
// While nobody sleeps the timer does not tick: it waits for the next sleep,
// which starts its periods. Without a running timer, Sleep falls back to the
// ordinary sleep.
//
// One thread sleeps (the clock thread); the timer thread only moves the
// countdown from n to n - 1 and from 0 to -1, and only the sleeper sets it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "media/ac_sync.h"

namespace media {

class msSleep {
 public:
  msSleep() = default;
  ~msSleep();  // stops the timer
  msSleep(const msSleep&) = delete;
  msSleep& operator=(const msSleep&) = delete;

  // Starts the 1 ms timer. 1 = timer running, 0 = no timer. Calling it while
  // the timer runs restarts nothing and returns 1.
  int Start();
  // Sleeps ms milliseconds; 0 (or less) returns at once.
  void Sleep(int ms);
  // Stops the timer; later sleeps use the ordinary sleep.
  void Stop();

  // The timer period in ms (1 while the timer runs, 0 before).
  uint32_t Period() const { return period_; }
  bool TimerRunning() const { return timerId_.load(std::memory_order_acquire) != 0; }

 private:
  void TimerLoop();
  // One period, ended at periodEndNs (monotonic), has passed.
  void Tick(int64_t periodEndNs);

  // The timer's id: 1 while the timer thread runs, 0 when no timer runs.
  // Written by Start/Stop (the sleeping thread), read by Sleep.
  std::atomic<uint32_t> timerId_{0};
  // Two values set to 4 and 6 when the timer starts; nothing reads them.
  uint16_t startValueA_ = 0;
  uint16_t startValueB_ = 0;
  uint32_t period_ = 0;  // ms; written by Start before the timer thread starts
  ACSemaphore semaphore_{0, 1};
  // -1 idle; n > 0: n ticks to go; 0: the next tick ends the sleep.
  // Set by the sleeper, counted down by the timer thread.
  std::atomic<int32_t> countdown_{-1};
  // Monotonic time (ns) at which the sleeper set the countdown: the timer's
  // catch-up ticks for periods that ended before it do not count for it.
  std::atomic<int64_t> sleepStartNs_{0};
  std::atomic<bool> stopTimer_{false};  // set by Stop, read by the timer thread
  // Wake the timer's timed wait on the stop (stopTimer_ is set under the lock).
  std::mutex stopLock_;
  std::condition_variable stopChanged_;
  // Set by Sleep (after the countdown) and by Stop; wakes an idle timer.
  ACEvent armed_{ACEvent::kAutoReset};
  ACThread timer_;
};

}  // namespace media
