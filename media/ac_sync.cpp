#include "media/ac_sync.h"

#include <linux/futex.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include <chrono>
#include <cstring>
#include <string>
#include <system_error>

namespace media {

namespace {

// One lock for the state of every event, as a kernel keeps one dispatcher
// lock: a wait on several events checks and registers on all of them
// atomically, which per-event locks could not do without ordering them.
// The sections under it are a few instructions long.
std::mutex g_eventTableLock;

struct Waiter {
  std::condition_variable cv;
};

using Clock = std::chrono::steady_clock;

// Sleeps while *word is `expected`, until `deadline` on the monotonic clock
// (null: no limit). Returns at once when the word has moved on; a wake-up may
// be spurious.
void futexWait(std::atomic<uint32_t>* word, uint32_t expected, const timespec* deadline) {
  static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t), "the futex word is the atomic's");
  syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAIT_BITSET | FUTEX_PRIVATE_FLAG, expected, deadline,
          nullptr, FUTEX_BITSET_MATCH_ANY);
}

void futexWakeAll(std::atomic<uint32_t>* word) {
  syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAKE | FUTEX_PRIVATE_FLAG, INT_MAX, nullptr, nullptr,
          0);
}

}  // namespace

struct ACEvent::WaitNode {
  Waiter* waiter = nullptr;
  WaitNode* prev = nullptr;
  WaitNode* next = nullptr;
};

ACCriticalSection CodecLock;

ACEvent::~ACEvent() = default;

void ACEvent::Set() {
  // Everything under the table's lock: a lone waiter that took the signal
  // passes through the lock before it returns (Wait), so that no Set still
  // touches the event once its waiter may destroy it.
  std::lock_guard<std::mutex> lk(g_eventTableLock);
  signalled_.store(true, std::memory_order_seq_cst);
  setCount_.fetch_add(1, std::memory_order_seq_cst);
  for (WaitNode* n = waiters_; n != nullptr; n = n->next) n->waiter->cv.notify_one();
  if (loneWaiters_.load(std::memory_order_seq_cst) != 0) futexWakeAll(&setCount_);
}

void ACEvent::Reset() {
  std::lock_guard<std::mutex> lk(g_eventTableLock);
  signalled_.store(false, std::memory_order_release);
}

bool ACEvent::IsSet() const { return signalled_.load(std::memory_order_acquire); }

bool ACEvent::TryTake() {
  if (manual_) return signalled_.load(std::memory_order_acquire);
  return signalled_.load(std::memory_order_relaxed) && signalled_.exchange(false, std::memory_order_acq_rel);
}

bool ACEvent::Wait(int timeoutMs) {
  timespec deadline{};
  if (timeoutMs > 0) {
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += timeoutMs / 1000;
    deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
      deadline.tv_nsec -= 1000000000L;
      ++deadline.tv_sec;
    }
  }
  bool taken = false;
  for (;;) {
    // The count is read before the look: a Set after the look moves it on,
    // and the sleep below then ends at once.
    const uint32_t seen = setCount_.load(std::memory_order_seq_cst);
    if (TryTake()) {
      taken = true;
      break;
    }
    if (timeoutMs == 0) break;
    if (timeoutMs > 0) {
      timespec now{};
      clock_gettime(CLOCK_MONOTONIC, &now);
      if (now.tv_sec > deadline.tv_sec || (now.tv_sec == deadline.tv_sec && now.tv_nsec >= deadline.tv_nsec)) break;
    }
    loneWaiters_.fetch_add(1, std::memory_order_seq_cst);
    futexWait(&setCount_, seen, timeoutMs > 0 ? &deadline : nullptr);
    loneWaiters_.fetch_sub(1, std::memory_order_seq_cst);
  }
  if (taken) {
    // The Set that signalled may still hold the table's lock, inside the
    // event: wait until it has left before the caller may destroy it.
    std::lock_guard<std::mutex> lk(g_eventTableLock);
  }
  return taken;
}

