// Thread primitives of the media pipeline: critical sections, events, waits
// on one or several events, a counting semaphore, the 32-bit millisecond tick
// count, a joinable thread with a bounded wait, and the process-wide CodecLock.
//
// Events behave like the kernel objects the pipeline was designed around: a
// manual-reset event stays signalled until Reset; an auto-reset event lets
// exactly one wait through and clears itself. WaitForEvents returns the index
// of the lowest signalled event, so when several are set at once the lowest
// index wins.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace media {

// A recursive lock, like a critical section: the owning thread may enter it
// again and must leave it as often as it entered. Satisfies Lockable.
class ACCriticalSection {
 public:
  ACCriticalSection() = default;
  ACCriticalSection(const ACCriticalSection&) = delete;
  ACCriticalSection& operator=(const ACCriticalSection&) = delete;

  void Enter() { mutex_.lock(); }
  bool TryEnter() { return mutex_.try_lock(); }
  void Leave() { mutex_.unlock(); }

  void lock() { Enter(); }
  bool try_lock() { return TryEnter(); }
  void unlock() { Leave(); }

 private:
  std::recursive_mutex mutex_;
};

// Result of a wait that ran out of time.
constexpr int kWaitTimeout = -1;
// Result of a wait that could not be made (no events, a null event, more
// than kMaxWaitEvents).
constexpr int kWaitFailed = -2;
// Time-out value meaning "no limit". Only for waits that a stop ends anyway.
constexpr int kInfinite = -1;

class ACEvent {
 public:
  enum ResetMode { kAutoReset = 0, kManualReset = 1 };

  // Created unsignalled unless `signalled` is true.
  constexpr explicit ACEvent(ResetMode mode, bool signalled = false)
      : manual_(mode == kManualReset), signalled_(signalled) {}
  // No thread may be waiting on the event any more.
  ~ACEvent();
  ACEvent(const ACEvent&) = delete;
  ACEvent& operator=(const ACEvent&) = delete;

  // Signals the event and wakes its waiters.
  void Set();
  // Clears the event.
  void Reset();
  // Waits until the event is signalled; an auto-reset event is cleared by the
  // wait that sees it. timeoutMs 0 tests without waiting, kInfinite waits
  // without limit. Returns true when signalled, false on time-out.
  bool Wait(int timeoutMs);
  // True when signalled; never clears the event and never waits.
  bool IsSet() const;
  bool IsManualReset() const { return manual_; }

 private:
  friend int WaitForEvents(ACEvent* const* events, int count, int timeoutMs);
  struct WaitNode;
  // Takes the signal if there is one (clearing an auto-reset event).
  bool TryTake();

  const bool manual_;
  // Written under the event table's lock (ac_sync.cpp); atomic so that IsSet
  // may peek without taking it, and so that a wait on this event alone may
  // take it (an auto-reset one by exchange) without the lock.
  std::atomic<bool> signalled_;
  WaitNode* waiters_ = nullptr;  // guarded by the event table's lock
  // A wait on this event alone sleeps on this word, which every Set moves
  // on, instead of on the table: the threads that wait on one event each
  // (a held display, a queue's consumer) do not meet on the table's lock at
  // every wake-up. `loneWaiters_` counts them, so that a Set with none wakes
  // nobody. Both are changed only by atomic operations.
  std::atomic<uint32_t> setCount_{0};
  std::atomic<int> loneWaiters_{0};
};

// Waits for any of `count` events (1..64). Returns the index of the event that
// ended the wait (the lowest signalled index; an auto-reset event at that
// index is cleared), kWaitTimeout, or kWaitFailed for bad arguments.
// timeoutMs as in ACEvent::Wait.
int WaitForEvents(ACEvent* const* events, int count, int timeoutMs);
constexpr int kMaxWaitEvents = 64;

