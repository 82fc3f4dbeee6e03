// The base of every long-lived object of the media pipeline (queues, sound
// ring, snapshot filter), the filter interface handed to the live library,
// and the parameter block of InitFilter.
#pragma once

#include <atomic>
#include <cstdint>

#include "media/ac_sync.h"

namespace media {

// Reference count, name, serial number and a lock with a time-out. Derived
// classes take it as a virtual base, so one object holds one ACObject part.
// Not copyable: a copy would share the lock and whatever buffers the derived
// object owns, and both copies would free them.
class ACObject {
 public:
  ACObject();
  virtual ~ACObject();
  ACObject(const ACObject&) = delete;
  ACObject& operator=(const ACObject&) = delete;

  // Under the count lock: count + 1; returns the new count.
  virtual int32_t AddRef();
  // Under the count lock: a count of 0 stays 0 and 0 is returned; otherwise
  // count - 1, and an object whose count reaches 0 deletes itself (it must
  // have been made with new) and 0 is returned.
  virtual int32_t Release();
  // Three operations that keep their places in the table and do nothing:
  virtual int32_t Reserved3();                  // returns 0
  virtual int32_t Reserved4(int32_t value);     // returns 0
  virtual int32_t Reserved5(int32_t* result);   // stores 1 through result; returns 1
  virtual const char* GetName();  // "ACObject"
  virtual int32_t GetId();
  // 1 = locked, 0 = timed out. -1 waits as long as it takes; 0 tries once;
  // otherwise tries every 100 ms until the time-out has passed on the tick
  // count (so it is honoured to within 100 ms). Recursive: the holder may
  // lock again and unlocks as often.
  virtual int32_t Lock(int32_t timeoutMs);
  virtual void Unlock();

  // Lock with the tick count and sleep of `clock`; Lock uses the system's.
  int32_t LockWithClock(int32_t timeoutMs, const ACTickClock& clock);

  // The count as it stands (for tests and diagnostics).
  int32_t RefCount();

  // The retry interval of a timed Lock.
  static constexpr uint32_t kLockRetryMs = 100;

 private:
  int32_t refCount_ = 0;  // guarded by countLock_
  const char* className_;
  int32_t objectId_;
  [[maybe_unused]] int32_t unusedWord_ = 0;  // kept in its place; nothing reads it
  ACCriticalSection countLock_;
  ACCriticalSection objectLock_;
};

// The next id the process-wide counter would give (for tests).
int32_t acPeekNextObjectId();

// The filter interface the live-streaming library receives. Both operations
// do nothing and return 0; the library reaches the real work through the
// video filter's own methods.
class ACFilter {
 public:
  ACFilter() = default;
  virtual ~ACFilter() = default;
  // The shape of ShowMovie: channel, timestamp, picture, width, height.
  virtual int Reserved0(int channel, int64_t dts, unsigned char* data, int width, int height);
  virtual int Reserved1(int a, int b, int c, int d, int e, int f, int g);
};

// Window handle as the media side holds it: an opaque pointer to the pane
// (or owner window) that a renderer draws into; null = none.
using ACWindowHandle = void*;

// Parameter block of InitFilter. Field order is fixed; see each field for
// what a filter takes over.
struct ACParam {
  // Taken over by a filter only when > 0.
  int32_t positiveValues[4] = {-1, -1, -1, -1};
  // Taken over only when >= 0.
  int32_t nonNegativeValues[2] = {-1, -1};
  // Taken over as they are.
  uint8_t byteValues[4] = {128, 92, 128, 128};
  // How many of `windows` are in use.
  int32_t channelCount = -1;
  // One per channel; null = no display for that channel.
  ACWindowHandle windows[4] = {nullptr, nullptr, nullptr, nullptr};
  // The main window.
  ACWindowHandle owner = nullptr;
  uint16_t soundChannels = 0;
  uint16_t soundSampleRate = 0;
  uint16_t soundBitsPerSample = 0;
  uint8_t padding[2] = {0, 0};
  int32_t perChannelValues[4] = {-1, -1, -1, -1};
};

}  // namespace media
