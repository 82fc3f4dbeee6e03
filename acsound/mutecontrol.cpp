#include "acsound/mutecontrol.h"

namespace acsound {

mutecontrol::~mutecontrol() { Close(); }

int mutecontrol::Init(std::shared_ptr<MixerDevice> mixer, int componentType, int sourceType) {
  Close();
  if (!mixer) return kNoMixer;
  if (sourceType != -1) return kNoLine;
  int id = -1;
  MixerElement element;
  switch (mixer->FindControl(componentType, kControlMute, &id, &element)) {
    case MixerDevice::Search::kFound:
      break;
    case MixerDevice::Search::kClosed:
      return kOpenFailed;
    case MixerDevice::Search::kNoLine:
      return kNoLine;
    case MixerDevice::Search::kNoControl:
      return kNoMuteControl;
  }
  controlId_ = id;
  mixer_ = std::move(mixer);
  return kOk;
}

int mutecontrol::SetMute(int value) {
  if (!mixer_) return -1;
  return mixer_->SetSwitchAll(controlId_, value ? 0 : 1) ? 1 : -1;
}

int mutecontrol::GetMute() {
  if (!mixer_) return -1;
  int on = 1;
  if (!mixer_->GetSwitch(controlId_, 0, &on)) return -1;
  return on ? 0 : 1;
}

void mutecontrol::Close() {
  mixer_.reset();
  controlId_ = -1;
}

}  // namespace acsound
