// One opened sound mixer, shared by the volume and the mute control so that
// both act on the same device.
//
// It serialises every call into the backend with one lock, finds the
// speakers and headphones lines, scales raw volume values onto 0..65535,
// and runs the one thread that waits for the mixer's change notifications
// and posts WM_MIXER_VOLUME to the window. When the mixer goes away (the
// card is removed, the sound server ends) the thread closes the mixer,
// posts once more and ends; IsOpen is false from then on.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "acsound/mixer.h"
#include "media/ac_messages.h"
#include "media/ac_sync.h"

namespace acsound {

// Line component types: the output lines the controls are looked for on.
enum ComponentType : int {
  kDstSpeakers = 4,
  kDstHeadphones = 5,
};
// Control types.
enum ControlType : uint32_t {
  kControlVolume = 0x50030001,
  kControlMute = 0x20010002,
};

// Volume levels run from 0 to kMaxLevel whatever the mixer's raw range.
constexpr uint32_t kMaxLevel = 65535;
// A raw value (clamped into minimum..maximum) scaled onto 0..kMaxLevel,
// rounded to nearest; 0 when the range is empty.
uint32_t RawToLevel(long raw, long minimum, long maximum);
// A level (clamped to kMaxLevel) scaled onto minimum..maximum, rounded to nearest.
long LevelToRaw(uint32_t level, long minimum, long maximum);

class MixerDevice {
 public:
  // How long Close waits for the notification thread.
  static constexpr int kCloseWaitMs = 100;

  // Opens the ALSA mixer `device`; null when it cannot be opened. `window`
  // receives the notifications and must outlive the device's thread.
  static std::shared_ptr<MixerDevice> Open(const std::string& device, media::ACMessageSink* window);
  // A device on an open backend (the tests' table mixer).
  static std::shared_ptr<MixerDevice> Adopt(std::unique_ptr<Mixer> backend, media::ACMessageSink* window);

  ~MixerDevice();
  MixerDevice(const MixerDevice&) = delete;
  MixerDevice& operator=(const MixerDevice&) = delete;

  // Starts the notification thread: WM_MIXER_VOLUME (wParam Handle(),
  // lParam 0) after every batch of changes, and once when the mixer goes
  // away. False when the device is closed or the thread already runs.
  bool StartNotifications();
  // Ends the thread and closes the mixer; may be called more than once.
  // True when the thread had ended within kCloseWaitMs.
  bool Close();
  bool IsOpen() const { return open_.load(); }
  // True while the notification thread runs.
  bool NotifierRunning() const { return thread_.Running(); }
  // What the notifications carry as wParam.
  intptr_t Handle() const { return reinterpret_cast<intptr_t>(this); }

  enum class Search { kFound, kNoLine, kNoControl, kClosed };
  // The element that holds the control of `controlType` (volume: a
  // playback volume, mute: a playback switch) on the line:
  //   speakers:   the first of "Master", "Speaker", "PCM" that has the
  //               control, else the first playback element that has it;
  //   headphones: "Headphone".
  // kNoLine when the mixer has no such line at all.
  Search FindControl(int componentType, uint32_t controlType, int* id, MixerElement* info);

  // Volume of one channel as a level 0..kMaxLevel. False on error.
  bool GetLevel(int id, int channel, uint32_t* level);
  bool SetLevel(int id, int channel, uint32_t level);
  // Playback switch (1 sound on, 0 muted) of one channel / of every channel.
  bool GetSwitch(int id, int channel, int* on);
  bool SetSwitchAll(int id, int on);

 private:
  static constexpr int kMaxDescriptors = 16;

  MixerDevice(std::unique_ptr<Mixer> backend, media::ACMessageSink* window);
  void NotifyLoop();
  void Post();

  // Every call into the backend holds it, from any thread.
  std::mutex mutex_;
  std::unique_ptr<Mixer> backend_;  // guarded by mutex_; null once closed
  std::atomic<bool> open_{false};
  media::ACMessageSink* const window_;
  // Written by Close to end the thread's poll; an eventfd.
  int stopFd_ = -1;
  media::ACThread thread_;
};

}  // namespace acsound
