// Window messages of the main window. A posted message arrives as a QEvent
// whose type is its number; a sent message is the same event delivered
// directly, and its result goes back in the event.
#include "controls/message_event.h"
#include "media/ac_records.h"
#include "ui/main_dlg.h"
#include "ui/video_layout.h"
#include "ui/wave_dlg.h"

namespace corvane {

bool CCorvaneDlg::event(QEvent* e) {
  if (controls::ACMessageEvent* m = controls::AsMessage(e)) {
    intptr_t result = 0;
    HandleMessage(m->message(), m->wParam, m->lParam, &result);
    m->result = result;
    return true;
  }
  return QWidget::event(e);
}

bool CCorvaneDlg::HandleMessage(uint32_t message, intptr_t wParam, intptr_t lParam, intptr_t* result) {
  switch (message) {
    case media::WM_CHANNEL_COUNT:
      *result = channelCount_;
      return true;
    case media::WM_PANE_QUERY:
      *result = paneQuery_;
      return true;
    case media::WM_LAYOUT_NOTICE_46C:
    case media::WM_PANE_SELECTED:
      return true;
    case media::WM_SEEK:
      player_->Seek(static_cast<int>(lParam));
      return true;
    case media::WM_PLAY_TIME:
      OnPlayTime(wParam, lParam);
      return true;
    case media::WM_PLAY_NEXT:
      AdvanceToNext();
      return true;
    case media::WM_AUDIO_CHANNEL:
      player_->SetAudioChannel(static_cast<int>(wParam));
      return true;
    case media::WM_LOWER_PANEL_LEVEL:
      lowerPanelLevel_ = wParam >= 1 && wParam <= 3 ? static_cast<int>(wParam) : lowerPanelLevel_ % 3 + 1;
      Relayout();
      return true;
    case media::WM_CALENDAR_OPEN:
      OpenFromCalendar(wParam, lParam);
      return true;
    case media::WM_SELECTED_PANE:
      // Sent only: wParam points at the receiver of the selected pane.
      if (wParam) *reinterpret_cast<int*>(wParam) = layout_->GetSelected();
      return true;
    case controls::kMsgSliderMoved:
    case controls::kMsgSliderMovedEnd:
      OnSliderMoved(wParam, lParam);
      return true;
    case media::WM_MIXER_VOLUME:
      OnMixerChange(wParam);
      return true;
    case media::WM_EXPORT:
    case media::WM_EXPORT_PROGRESS:
    case kMsgExportEnded:
      return HandleExportMessage(message, wParam, lParam);
    default:
      return false;
  }
}

void CCorvaneDlg::OnPlayTime(intptr_t lengthSeconds, intptr_t second) {
  switch (second) {
    case media::DTS_BEGIN:
      playTimeFirst_ = true;
      break;
    case media::DTS_SWITCH:
      wave_->ResetPosition();
      playTimeFirst_ = true;
      break;
    case media::DTS_END:
      wave_->ResetPosition();
      playTimeFirst_ = true;
      controls::SendMessageTo(this, media::WM_PLAY_NEXT, 0, 0);
      break;
    default:
      if (playTimeFirst_) {
        wave_->SetDuration(static_cast<int>(lengthSeconds));
        playTimeFirst_ = false;
      } else {
        wave_->SetPosition(static_cast<int>(second), static_cast<int>(lengthSeconds));
      }
      break;
  }
}

void CCorvaneDlg::OnSliderMoved(intptr_t sliderId, intptr_t position) {
  if (sliderId == IDC_SPEED) SetSpeedPosition(static_cast<int>(position));
  if (sliderId == IDC_VOLUME) OnVolumeSlider(static_cast<int>(position));
}

}  // namespace corvane
