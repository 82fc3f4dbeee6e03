#include "media/ac_object.h"

#include <cstddef>
#include <mutex>

namespace media {

// The parameter block keeps its declared field order.
static_assert(offsetof(ACParam, positiveValues) < offsetof(ACParam, nonNegativeValues));
static_assert(offsetof(ACParam, nonNegativeValues) < offsetof(ACParam, byteValues));
static_assert(offsetof(ACParam, byteValues) < offsetof(ACParam, channelCount));
static_assert(offsetof(ACParam, channelCount) < offsetof(ACParam, windows));
static_assert(offsetof(ACParam, windows) < offsetof(ACParam, owner));
static_assert(offsetof(ACParam, owner) < offsetof(ACParam, soundChannels));
static_assert(offsetof(ACParam, soundChannels) < offsetof(ACParam, soundSampleRate));
static_assert(offsetof(ACParam, soundSampleRate) < offsetof(ACParam, soundBitsPerSample));
static_assert(offsetof(ACParam, soundBitsPerSample) < offsetof(ACParam, perChannelValues));

namespace {
// Incremented before use: the first object ever made has id 1. Ids are never
// reused.
std::atomic<int32_t> g_lastObjectId{0};
}  // namespace

int32_t acPeekNextObjectId() { return g_lastObjectId.load(std::memory_order_relaxed) + 1; }

ACObject::ACObject()
    : className_("ACObject"), objectId_(g_lastObjectId.fetch_add(1, std::memory_order_relaxed) + 1) {}

ACObject::~ACObject() = default;

int32_t ACObject::AddRef() {
  std::lock_guard<ACCriticalSection> g(countLock_);
  return ++refCount_;
}

int32_t ACObject::Release() {
  countLock_.Enter();
  if (refCount_ == 0) {
    countLock_.Leave();
    return 0;
  }
  const int32_t count = --refCount_;
  countLock_.Leave();
  if (count == 0) delete this;
  return count;
}

int32_t ACObject::Reserved3() { return 0; }

int32_t ACObject::Reserved4(int32_t) { return 0; }

int32_t ACObject::Reserved5(int32_t* result) {
  if (result != nullptr) *result = 1;
  return 1;
}

const char* ACObject::GetName() { return className_; }

int32_t ACObject::GetId() { return objectId_; }

int32_t ACObject::RefCount() {
  std::lock_guard<ACCriticalSection> g(countLock_);
  return refCount_;
}

int32_t ACObject::Lock(int32_t timeoutMs) { return LockWithClock(timeoutMs, ACTickClock::System()); }

int32_t ACObject::LockWithClock(int32_t timeoutMs, const ACTickClock& clock) {
  if (timeoutMs == -1) {
    objectLock_.Enter();
    return 1;
  }
  const uint32_t start = clock.Now();
  for (;;) {
    if (objectLock_.TryEnter()) return 1;
    const uint32_t elapsed = acElapsedMs(start, clock.Now());
    // Any other negative time-out is taken as 0 (one try), never as "forever".
    if (timeoutMs <= 0 || elapsed >= static_cast<uint32_t>(timeoutMs)) return 0;
    clock.SleepMs(kLockRetryMs);
  }
}

void ACObject::Unlock() { objectLock_.Leave(); }

int ACFilter::Reserved0(int, int64_t, unsigned char*, int, int) { return 0; }

int ACFilter::Reserved1(int, int, int, int, int, int, int) { return 0; }

}  // namespace media
