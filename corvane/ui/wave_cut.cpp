// The lower panel's cut points and the save flow of the export: buttons
// 1103 (set), 1104 (delete) and 1105 (save), the marks on the slider, the
// proposed names and the save dialog; the export itself is the main
// window's (WM_EXPORT) and the player's.
#include <QAbstractButton>
#include <QDir>
#include <QMessageBox>

#include "controls/control_id.h"
#include "controls/message_event.h"
#include "core/settings.h"
#include "export/export_names.h"
#include "media/ac_messages.h"
#include "ui/dialog_texts.h"
#include "ui/save_video_dlg.h"
#include "ui/wave_dlg.h"

namespace corvane {

namespace {
constexpr int kPauseCommand = 1004;  // the main window's Pause button
}  // namespace

void CWaveDlg::ShowCutMarks() {
  const int count = cut_.State();
  slider_->SetMarks(count, cut_.StartPosition(), count == 2 ? cut_.EndPosition() : cut_.StartPosition());
}

void CWaveDlg::OnSetCut() {
  const int thumb = slider_->XForPos(slider_->Pos());
  if (cut_.Set(thumb, slider_->Pos())) {
    // Both points set: playback pauses.
    if (auto* pause = qobject_cast<QAbstractButton*>(controls::FindControl(parentWidget(), kPauseCommand)))
      pause->click();
  }
  ShowCutMarks();
}

void CWaveDlg::OnDelCut() {
  cut_.Delete();
  ShowCutMarks();
}

void CWaveDlg::OnCutVideo() {
  if (cut_.State() != 2) {
    auto* box = new QMessageBox(QMessageBox::Information, window()->windowTitle(),
                                LangText("IDS_TIPS_NeedMoreCutPiot"), QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("cutMessage"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return;
  }
  // The selected pane's channel and the source's name.
  int channel = 0;
  controls::SendMessageTo(parentWidget(), media::WM_SELECTED_PANE, reinterpret_cast<intptr_t>(&channel), 0);
  if (channel < 0 || channel > 3) channel = 0;
  std::string krvPath;
  std::array<std::string, 4> aviPaths;
  if (exportHooks_.source) exportHooks_.source(&krvPath, &aviPaths);
  std::string sourceName = krvPath;
  if (sourceName.empty()) {
    // An AVI source: the first name from the selected slot on.
    for (int i = 0; i < 8; ++i) {
      const int slot = (channel + i) % 4;
      if (aviPaths[slot].size() > 4) {
        sourceName = aviPaths[slot];
        channel = slot;
        break;
      }
    }
  }
  const std::string proposed = avexport::ProposedName(RecordingStart(), cut_.StartPosition(), sourceName, channel);

  const unsigned choice = static_cast<unsigned>(GetSettingInt(kSectionWaveConfig, kKeySaveParam, 0));
  const std::string folder = GetSettingString(kSectionBrightmere, kKeySaveName, "");
  CSaveVideoFileDlg dlg(this, FromUtf8(proposed), FromUtf8(folder), choice,
                        GetSettingInt(kSectionWaveConfig, kKeySaveSha256, 0) != 0,
                        GetSettingInt(kSectionWaveConfig, kKeySaveGpx, 0) != 0);
  saveDialog_ = &dlg;
  const bool confirmed = dlg.exec() == QDialog::Accepted;
  saveDialog_ = nullptr;
  SetSettingInt(kSectionWaveConfig, kKeySaveParam, static_cast<int>(dlg.ChoiceWord()));
  if (!confirmed) return;  // the cut points stay

  avexport::ExportRequest request;
  request.startSecond = cut_.StartPosition();
  request.endSecond = cut_.EndPosition();
  request.sha256 = dlg.Sha256();
  request.gpx = dlg.Gpx();
  request.recordingStart = RecordingStart();
  const QStringList paths = dlg.ChosenPaths();
  if (dlg.SelectedWindow()) {
    // The file carries the selected pane's channel in its name: it gets
    // that channel's pictures.
    if (!paths.isEmpty()) request.outputs[channel] = paths.first().toStdString();
  } else {
    int next = 0;
    for (int k = 1; k <= 4 && next < paths.size(); ++k)
      if (dlg.Channel(k)) request.outputs[k - 1] = paths[next++].toStdString();
  }
  SetSettingInt(kSectionWaveConfig, kKeySaveSha256, request.sha256 ? 1 : 0);
  SetSettingInt(kSectionWaveConfig, kKeySaveGpx, request.gpx ? 1 : 0);
  SetSettingString(kSectionBrightmere, kKeySaveName, dlg.directory().absolutePath().toStdString());
  if (exportHooks_.stage) exportHooks_.stage(request);
  controls::SendMessageTo(parentWidget(), media::WM_EXPORT, request.startSecond, request.endSecond);
  cut_.Reset();
  ShowCutMarks();
}

}  // namespace corvane