// The two wake-ups of a fixed queue whose operations never wait: "data"
// (a producer stored an item) and "space" (a consumer freed a slot, or the
// queue was cleared). A consumer that found the queue empty, or a producer
// that found it full, waits on the matching one, bounded by its time-out,
// instead of sleeping and looking again; whoever stops it or asks it for
// something else calls WakeWaiters. Both are auto-reset: a signal given
// between a failed look and the wait is not lost, and a wake-up may be
// spurious, so the waiter always looks again.
class ACQueueSignals {
 public:
  // Call without holding the queue's lock. True when woken, false on
  // time-out.
  bool WaitForData(int timeoutMs) { return data_.Wait(timeoutMs); }
  bool WaitForSpace(int timeoutMs) { return space_.Wait(timeoutMs); }
  // The same, also ended by `orWake` when given (a producer's give-up).
  bool WaitForSpace(int timeoutMs, ACEvent* orWake) {
    if (orWake == nullptr) return WaitForSpace(timeoutMs);
    ACEvent* const events[2] = {&space_, orWake};
    return WaitForEvents(events, 2, timeoutMs) >= 0;
  }
  void WakeWaiters() {
    data_.Set();
    space_.Set();
  }
  // For a wait on the data event and others at once (WaitForEvents).
  ACEvent* DataEvent() { return &data_; }

 protected:
  void NoteData() { data_.Set(); }
  void NoteSpace() { space_.Set(); }

 private:
  ACEvent data_{ACEvent::kAutoReset};
  ACEvent space_{ACEvent::kAutoReset};
};

// Counting semaphore with a maximum count.
class ACSemaphore {
 public:
  ACSemaphore(int initial, int maximum) : count_(initial), max_(maximum) {}
  ACSemaphore(const ACSemaphore&) = delete;
  ACSemaphore& operator=(const ACSemaphore&) = delete;

  // Adds one to the count unless it is at its maximum; false then.
  bool Release();
  // Takes one from the count, waiting up to timeoutMs for it to be positive.
  bool Acquire(int timeoutMs);
  // Sets the count back to 0.
  void Drain();

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  int count_;  // guarded by mutex_
  const int max_;
};

// Milliseconds since an arbitrary start, as a 32-bit counter that wraps
// after about 49.7 days.
uint32_t acTickCount();

// The tick count and sleep a timed wait uses; tests inject their own to run
// a wait across the counter's wrap without waiting 49 days.
class ACTickClock {
 public:
  virtual ~ACTickClock() = default;
  virtual uint32_t Now() const { return acTickCount(); }
  virtual void SleepMs(uint32_t ms) const;
  static const ACTickClock& System();
};

// Milliseconds from `start` to `now` on the wrapping 32-bit counter, computed
// as the recorder's software always has: now - start, or, when the counter
// wrapped (now < start), 0xFFFFFFFF - start + now.
inline uint32_t acElapsedMs(uint32_t start, uint32_t now) {
  return now >= start ? now - start : 0xFFFFFFFFu - start + now;
}

// Ordinary sleep of the calling thread.
void acSleepMs(int ms);

// Names the calling thread (cut to the 15 bytes the system keeps).
void acSetThreadName(const char* name);

// The one process-wide lock that serialises every use of libavcodec.
extern ACCriticalSection CodecLock;

// A thread that its owner joins. The body must return soon after the owner
// raises the body's own stop flag; WaitEnded gives the bounded wait.
class ACThread {
 public:
  ACThread() = default;
  ~ACThread();  // joins; the owner has asked the body to stop before
  ACThread(const ACThread&) = delete;
  ACThread& operator=(const ACThread&) = delete;

  // Starts the body on a new thread named `name` (what ps and top show per
  // thread; cut to 15 bytes; null keeps the process's name). False when a
  // thread is still attached (running, or ended and not yet joined) or
  // cannot be created.
  bool Start(std::function<void()> body, const char* name = nullptr);
  // True from Start until the body has returned.
  bool Running() const { return running_.load(std::memory_order_acquire); }
  // True when a thread is attached (started and not yet joined).
  bool Attached() const { return thread_.joinable(); }
  // Waits up to timeoutMs for the body to return and joins it when it has.
  // True when no thread is attached any more.
  bool WaitEnded(int timeoutMs);
  // Waits without limit for the body to return and joins it.
  void Join();

 private:
  std::thread thread_;
  std::atomic<bool> running_{false};
  ACEvent ended_{ACEvent::kManualReset};
};

}  // namespace media
