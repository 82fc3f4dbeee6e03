// The volume control of an output line of the sound mixer, and the rule
// that ties it to the volume slider: slider positions are levels shifted
// right by 9 bits (0..127 for the levels 0..65535), and a position p is
// written as p << 9 to every channel.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "acsound/mixer_device.h"

namespace acsound {

class volumcontrol {
 public:
  static constexpr int kSliderShift = 9;

  volumcontrol() = default;
  virtual ~volumcontrol();
  volumcontrol(const volumcontrol&) = delete;
  volumcontrol& operator=(const volumcontrol&) = delete;

  // Looks for the control of `controlType` (kControlVolume) on the output
  // line `componentType` (kDstSpeakers, kDstHeadphones) of `mixer`;
  // sourceType -1 means the line itself (the only kind used). True when
  // found; a failed Init leaves the object closed.
  bool Init(std::shared_ptr<MixerDevice> mixer, int componentType, int sourceType, uint32_t controlType);
  // The control's bounds (the mixer's range scaled onto 0..kMaxLevel).
  uint32_t GetMinimum() const { return minimum_; }
  uint32_t GetMaximum() const { return maximum_; }
  // -1 without a mixer or on error, else 1. left is channel 0; right is
  // channel 1 on a line of two or more channels, else 0.
  int GetValue(uint32_t* left, uint32_t* right);
  // Writes left to channel 0 and right to every further channel (a mono
  // line gets left only). 1, or -1 when a write failed.
  int SetValue(uint32_t left, uint32_t right);
  void Close();

  // ---- the volume slider ---------------------------------------------------
  int SliderMinimum() const { return static_cast<int>(minimum_ >> kSliderShift); }
  int SliderMaximum() const { return static_cast<int>(maximum_ >> kSliderShift); }
  // The slider position of the current volume: max(left, right) >> 9 when
  // the window starts, (max(left, right) + 1) >> 9 after a change
  // notification, clamped to the slider's range. False (pos untouched)
  // when the volume cannot be read.
  bool ReadSliderPosition(bool afterChange, int* pos);
  // Writes position p (clamped to the range) as p << 9 to every channel.
  bool WriteSliderPosition(int pos);

  const std::string& ControlName() const { return controlName_; }
  int Channels() const { return channels_; }
  bool IsOpen() const { return mixer_ && mixer_->IsOpen(); }

 private:
  std::string controlName_;  // the mixer's name of the element
  int channels_ = 0;         // channels of the line (1 mono, 2 or more)
  int controlId_ = -1;       // the element in the mixer
  std::shared_ptr<MixerDevice> mixer_;  // null when closed
  uint32_t minimum_ = 0;
  uint32_t maximum_ = 0;
  int componentType_ = -1;  // the line found
};

}  // namespace acsound
