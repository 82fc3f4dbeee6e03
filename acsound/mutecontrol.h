// The mute switch of an output line of the sound mixer.
#pragma once

#include <memory>

#include "acsound/mixer_device.h"

namespace acsound {

class mutecontrol {
 public:
  // Results of Init.
  static constexpr int kOk = 0;
  static constexpr int kOpenFailed = -1;  // the mixer is closed
  static constexpr int kNoMixer = -3;
  static constexpr int kNoLine = -4;
  static constexpr int kNoMuteControl = -6;

  mutecontrol() = default;
  virtual ~mutecontrol();
  mutecontrol(const mutecontrol&) = delete;
  mutecontrol& operator=(const mutecontrol&) = delete;

  // Looks for the mute switch of the output line `componentType`
  // (kDstSpeakers, kDstHeadphones) of `mixer`; sourceType -1 means the line
  // itself. kOk or one of the failures above; a failed Init leaves the
  // object closed.
  int Init(std::shared_ptr<MixerDevice> mixer, int componentType, int sourceType);
  // 1 mutes the line (its switch goes to 0 on every channel), 0 sounds it.
  // 1 when written, -1 without a mixer or on error.
  int SetMute(int value);
  // 1 muted, 0 sound on, -1 without a mixer or on error.
  int GetMute();
  void Close();
  bool IsOpen() const { return mixer_ && mixer_->IsOpen(); }

 private:
  int controlId_ = -1;                  // the element in the mixer
  std::shared_ptr<MixerDevice> mixer_;  // null when closed
};

}  // namespace acsound
