// The export in the main window: the lower panel's request (WM_EXPORT) goes
// to the player, a window-modal progress dialog with Cancel follows the
// percent (WM_EXPORT_PROGRESS), and the result is shown at the end.
#include <QProgressDialog>
#include <QStringList>
#include <algorithm>

#include "controls/message_event.h"
#include "ui/dialog_texts.h"
#include "ui/main_dlg.h"
#include "ui/wave_dlg.h"

namespace corvane {

void CCorvaneDlg::SetUpExport(playback::PlayerCallbacks* cb, const Options& options) {
  // Reader thread: the bar takes 0-100, and is told only of a change.
  cb->exportProgress = [this, observer = options.exportObserver](int percent) {
    if (observer) observer(percent);
    const int clamped = std::clamp(percent, 0, 100);
    if (exportPercentPosted_.exchange(clamped) != clamped)
      controls::PostMessageTo(this, media::WM_EXPORT_PROGRESS, clamped, 0);
  };
  cb->exportFinished = [this](const avexport::ExportResult&) {
    controls::PostMessageTo(this, kMsgExportEnded, 0, 0);
  };
  CWaveDlg::ExportHooks hooks;
  hooks.source = [this](std::string* krvPath, std::array<std::string, 4>* aviPaths) {
    const playback::PlayState& s = player_->State();
    if (s.fileKind.load() == playback::PlayState::kKrv) {
      *krvPath = s.krvOpenPath.Empty() ? s.krvPath.Get() : s.krvOpenPath.Get();
      return;
    }
    for (int c = 0; c < 4; ++c) (*aviPaths)[c] = s.aviOpenPath[c].Empty() ? s.aviPath[c].Get() : s.aviOpenPath[c].Get();
  };
  hooks.stage = [this](const avexport::ExportRequest& request) { stagedExport_ = request; };
  wave_->SetExportHooks(hooks);
}

bool CCorvaneDlg::HandleExportMessage(uint32_t message, intptr_t wParam, intptr_t lParam) {
  switch (message) {
    case media::WM_EXPORT: {
      avexport::ExportRequest request = stagedExport_;
      stagedExport_ = avexport::ExportRequest{};
      request.startSecond = static_cast<int>(wParam);
      request.endSecond = static_cast<int>(lParam);
      exportPercentPosted_.store(-1);
      const std::string refused = player_->Export(request);
      if (!refused.empty()) {
        ShowNotice(QStringLiteral("exportMessage"), FromUtf8(refused));
        return true;
      }
      if (!exportProgress_) {
        exportProgress_ = new QProgressDialog(QStringLiteral("Exporting..."), QStringLiteral("Cancel"), 0, 100, this);
        exportProgress_->setObjectName(QStringLiteral("exportProgress"));
        exportProgress_->setWindowModality(Qt::WindowModal);
        exportProgress_->setAutoClose(false);
        exportProgress_->setAutoReset(false);
        exportProgress_->setMinimumDuration(0);
        connect(exportProgress_, &QProgressDialog::canceled, this, [this] { player_->CancelExport(); });
      }
      exportProgress_->setValue(0);
      exportProgress_->show();
      return true;
    }
    case media::WM_EXPORT_PROGRESS:
      if (exportProgress_) exportProgress_->setValue(std::clamp(static_cast<int>(wParam), 0, 100));
      return true;
    case kMsgExportEnded:
      OnExportEnded();
      return true;
    default:
      return false;
  }
}

void CCorvaneDlg::OnExportEnded() {
  if (player_->Exporting()) return;  // a later export runs already
  if (exportProgress_) {
    exportProgress_->hide();
    exportProgress_->deleteLater();
    exportProgress_ = nullptr;
  }
  const avexport::ExportResult r = player_->LastExportResult();
  using Outcome = avexport::ExportResult::Outcome;
  QString text;
  QStringList files;
  for (const std::string& f : r.files) files << FromUtf8(f);
  QStringList without;
  for (int c : r.channelsWithoutPictures) without << QStringLiteral("Channel%1").arg(c + 1);
  switch (r.outcome) {
    case Outcome::kFinished:
    case Outcome::kStoppedEarly:
      text = r.outcome == Outcome::kFinished ? QStringLiteral("The video was saved.")
                                              : QStringLiteral("The recording ended before the end point; the "
                                                               "video was saved up to its end.");
      if (!files.isEmpty()) text += QStringLiteral("\n\nFiles written:\n") + files.join(QLatin1Char('\n'));
      if (!without.isEmpty())
        text += QStringLiteral("\n\nNo pictures in the stretch for: ") + without.join(QStringLiteral(", "));
      break;
    case Outcome::kFailed:
      text = QStringLiteral("The video could not be saved: %1\n%2\nNo file of this export was kept.")
                 .arg(FromUtf8(r.failedPath), FromUtf8(r.reason));
      break;
    case Outcome::kCancelled:
      text = QStringLiteral("The export was cancelled; its files were removed.");
      break;
    default:
      return;
  }
  ShowNotice(QStringLiteral("exportMessage"), text);
}

}  // namespace corvane