int WaitForEvents(ACEvent* const* events, int count, int timeoutMs) {
  if (events == nullptr || count < 1 || count > kMaxWaitEvents) return kWaitFailed;
  for (int i = 0; i < count; ++i)
    if (events[i] == nullptr) return kWaitFailed;

  // Under g_eventTableLock: the lowest signalled index, consuming an
  // auto-reset event; -1 when none is signalled.
  auto take = [&]() -> int {
    for (int i = 0; i < count; ++i) {
      ACEvent* e = events[i];
      // (An auto-reset event is taken by exchange: a lone waiter may take
      // it at the same moment without the lock.)
      if (e->TryTake()) return i;
    }
    return -1;
  };

  std::unique_lock<std::mutex> lk(g_eventTableLock);
  int hit = take();
  if (hit >= 0 || timeoutMs == 0) return hit >= 0 ? hit : kWaitTimeout;

  Waiter waiter;
  ACEvent::WaitNode nodes[kMaxWaitEvents];
  for (int i = 0; i < count; ++i) {
    ACEvent::WaitNode& n = nodes[i];
    n.waiter = &waiter;
    n.prev = nullptr;
    n.next = events[i]->waiters_;
    if (n.next != nullptr) n.next->prev = &n;
    events[i]->waiters_ = &n;
  }

  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    if (timeoutMs < 0) {
      waiter.cv.wait(lk);
    } else if (waiter.cv.wait_until(lk, deadline) == std::cv_status::timeout) {
      hit = take();
      break;
    }
    hit = take();
    if (hit >= 0) break;
  }

  for (int i = 0; i < count; ++i) {
    ACEvent::WaitNode& n = nodes[i];
    if (n.prev != nullptr)
      n.prev->next = n.next;
    else
      events[i]->waiters_ = n.next;
    if (n.next != nullptr) n.next->prev = n.prev;
  }
  return hit >= 0 ? hit : kWaitTimeout;
}

bool ACSemaphore::Release() {
  std::lock_guard<std::mutex> lk(mutex_);
  if (count_ >= max_) return false;
  ++count_;
  cv_.notify_one();
  return true;
}

bool ACSemaphore::Acquire(int timeoutMs) {
  std::unique_lock<std::mutex> lk(mutex_);
  auto positive = [this] { return count_ > 0; };
  if (timeoutMs < 0) {
    cv_.wait(lk, positive);
  } else if (!cv_.wait_for(lk, std::chrono::milliseconds(timeoutMs), positive)) {
    return false;
  }
  --count_;
  return true;
}

void ACSemaphore::Drain() {
  std::lock_guard<std::mutex> lk(mutex_);
  count_ = 0;
}

uint32_t acTickCount() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
  return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

void ACTickClock::SleepMs(uint32_t ms) const { acSleepMs(static_cast<int>(ms)); }

const ACTickClock& ACTickClock::System() {
  static const ACTickClock clock;
  return clock;
}

void acSleepMs(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

ACThread::~ACThread() { Join(); }

void acSetThreadName(const char* name) {
  if (name == nullptr) return;
  char cut[16];
  std::strncpy(cut, name, sizeof cut - 1);
  cut[sizeof cut - 1] = '\0';
  pthread_setname_np(pthread_self(), cut);
}

bool ACThread::Start(std::function<void()> body, const char* name) {
  if (thread_.joinable() || !body) return false;
  ended_.Reset();
  running_.store(true, std::memory_order_release);
  try {
    thread_ = std::thread([this, body = std::move(body), name = std::string(name != nullptr ? name : "")] {
      if (!name.empty()) acSetThreadName(name.c_str());
      body();
      running_.store(false, std::memory_order_release);
      ended_.Set();
    });
  } catch (const std::system_error&) {
    running_.store(false, std::memory_order_release);
    return false;
  }
  return true;
}

bool ACThread::WaitEnded(int timeoutMs) {
  if (!thread_.joinable()) return true;
  if (!ended_.Wait(timeoutMs)) return false;
  thread_.join();
  return true;
}

void ACThread::Join() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace media
