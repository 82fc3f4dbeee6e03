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

#include "media/ac_dts_list.h"
#include "media/ac_messages.h"
#include "media/ac_sync.h"

namespace media {

class ACMovieFilter;
class ACSoundPlayer;

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

  int Speed() const { return speed_.load(); }

 private:
  std::atomic<int> speed_{kNormalSpeed};  // written by the window, read by the clock thread
  // (further fields: see the implementation)
};

}  // namespace media
