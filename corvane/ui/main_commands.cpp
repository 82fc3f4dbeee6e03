// The playback commands of the main window. Each changes the shared play
// state, the play gates and the clock's mode; the reader threads and the
// clock do the rest.
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>

#include "krvreader/reader_threads.h"
#include "media/ac_play_clock.h"
#include "media/ac_snapshot_filter.h"
#include "media/ac_sound_player.h"
#include "media/play_gates.h"
#include "ui/dialog_texts.h"
#include "ui/main_dlg.h"
#include "ui/video_layout.h"
#include "ui/wave_dlg.h"

namespace corvane {

void CCorvaneDlg::OpenReaderGate() {
  (state_.fileKind.load() == krv::PlayState::kKrv ? media::krvGate : media::aviGate).Set();
}

void CCorvaneDlg::EnsureReader() {
  if (state_.fileKind.load() == krv::PlayState::kKrv) readers_->EnsureKrvThread();
  else readers_->EnsureAviThread();
}

void CCorvaneDlg::Play(int restart) {
  // Every start supersedes a stop the reader has not carried out yet (a
  // reader parked at the end of a recording, or not yet created, would
  // otherwise take it on its next pass and park again).
  state_.stopRequested.store(0);
  state_.restartRequested.store(restart);
  state_.secondPlayEvent.Reset();
  OpenReaderGate();
  EnsureReader();
  clock_->SetMode(media::ACPlayClock::kModePlay);
}

void CCorvaneDlg::OnPlayButton() {
  media::krvGate.Reset();
  media::aviGate.Reset();
  const int row = SelectedOrFirstRow();
  if (row < 0) return;  // an empty list: nothing to play
  PrepareRow(row, Prepare::kPlayButton);
  state_.ended.store(0);
  if (state_.fileKind.load() == krv::PlayState::kKrv) {
    if (state_.krvPath.Empty()) return;
    if (!QFileInfo::exists(QString::fromStdString(state_.krvPath.Get())))
      QMessageBox::warning(this, windowTitle(), LangText("IDS_TIPS_PathFileExists"));  // and still go on
    state_.exitRequested.store(0);
    Play(state_.krvPath.EqualsNoCase(state_.krvOpenPath) ? 0 : 1);
  } else {
    bool any = false;
    for (const krv::SharedPath& p : state_.aviPath) any = any || !p.Empty();
    if (!any) return;
    state_.exitRequested.store(0);
    const int c = state_.currentChannel.load();
    Play(state_.aviPath[c].EqualsNoCase(state_.aviOpenPath[c]) ? 0 : 1);
  }
}

void CCorvaneDlg::OnStop() {
  state_.secondPlayEvent.Reset();
  state_.stopRequested.store(1);
  state_.restartRequested.store(1);
  clock_->SetMode(media::ACPlayClock::kModeStop);
  wave_->ResetPosition();
  state_.krvOpenPath.Clear();
  for (krv::SharedPath& p : state_.aviOpenPath) p.Clear();
  SetSpeedPosition(kNormalSpeedPosition);
}

void CCorvaneDlg::OnPause() {
  state_.secondPlayEvent.Reset();
  clock_->SetMode(media::ACPlayClock::kModePause);
}

void CCorvaneDlg::OnStep() {
  const int kind = state_.fileKind.load();
  const bool empty = kind == krv::PlayState::kKrv ? state_.krvPath.Empty()
                                                  : state_.aviPath[state_.currentChannel.load()].Empty();
  if (empty) {
    const int row = SelectedOrFirstRow();
    if (row < 0) return;
    PrepareRow(row, Prepare::kPlayButton);
  }
  state_.stopRequested.store(0);  // as in Play: a start supersedes a pending stop
  state_.secondPlayEvent.Reset();
  EnsureReader();
  clock_->SetMode(media::ACPlayClock::kModeStep);
  OpenReaderGate();
}

void CCorvaneDlg::OnSecondPlay() {
  SetSpeedPosition(kNormalSpeedPosition);
  media::krvGate.Reset();
  media::aviGate.Reset();
  soundPlayer_->ClearSound();
  movieFilter_->EmptyData();
  clock_->ClearDTS();
  state_.stopRequested.store(0);
  state_.secondPlayEvent.Set();
  OpenReaderGate();
  EnsureReader();
  clock_->SetMode(media::ACPlayClock::kModeFast);
}

void CCorvaneDlg::SetSpeedPosition(int position) {
  if (position < 0 || position >= kSpeedPositions) return;
  state_.secondPlayEvent.Reset();
  speedSlider_->SetPos(position);
  state_.speedCode.store(1 << position);
  speedText_ = QString::fromLatin1(SpeedLabel(position));
  clock_->SetSpeed(1 << position);
  speedLabel_->setText(speedText_);
}

void CCorvaneDlg::OnSnapshot() { snapshotFilter_->RequestSnapshot(layout_->GetSelected()); }

void CCorvaneDlg::OnSnapshotFailed(const std::string& path) {
  if (snapshotFailureShown_) return;
  snapshotFailureShown_ = true;
  const std::string folder = path.substr(0, path.find_last_of('/') + 1);
  ShowNotice(QStringLiteral("snapshotMessage"), FromUtf8("Snapshots cannot be saved in " + folder));
}

void CCorvaneDlg::OnSingle() {
  int channel = layout_->GetSelected();
  if (layout_->IsSingle()) {
    channel = (channel + 1) % GCEVideoLayoutDialog::kPanes;
    layout_->Select(channel);
  }
  layout_->ShowSingle(channel);
}

void CCorvaneDlg::OnFour() { layout_->ShowAll(); }

void CCorvaneDlg::OnFullScreen() { layout_->SetFullScreen(true); }

void CCorvaneDlg::OnMute() {
  // The mixer's mute comes with the volume part; the button shows the state.
  muted_ = !muted_;
  Button(IDC_MUTE)->SetPicture(muted_ ? 1 : 0);
}

void CCorvaneDlg::OnMap() {
  list_->hide();
  search_->hide();
  live_->hide();
  map_->show();
  Button(IDC_SWAP)->show();
  Relayout();
}

void CCorvaneDlg::OnVideo() {
  list_->hide();
  search_->hide();
  live_->hide();
  map_->show();
  layout_->show();
  Button(IDC_SWAP)->show();
  Relayout();
}

void CCorvaneDlg::OnSwap() {
  panelsSwapped_ = !panelsSwapped_;
  Button(IDC_MAP)->setVisible(!panelsSwapped_);
  Button(IDC_VIDEO)->setVisible(panelsSwapped_);
  Relayout();
}

void CCorvaneDlg::OnWiden() {
  if (splitLevel_ == 0) splitLevel_ = 1;
  splitLevel_ = std::min(splitLevel_ + 1, 3);
  Relayout();
}

void CCorvaneDlg::OnNarrow() {
  splitLevel_ = splitLevel_ - 1;
  if (splitLevel_ == 1) splitLevel_ = 0;
  splitLevel_ = std::max(splitLevel_, 0);
  Relayout();
}

void CCorvaneDlg::OnLanguageButton() {
  QWidget* b = Button(IDC_LANGUAGE);
  languageMenu_->popup(b->mapToGlobal(QPoint(0, b->height())));
}

void CCorvaneDlg::OnSettings() {
  // The settings dialog comes with its own part.
}

void CCorvaneDlg::OnMinimise() { showMinimized(); }

void CCorvaneDlg::OnMaximise() {
  if (isMaximized()) showNormal();
  else showMaximized();
}

void CCorvaneDlg::OnClose() {
  ClosePipeline();
  close();
}

}  // namespace corvane
