// The playback commands of the main window: the rows and the widgets are the
// window's; each command itself is the player's.
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>

#include "ui/dialog_texts.h"
#include "ui/main_dlg.h"
#include "ui/video_layout.h"
#include "ui/wave_dlg.h"

namespace corvane {

void CCorvaneDlg::OnPlayButton() {
  const int row = SelectedOrFirstRow();
  if (row < 0) return;  // an empty list: nothing to play
  if (!PrepareRow(row, Prepare::kPlayButton)) return;
  playback::PlayState& state = player_->State();
  if (state.fileKind.load() == playback::PlayState::kKrv && !state.krvPath.Empty() &&
      !QFileInfo::exists(QString::fromStdString(state.krvPath.Get())))
    QMessageBox::warning(this, windowTitle(), LangText("IDS_TIPS_PathFileExists"));  // and still go on
  player_->Play();
}

void CCorvaneDlg::OnStop() {
  player_->Stop();
  wave_->ResetPosition();
  SetSpeedPosition(kNormalSpeedPosition);
}

void CCorvaneDlg::OnPause() { player_->Pause(); }

void CCorvaneDlg::OnStep() {
  if (!player_->HasSelection()) {
    const int row = SelectedOrFirstRow();
    if (row < 0) return;
    PrepareRow(row, Prepare::kPlayButton);
  }
  player_->Step();
}

void CCorvaneDlg::OnSecondPlay() {
  SetSpeedPosition(kNormalSpeedPosition);
  player_->SecondPlay();
}

void CCorvaneDlg::SetSpeedPosition(int position) {
  if (position < 0 || position >= kSpeedPositions) return;
  speedSlider_->SetPos(position);
  player_->SetSpeed(1 << position);
  speedText_ = QString::fromLatin1(SpeedLabel(position));
  speedLabel_->setText(speedText_);
}

void CCorvaneDlg::OnSnapshot() { player_->Snapshot(layout_->GetSelected()); }

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

void CCorvaneDlg::OnSettings() { RunSettingDialog(); }

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
