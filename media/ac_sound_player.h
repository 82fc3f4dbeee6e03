// Plays the sound of one channel through a looping device buffer.
//
// Compressed packets go into a ring; a decode thread turns them into 16-bit
// PCM (HiSilicon voice frames or Microsoft ADPCM by packet type) in a byte
// ring; a feed thread keeps a short looping device buffer filled from that
// ring at its five notification points, writing silence when the ring runs
// dry or playback is paused. PlayedTime tells the clock which recording time
// has just been played.
#pragma once

#include <atomic>
#include <cstdint>

#include "media/ac_object.h"
#include "media/ac_sync.h"

namespace media {

class ACSoundPlayer {
 public:
  ACSoundPlayer();
  ~ACSoundPlayer();  // Stop
  ACSoundPlayer(const ACSoundPlayer&) = delete;
  ACSoundPlayer& operator=(const ACSoundPlayer&) = delete;

  // 1 = ready, 0 = failed (everything made so far released). The window
  // calls it with (itself, 1, 8000, 16).
  int Init(ACWindowHandle window, int channels, int rate, int bits);
  void Start();
  void Stop();  // bounded waits; never kills a thread
  // 0 = ring full (retry in 1 ms), 1 = taken or dropped (threads not
  // running, or no play gate open). Markers (-1, -2, -3) come this way too,
  // with no data.
  int PushAudio(int channel, int type, int64_t dts, const unsigned char* data, int length, int width = 0,
                int height = 0);
  void ClearSound();  // waits up to 2000 ms for the decode thread
  void Pause(int on);
  void SetSpeed(int speed);  // playback rate = rate x speed / 16
  int64_t PlayedTime();      // ms; 0 = unknown
};

}  // namespace media
