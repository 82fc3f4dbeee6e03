// The sound device on SDL2 audio: an output device opened at the looping
// buffer's frequency whose callback plays from that buffer. While its owner
// has nothing to play (the idle hint) the device is closed, and opened again
// as the hint ends.
#include <SDL2/SDL.h>

#include <cstdio>

#include "media/ac_sound_device.h"

namespace media {

namespace {

class SdlSoundDevice : public ACSoundDevice {
 public:
  ~SdlSoundDevice() override { Release(); }

 protected:
  bool OpenOutput(int channels, int frequency, int bits) override {
    if (!subsystem_) {
      // SDL would otherwise take SIGINT and SIGTERM for itself and turn them
      // into a quit event nobody reads: the program handles its own signals.
      SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
      if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        std::fprintf(stderr, "sound: SDL audio: %s\n", SDL_GetError());
        return false;
      }
      subsystem_ = true;
    }
    SDL_AudioSpec want{};
    want.freq = frequency;
    want.format = bits == 8 ? AUDIO_U8 : AUDIO_S16LSB;
    want.channels = static_cast<Uint8>(channels);
    // Small callbacks: each takes well under a fifth of the looping buffer,
    // so the notifications keep their spacing.
    want.samples = 128;
    want.callback = &SdlSoundDevice::Callback;
    want.userdata = this;
    spec_ = want;
    wanted_ = true;
    // Opened even while idle, so that a device SDL cannot open is known now.
    if (!OpenDevice()) return false;
    if (Idle()) CloseDevice();
    return true;
  }

  void CloseOutput() override {
    CloseDevice();
    wanted_ = false;
    if (subsystem_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    subsystem_ = false;
  }

  void StartOutput() override {
    started_ = true;
    Apply();
  }

  void StopOutput() override {
    started_ = false;
    if (device_ == 0) return;
    // Pausing takes the device's lock, so no callback runs after it.
    SDL_PauseAudioDevice(device_, 1);
  }

  // Nothing to play: the device is closed (the hardware falls silent, as it
  // would playing silence; a paused SDL device would keep its audio thread
  // running) and opened again when the hint ends.
  void IdleOutput(bool /*idle*/) override { Apply(); }

 private:
  // Opens the device (paused, as SDL opens it) for spec_. False when SDL
  // cannot.
  bool OpenDevice() {
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the hardware plays.
    device_ = SDL_OpenAudioDevice(nullptr, 0, &spec_, &have, 0);
    if (device_ == 0) {
      std::fprintf(stderr, "sound: SDL audio device: %s\n", SDL_GetError());
      return false;
    }
    return true;
  }
  // Closing waits for a callback under way, so none runs after it.
  void CloseDevice() {
    if (device_ != 0) SDL_CloseAudioDevice(device_);
    device_ = 0;
  }
  // The device as the output's state asks: closed while idle, else open,
  // and playing while started.
  void Apply() {
    if (!wanted_) return;
    if (Idle()) {
      CloseDevice();
      return;
    }
    if (device_ == 0 && !OpenDevice()) return;  // said; tried again at the next change
    SDL_PauseAudioDevice(device_, started_ ? 0 : 1);
  }

  static void Callback(void* self, Uint8* stream, int len) {
    static_cast<SdlSoundDevice*>(self)->Render(stream, len);
  }

  SDL_AudioDeviceID device_ = 0;
  bool subsystem_ = false;
  // All under the device's control lock (every hook runs under it).
  SDL_AudioSpec spec_{};  // what OpenOutput asked for
  bool wanted_ = false;   // between OpenOutput and CloseOutput
  bool started_ = false;
};

}  // namespace

std::unique_ptr<ACSoundDevice> CreateSdlSoundDevice() { return std::make_unique<SdlSoundDevice>(); }

}  // namespace media
