// The volume slider (1015) and the sound button (1017) on the system's sound
// mixer: the slider sets the output line's volume and the button its mute
// switch, and both follow changes made elsewhere (WM_MIXER_VOLUME, posted by
// the mixer's notification thread). Without a mixer both are disabled; the
// program starts all the same.
#include <cstdio>

#include "media/ac_log.h"
#include "acsound/mixer_device.h"
#include "acsound/mutecontrol.h"
#include "acsound/volumcontrol.h"
#include "ui/dialog_texts.h"
#include "ui/main_dlg.h"

namespace corvane {

namespace {

const char kNoMixerTip[] = "No sound mixer found: the system volume cannot be set";

}  // namespace

void CCorvaneDlg::StartVolume(const std::string& device, media::ACMessageSink* sink) {
  if (!device.empty()) mixer_ = acsound::MixerDevice::Open(device, sink);
  if (mixer_) {
    // The speakers, else the headphones; volume and mute each on their own,
    // on the one device.
    mute_ = std::make_unique<acsound::mutecontrol>();
    if (mute_->Init(mixer_, acsound::kDstSpeakers, -1) != acsound::mutecontrol::kOk &&
        mute_->Init(mixer_, acsound::kDstHeadphones, -1) != acsound::mutecontrol::kOk)
      mute_.reset();
    volume_ = std::make_unique<acsound::volumcontrol>();
    if (!volume_->Init(mixer_, acsound::kDstSpeakers, -1, acsound::kControlVolume) &&
        !volume_->Init(mixer_, acsound::kDstHeadphones, -1, acsound::kControlVolume))
      volume_.reset();
  }
  if (volume_) {
    volumeSlider_->SetRange(volume_->SliderMinimum(), volume_->SliderMaximum());
    int pos = 0;
    if (volume_->ReadSliderPosition(false, &pos)) volumeSlider_->SetPos(pos);
  }
  if (mute_) {
    // The button shows the line's state as it is, muted or not.
    const int muted = mute_->GetMute();
    if (muted >= 0) muted_ = muted == 1;
    Button(IDC_MUTE)->SetPicture(muted_ ? 1 : 0);
  }
  if (mixer_ && !volume_ && !mute_) {
    media::LogLine(media::LogLevel::kError, "mixer", "\"%s\" has no output volume or mute", device.c_str());
    CloseVolume();
  }
  if (mixer_) mixer_->StartNotifications();
  UpdateVolumeControls();
}

void CCorvaneDlg::CloseVolume() {
  volume_.reset();
  mute_.reset();
  if (mixer_) mixer_->Close();
  mixer_.reset();
}

void CCorvaneDlg::UpdateVolumeControls() {
  volumeSlider_->setEnabled(volume_ != nullptr);
  volumeSlider_->setToolTip(volume_ ? QString() : QString::fromLatin1(kNoMixerTip));
  Button(IDC_MUTE)->setEnabled(mute_ != nullptr);
  Button(IDC_MUTE)->setToolTip(mute_ ? LangText("IDS_TIPS_SOUNDBUTTON") : QString::fromLatin1(kNoMixerTip));
}

void CCorvaneDlg::OnVolumeSlider(int position) {
  if (volume_) volume_->WriteSliderPosition(position);
}

void CCorvaneDlg::OnMute() {
  if (!mute_) return;
  const bool muted = !muted_;
  if (mute_->SetMute(muted ? 1 : 0) != 1) return;  // the button keeps showing the line's state
  muted_ = muted;
  Button(IDC_MUTE)->SetPicture(muted_ ? 1 : 0);
}

void CCorvaneDlg::OnMixerChange(intptr_t mixerHandle) {
  if (!mixer_ || mixerHandle != mixer_->Handle()) return;
  if (!mixer_->IsOpen()) {
    // The mixer went away (its thread has closed it and ended).
    CloseVolume();
    UpdateVolumeControls();
    return;
  }
  // Read again, without writing back; a read that fails leaves the
  // control as it is, and the user's drag wins over the mixer.
  int pos = 0;
  if (volume_ && !volumeSlider_->Dragging() && volume_->ReadSliderPosition(true, &pos)) volumeSlider_->SetPos(pos);
  if (mute_) {
    const int muted = mute_->GetMute();
    if (muted >= 0 && (muted == 1) != muted_) {
      muted_ = muted == 1;
      Button(IDC_MUTE)->SetPicture(muted_ ? 1 : 0);
    }
  }
}

}  // namespace corvane
