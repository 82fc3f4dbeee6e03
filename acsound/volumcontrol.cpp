#include "acsound/volumcontrol.h"

#include <algorithm>

namespace acsound {

volumcontrol::~volumcontrol() { Close(); }

bool volumcontrol::Init(std::shared_ptr<MixerDevice> mixer, int componentType, int sourceType, uint32_t controlType) {
  Close();
  if (!mixer || sourceType != -1 || controlType != kControlVolume) return false;
  int id = -1;
  MixerElement element;
  if (mixer->FindControl(componentType, controlType, &id, &element) != MixerDevice::Search::kFound) return false;
  controlName_ = element.name;
  channels_ = element.channels;
  controlId_ = id;
  componentType_ = componentType;
  minimum_ = 0;
  maximum_ = kMaxLevel;
  mixer_ = std::move(mixer);
  return true;
}

int volumcontrol::GetValue(uint32_t* left, uint32_t* right) {
  if (!mixer_) return -1;
  uint32_t l = 0, r = 0;
  if (!mixer_->GetLevel(controlId_, 0, &l)) return -1;
  if (channels_ >= 2 && !mixer_->GetLevel(controlId_, 1, &r)) return -1;
  *left = l;
  *right = r;
  return 1;
}

int volumcontrol::SetValue(uint32_t left, uint32_t right) {
  if (!mixer_) return -1;
  bool ok = mixer_->SetLevel(controlId_, 0, left);
  for (int c = 1; c < channels_; ++c) ok = mixer_->SetLevel(controlId_, c, right) && ok;
  return ok ? 1 : -1;
}

void volumcontrol::Close() {
  mixer_.reset();
  controlId_ = -1;
  channels_ = 0;
  componentType_ = -1;
  controlName_.clear();
}

bool volumcontrol::ReadSliderPosition(bool afterChange, int* pos) {
  uint32_t left = 0, right = 0;
  if (GetValue(&left, &right) != 1) return false;
  const uint32_t level = std::max(left, right) + (afterChange ? 1 : 0);
  *pos = std::clamp(static_cast<int>(level >> kSliderShift), SliderMinimum(), SliderMaximum());
  return true;
}

bool volumcontrol::WriteSliderPosition(int pos) {
  pos = std::clamp(pos, SliderMinimum(), SliderMaximum());
  const uint32_t value = static_cast<uint32_t>(pos) << kSliderShift;
  return SetValue(value, value) == 1;
}

}  // namespace acsound
