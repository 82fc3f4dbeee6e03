// The lower panel (dialog template 176): the playback position slider with
// its time text, and the places of the sensor chart, the calendar and the
// cut-point buttons (their behaviour comes with their own parts).
//
// The slider reports a move to the panel, which sends the seek message
// (0x470, wParam = 1013, lParam = target second) to its parent and treats
// the slider as being dragged for one second, so that play-time updates do
// not pull the thumb from under the user's hand.
#pragma once

#include <QBasicTimer>
#include <QLabel>
#include <QWidget>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "controls/bitmap_slider.h"
#include "controls/picture_button.h"
#include "core/cut_state.h"
#include "export/avi_export.h"

namespace vehicle {
class ChartRecordConsumer;
}

namespace corvane {

class CDVRCalendarCtrl;
class CSaveVideoFileDlg;
class COScopeCtrl;

class CWaveDlg : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kTemplateId = 176;
  enum : int {
    IDC_SLIDER = 1013,
    IDC_GSENSOR = 1101,
    IDC_CALENDAR = 1102,
    IDC_SETCUT = 1103,
    IDC_DELCUT = 1104,
    IDC_CUTVIDEO = 1105,
  };
  static constexpr int kDragTimerMs = 1000;

  explicit CWaveDlg(QWidget* parent);
  ~CWaveDlg() override;  // writes the chart's unit flags back

  // Only while waiting for a duration: total seconds, slider range 0..total at 0.
  void SetDuration(int totalSeconds);
  // Current second, limited to upperSeconds; the time text follows.
  void SetPosition(int seconds, int upperSeconds);
  // Waiting for a duration again; slider at 0, time text empty.
  void ResetPosition();
  // Called by a reader thread when it opened a recording (seconds since 1970);
  // the panel applies it on WM_RECORDING_OPENED.
  void SetRecordingStart(int64_t startTime);
  int64_t RecordingStart() const { return recordingStart_.load(); }

  bool WaitingForDuration() const { return waitingForDuration_; }
  bool SliderDragging() const { return dragging_; }
  int TotalSeconds() const { return totalSeconds_; }
  controls::CBitmapSlider* slider() const { return slider_; }
  QLabel* timeText() const { return timeText_; }
  bool CalendarShown() const { return calendarShown_; }
  CDVRCalendarCtrl* calendar() const { return calendar_; }

  // ---- cut points and the save flow (wave_cut.cpp) -------------------------
  // What the save flow needs from the main window.
  struct ExportHooks {
    // The recording being played: its KRV path, or its AVI paths by slot.
    std::function<void(std::string* krvPath, std::array<std::string, 4>* aviPaths)> source;
    // Takes the request (outputs, sidecars) before WM_EXPORT is sent.
    std::function<void(const avexport::ExportRequest& request)> stage;
  };
  void SetExportHooks(const ExportHooks& hooks) { exportHooks_ = hooks; }
  const CutState& cutState() const { return cut_; }
  // Buttons 1103-1105.
  void OnSetCut();
  void OnDelCut();
  void OnCutVideo();
  // The save dialog while it is open, else null.
  CSaveVideoFileDlg* saveDialog() const { return saveDialog_; }
  // The sensor chart (wave_chart.cpp).
  COScopeCtrl* scope() const { return scope_; }
  // Feeds the chart from the player's chart consumer (its feed thread).
  void AttachChart(vehicle::ChartRecordConsumer* consumer);
  // No more samples (before the consumer or the panel goes away).
  void DetachChart();

 protected:
  bool event(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  void PlaceControls();
  void ShowCalendar(bool on);
  void ShowCutMarks();
  // wave_chart.cpp: the chart made and set up; its unit flags kept.
  COScopeCtrl* CreateScope();
  void ApplyChartUnits();
  void ReadChartUnits();

  QWidget* chart_ = nullptr;     // the sensor chart's place
  COScopeCtrl* scope_ = nullptr;  // the chart itself (chart_)
  vehicle::ChartRecordConsumer* chartConsumer_ = nullptr;
  CDVRCalendarCtrl* calendar_ = nullptr;
  controls::CBitmapSlider* slider_ = nullptr;
  QLabel* timeText_ = nullptr;
  controls::CPictureButton* buttons_[5] = {};
  QBasicTimer dragTimer_;  // id 2 of the panel

  bool initialised_ = false;
  bool calendarShown_ = false;
  bool dragging_ = false;
  bool waitingForDuration_ = true;
  int totalSeconds_ = 0;
  int speedUnit_ = 0;        // "WaveConfig" "Speed"
  int temperatureUnit_ = 0;  // "WaveConfig" "Temperature"
  std::atomic<int64_t> recordingStart_{0};  // written by a reader thread
  int64_t calendarStart_ = 0;               // what the calendar was last given
  CutState cut_;
  ExportHooks exportHooks_;
  CSaveVideoFileDlg* saveDialog_ = nullptr;  // while the save dialog runs
};

// "%02d:%02d:%02d/%02d:%02d:%02d" of a position and a total in seconds.
QString PlayTimeText(int seconds, int totalSeconds);

}  // namespace corvane
