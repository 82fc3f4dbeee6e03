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
#include <memory>
#include <mutex>

#include "media/ac_media_list.h"
#include "media/ac_object.h"
#include "media/ac_sound_buffer.h"
#include "media/ac_sound_device.h"
#include "media/ac_sync.h"

namespace media {

struct PlayGates;

class ACDecoder;

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
  // Waits up to timeoutMs for the packet ring to free a slot (a producer
  // whose PushAudio was refused waits here instead of sleeping). 1 = woken
  // (look again), 0 = timed out. `orWake`, when given, ends the wait too.
  int WaitForRoom(int timeoutMs, ACEvent* orWake = nullptr);
  void ClearSound();  // waits up to 2000 ms for the decode thread
  void Pause(int on);
  void SetSpeed(int speed);  // playback rate = rate x speed / 16
  // ms; 0 = unknown. The recording time of the sound taken from the ring
  // (end time - stored sound), moving smoothly between the device's
  // callbacks: the device's interpolated play position (PlayedBytesNow) one
  // device buffer on, mapped through what the feed thread handed it, and
  // never past the end of what it handed.
  int64_t PlayedTime();

  // Init with a device of the caller's choice (CreateNullSoundDevice for a
  // device that plays into nothing); the four-argument Init uses SDL.
  int Init(ACWindowHandle window, int channels, int rate, int bits, std::unique_ptr<ACSoundDevice> device);
  // The play gates PushAudio is subject to; null = not gated.
  void SetPlayGates(const PlayGates* gates) { gates_.store(gates); }

  // What the player stands at (for the clock's report, tests and tools).
  bool Running() const { return running_.load() != 0; }
  int DeviceFrequency() const;     // the looping buffer's playback rate, Hz; 0 before Init
  int DeviceBufferBytes() const;   // rate x 2 / 15, to whole sample frames
  int64_t BufferedEndTime() const { return endTime_.load(); }  // 0 = unknown
  int StoredBytes();               // decoded sound waiting in the ring
  int64_t DeviceBytesPlayed() const;
  bool Paused() const { return pauseEvent_.IsSet(); }
  // The device has the idle hint: paused, or no sound for over a second.
  bool DeviceIdle() const { return device_ && device_->Idle(); }

  static constexpr int kRingBytes = 102400;
  static constexpr int kInputBytes = 2048;
  static constexpr int kHisiVoiceType = 69632;
  static constexpr int kAdpcmType = 69638;

 private:
  void DecodeLoop();
  void FeedLoop();
  void Release();
  void FillSilence(unsigned char* data, int bytes, int offset) const;
  void StoreSound(int64_t dts, const unsigned char* pcm, int bytes);
  // Recording microseconds of `bytes` bytes of decoded sound.
  int64_t BytesToUs(int64_t bytes) const;
  // Under sound_'s lock: the feed thread has put `read` bytes from the ring
  // at the device's looping-buffer offset `offset`.
  void NoteHandedLocked(ACSoundDevice& device, int offset, int read);
  // Gives the device its idle hint: paused, or quiet (below).
  void UpdateDeviceIdle();

  ACWindowHandle window_ = nullptr;
  int channels_ = 0;
  int rate_ = 0;
  int bits_ = 0;
  uint8_t silence_ = 0;
  // Recording time at the end of the decoded sound in the ring; 0 =
  // unknown. Written by the decode thread, read by the clock thread.
  std::atomic<int64_t> endTime_{0};
  std::atomic<const PlayGates*> gates_{nullptr};  // set by the owner; read by pushing threads
  // The same in microseconds, written with it.
  std::atomic<int64_t> endTimeUs_{0};
  // Where the sound handed to the device sits in the device's stream: the
  // device byte count (BytesPlayed terms) and recording time (us) of the
  // start of the current unbroken stretch and of the end of the last piece
  // handed. Written by the feed thread, read by PlayedTime, forgotten when
  // the ring is cleared or dropped; all under sound_'s lock.
  struct Handed {
    bool valid = false;
    int64_t startBytes = 0, startUs = 0, endBytes = 0, endUs = 0;
  } handed_;
  std::unique_ptr<ACSoundDevice> device_;  // made by Init, used by the feed thread and SetSpeed
  ACEvent notifyEvent_{ACEvent::kAutoReset};
  ACEvent stopEvent_{ACEvent::kManualReset};
  ACThread feedThread_;
  int deviceBufferBytes_ = 0;
  std::atomic<int> running_{0};      // feed thread running
  std::atomic<int> initialised_{0};
  ACSoundBuffer sound_{kRingBytes};  // decode thread -> feed thread, under sound_.Lock
  ACMediaList packets_;              // reader -> decode thread, under packets_.Lock
  ACThread decodeThread_;
  std::atomic<int> decodeStop_{0};
  std::atomic<int> decodeRunning_{0};
  // Decoder slots: only the first is used; made and used by the decode thread.
  ACDecoder* decoders_[4] = {nullptr, nullptr, nullptr, nullptr};
  int decoderTypes_[4] = {0, 0, 0, 0};
  ACEvent acknowledgeEvent_{ACEvent::kAutoReset};
  ACEvent pauseEvent_{ACEvent::kManualReset};
  // Set when a pause ends: wakes a decode thread that waits, paused, with
  // sound in the ring.
  ACEvent resumed_{ACEvent::kAutoReset};
  // 1 while no packet came for more than a second and the decoded-sound
  // ring is empty: the device has nothing but silence to play. Written by
  // the decode thread.
  std::atomic<int> quiet_{0};
  // Serialises UpdateDeviceIdle (the clock thread's Pause and the decode
  // thread), so that the last hint given is the current one.
  std::mutex idleMutex_;
  std::atomic<int> speed_{16};
  std::atomic<int> clearRequest_{0};
};

}  // namespace media
