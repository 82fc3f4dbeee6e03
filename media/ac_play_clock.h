// The playback clock: paces recording time.
//
// A reader pushes each new video time into the clock's timestamp list; the
// clock thread takes them in order, sleeps so that recording time passes at
// the chosen speed (following the sound card's played time while sound
// plays), hands each time to the video filter (CurDTS) and posts
// WM_PLAY_TIME (second, length) to its owner. Play, pause, step, fast, stop
// and restart are the seven mode requests.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include "media/ac_dts_list.h"
#include "media/ac_messages.h"
#include "media/ac_sync.h"

namespace media {

struct PlayGates;

class ACMovieFilter;
class ACSoundPlayer;
class msSleep;

class ACPlayClock {
 public:
  enum Mode : int {
    kModePlay = 0,
    kModePlayRaw = 1,
    kModeFast = 2,   // second play: key frames as fast as they come
    kModeStep = 3,
    kModePause = 4,
    kModeRestart = 5,  // after a seek or a new file
    kModeStop = 6,
  };
  static constexpr int kNormalSpeed = 16;

  // owner receives WM_PLAY_TIME; null = no messages.
  explicit ACPlayClock(ACMessageSink* owner);
  ~ACPlayClock();  // stop flag, bounded wait for the thread
  ACPlayClock(const ACPlayClock&) = delete;
  ACPlayClock& operator=(const ACPlayClock&) = delete;

  // Stores both and starts the clock thread if none runs. soundPlayer may be null.
  void Start(ACMovieFilter* movieFilter, ACSoundPlayer* soundPlayer);
  // Resets the three manual events, then signals the mode's event (0..6).
  void SetMode(int mode);
  // 1, 2, 4, ... 256; 16 = normal. Taken at the next mode-0/1 pass.
  void SetSpeed(int speed);
  // Subject to the play gates. 0 = list full (retry in 2 ms), 1 = taken or dropped.
  int PushDTS(int64_t key, int64_t value);
  void ClearDTS();
  // Waits up to timeoutMs for the timestamp list to free an entry (a reader
  // whose PushDTS was refused waits here instead of sleeping). 1 = woken
  // (look again), 0 = timed out.
  int WaitForRoom(int timeoutMs);
  // Ends every WaitForRoom at once (see ACMovieFilter::WakeRoomWaiters).
  void WakeRoomWaiters();

  int Speed() const { return speed_.load(); }

  // The waits of the paced and fast passes. By default an msSleep on the
  // clock thread (in pieces of at most 50 ms, so that a stop is seen within
  // that time); tests give their own to see the exact waits the clock asks
  // for. Set before Start; called on the clock thread.
  using Sleeper = std::function<void(int ms)>;
  void SetSleeper(Sleeper sleeper);
  // The play gates PushDTS is subject to; null = not gated.
  void SetPlayGates(const PlayGates* gates) { gates_.store(gates); }

 private:
  void Run();
  void Wait(int ms);
  void Report(int64_t dts, int64_t value);
  int64_t PopEntry(int64_t* value, bool* found);

  ACMessageSink* const owner_;
  ACThread thread_;
  std::atomic<int> stop_{0};  // set by the destructor, read by the clock thread
  std::atomic<const PlayGates*> gates_{nullptr};  // set by the owner; read by pushing threads
  // Set by Start before the thread starts; read by the clock thread.
  ACMovieFilter* movieFilter_ = nullptr;
  ACSoundPlayer* soundPlayer_ = nullptr;
  // Modes 0-2 manual-reset, 3-6 auto-reset.
  ACEvent modeEvents_[7] = {ACEvent{ACEvent::kManualReset}, ACEvent{ACEvent::kManualReset},
                            ACEvent{ACEvent::kManualReset}, ACEvent{ACEvent::kAutoReset},
                            ACEvent{ACEvent::kAutoReset},   ACEvent{ACEvent::kAutoReset},
                            ACEvent{ACEvent::kAutoReset}};
  // Set by the destructor; ends the thread's waits.
  ACEvent stopEvent_{ACEvent::kManualReset};
  // Set by SetMode and the destructor: ends the wait for a timestamp.
  ACEvent wake_{ACEvent::kAutoReset};
  ACDTSList list_;  // pushed by a reader, popped by the clock thread, under list_.Lock
  std::atomic<int> speed_{kNormalSpeed};  // written by the window, read by the clock thread
  Sleeper sleeper_;  // set before Start
  // Owned by the clock thread while it runs (the default sleeper's timer).
  msSleep* timer_ = nullptr;
  // The clock thread's own state.
  int64_t reference_ = 0;
  int64_t lastPostedSecond_ = 0;
  bool posted_ = false;
};

}  // namespace media
