// The lower panel's sensor chart: made with the panel's colours and range,
// fed by the player's chart consumer, its unit flags kept in "WaveConfig".
#include <QColor>

#include "controls/message_event.h"
#include "ui/scope_ctrl.h"
#include "ui/wave_dlg.h"
#include "vehicle/record_consumers.h"

namespace corvane {

COScopeCtrl* CWaveDlg::CreateScope() {
  scope_ = new COScopeCtrl(this);
  scope_->SetRange(-2.0, 2.0, 1);
  scope_->SetBackgroundColor(QColor(24, 64, 68));
  scope_->SetGridColor(QColor(192, 192, 255));
  scope_->SetCurveColors(QColor(255, 255, 255), QColor(255, 0, 0), QColor(0, 255, 0));
  // Double-clicks in the plot go to the main window (0x480, wParam 0).
  scope_->SetNotifyTarget(parentWidget());
  return scope_;
}

void CWaveDlg::ApplyChartUnits() {
  if (scope_) scope_->SetUnits(speedUnit_, temperatureUnit_);
}

void CWaveDlg::ReadChartUnits() {
  if (!scope_) return;
  speedUnit_ = scope_->SpeedUnit();
  temperatureUnit_ = scope_->TemperatureUnit();
}

void CWaveDlg::AttachChart(vehicle::ChartRecordConsumer* consumer) {
  chartConsumer_ = consumer;
  scope_->AttachFeed();
  if (consumer) consumer->SetSink(scope_);
}

void CWaveDlg::DetachChart() {
  if (chartConsumer_) chartConsumer_->SetSink(nullptr);
  chartConsumer_ = nullptr;
  if (scope_) scope_->DetachFeed();
}

}  // namespace corvane
