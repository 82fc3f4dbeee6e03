// The main window's vehicle views: the map view in the map's place and the
// lower panel's chart, both plugged into the player's record queues. The
// chart is fed from the start; the map takes records once it has been shown.
#include "ui/g_event_marks.h"
#include "ui/main_dlg.h"
#include "ui/map_dlg.h"
#include "ui/video_layout.h"
#include "ui/wave_dlg.h"

namespace corvane {

CMapDlg* CCorvaneDlg::CreateMapView() {
  mapDlg_ = new CMapDlg(this);
  mapDlg_->SetEnlargeHandler([this](bool on) { OnMapEnlarged(on); });
  return mapDlg_;
}

void CCorvaneDlg::StartVehicleViews() {
  playback::Player* player = player_.get();
  mapDlg_->Attach(&player->Map(), &player->MapQueue(), [player](bool on) { player->AcceptMapRecords(on); });
  wave_->AttachChart(&player->Chart());
  gEventMarks_ = new CGEventMarks(wave_->slider(), this);
}

void CCorvaneDlg::CloseVehicleViews() {
  // No more drawing; the player ends the consumers after the readers.
  mapDlg_->Detach();
  wave_->DetachChart();
  gEventMarks_->Stop();
}

void CCorvaneDlg::ScanGEvents(const std::string& path) {
  if (gEventMarks_) gEventMarks_->Scan(path);
}

void CCorvaneDlg::OnMapEnlarged(bool on) {
  mapEnlarged_ = on;
  if (!on) layout_->show();
  Relayout();
}

}  // namespace corvane
