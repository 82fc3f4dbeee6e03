// The sound device of the sound player: one looping PCM buffer that the
// device plays round and round, reporting its play position and signalling
// an event at each notification position it passes.
//
// The looping buffer and its bookkeeping live here; a backend (one file
// each: ao_sdl.cpp, ao_null.cpp) only opens an output at the buffer's
// frequency and, from its own audio thread, asks Render for the next bytes.
// Changing the frequency reopens the output at the new rate (the backend's
// library resamples to what the hardware takes).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "media/ac_sync.h"

namespace media {

class ACSoundDevice {
 public:
  static constexpr int kMaxNotifications = 8;

  ACSoundDevice() = default;
  virtual ~ACSoundDevice();  // the derived class calls Release in its destructor
  ACSoundDevice(const ACSoundDevice&) = delete;
  ACSoundDevice& operator=(const ACSoundDevice&) = delete;

  // Makes the looping buffer (bufferBytes, a multiple of the block
  // alignment) and opens the output for PCM of the given format. False when
  // the format is unusable or the output cannot be opened.
  bool Create(int channels, int rate, int bits, int bufferBytes);
  // Stops playback and closes the output.
  void Release();
  // Each position (a byte offset below the buffer size) signals `notify`
  // when the play position passes it; `stopped` is signalled when playback
  // stops. Both events outlive the device's playback.
  bool SetNotifications(const int* positions, int count, ACEvent* notify, ACEvent* stopped);
  // Gives the region of `bytes` bytes from `offset` for writing, in one or
  // two parts (the second when the region wraps at the buffer's end); the
  // device does not play while it is locked. Unlock must follow.
  bool Lock(int offset, int bytes, unsigned char** part1, int* bytes1, unsigned char** part2, int* bytes2);
  void Unlock();
  // Starts looping playback from the current play position.
  bool Play();
  // Stops playback (and signals the stop notification).
  void StopPlayback();
  // The offset the device plays next.
  int PlayPosition() const { return playPosition_.load(); }
  // Plays the buffer at `hz` samples a second from now on.
  bool SetFrequency(int hz);
  int Frequency() const { return frequency_.load(); }
  int BufferBytes() const { return bufferBytes_; }
  int BlockAlign() const { return blockAlign_; }
  bool Playing() const { return playing_.load(); }
  // Bytes of the looping buffer handed to the output since Create.
  int64_t BytesPlayed() const { return bytesPlayed_.load(); }
  // The bytes the output has played by now, moving smoothly whatever the
  // output's period: the position at the last Render, carried on with the
  // monotonic clock at the current frequency, never past what Render has
  // handed out (BytesPlayed) and never further behind it than two of the
  // largest pieces Render was asked for. BytesPlayed until the first Render.
  int64_t PlayedBytesNow() const;
  // The owner's hint that it has nothing to play for now (paused, or no
  // sound for a while): the looping buffer holds only silence. The output
  // may then ask for bytes less often, or not at all, until the hint is
  // withdrawn, when it goes on at once. Playback, the play position and the
  // notifications keep their meaning whenever the output asks.
  void SetIdle(bool idle);
  bool Idle() const { return idle_.load(); }

 protected:
  // ---- backend hooks ------------------------------------------------------
  // Opens the output for the format at `frequency`; it does not ask for
  // bytes until StartOutput.
  virtual bool OpenOutput(int channels, int frequency, int bits) = 0;
  virtual void CloseOutput() = 0;
  virtual void StartOutput() = 0;
  // When it returns, no Render call runs and none comes until StartOutput.
  virtual void StopOutput() = 0;
  // The idle hint changed (under the control lock, whether or not the
  // output is open or started; it stands for later StartOutput calls too).
  // Default: the output goes on asking as before.
  virtual void IdleOutput(bool /*idle*/) {}

  // Called on the backend's audio thread: the next `bytes` bytes the device
  // plays (silence while playback is stopped).
  void Render(unsigned char* out, int bytes);

 private:
  // Serialises the control operations (create, release, play, stop,
  // frequency). Never held by Render.
  std::mutex controlMutex_;
  // Guards the buffer's bytes, the notifications and the position while
  // Render copies and while the feed thread has a region locked.
  std::mutex dataMutex_;
  std::vector<unsigned char> buffer_;
  int bufferBytes_ = 0;
  int channels_ = 0;
  int bits_ = 0;
  int blockAlign_ = 0;
  int silence_ = 0;
  bool open_ = false;  // guarded by controlMutex_
  std::atomic<bool> idle_{false};  // written under controlMutex_
  std::atomic<int> frequency_{0};
  std::atomic<int> playPosition_{0};
  std::atomic<bool> playing_{false};
  std::atomic<int64_t> bytesPlayed_{0};
  // The interpolated play position (PlayedBytesNow), guarded by
  // timingMutex_: Render moves it on, SetFrequency changes its rate. A leaf
  // lock: nothing is taken while it is held.
  mutable std::mutex timingMutex_;
  bool anchored_ = false;    // a Render has set the anchor
  int64_t anchorBytes_ = 0;  // the estimated position at anchorNs_
  int64_t anchorNs_ = 0;     // monotonic
  int64_t handedBytes_ = 0;  // what Render has handed out
  int64_t windowBytes_ = 0;  // how far behind handedBytes_ the estimate may be
  int64_t bytesPerSecond_ = 0;
  int64_t EstimateLocked(int64_t nowNs) const;
  int positions_[kMaxNotifications] = {};
  int positionCount_ = 0;
  ACEvent* notify_ = nullptr;
  ACEvent* stopped_ = nullptr;
};

// SDL2 audio (honours SDL_AUDIODRIVER, e.g. "dummy").
std::unique_ptr<ACSoundDevice> CreateSdlSoundDevice();
// Plays into nothing, in real time, on a thread of its own.
std::unique_ptr<ACSoundDevice> CreateNullSoundDevice();

}  // namespace media
