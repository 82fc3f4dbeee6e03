// The sound device on SDL2 audio: an output device opened at the looping
// buffer's frequency whose callback plays from that buffer.
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
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the hardware plays.
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device_ == 0) {
      std::fprintf(stderr, "sound: SDL audio device: %s\n", SDL_GetError());
      return false;
    }
    return true;
  }

  void CloseOutput() override {
    if (device_ != 0) SDL_CloseAudioDevice(device_);
    device_ = 0;
    if (subsystem_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    subsystem_ = false;
  }

  void StartOutput() override {
    started_ = true;
    if (device_ != 0) SDL_PauseAudioDevice(device_, idle_ ? 1 : 0);
  }

  void StopOutput() override {
    started_ = false;
    if (device_ == 0) return;
    // Pausing takes the device's lock, so no callback runs after it.
    SDL_PauseAudioDevice(device_, 1);
  }

  // Nothing to play: the device is paused (the hardware falls silent, as
  // it would playing silence) and its audio thread stops asking.
  void IdleOutput(bool idle) override {
    idle_ = idle;
    if (started_ && device_ != 0) SDL_PauseAudioDevice(device_, idle ? 1 : 0);
  }

 private:
  static void Callback(void* self, Uint8* stream, int len) {
    static_cast<SdlSoundDevice*>(self)->Render(stream, len);
  }

  SDL_AudioDeviceID device_ = 0;
  bool subsystem_ = false;
  // Both under the device's control lock (every hook runs under it).
  bool started_ = false;
  bool idle_ = false;
};

}  // namespace

std::unique_ptr<ACSoundDevice> CreateSdlSoundDevice() { return std::make_unique<SdlSoundDevice>(); }

}  // namespace media
