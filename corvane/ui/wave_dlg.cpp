#include "ui/wave_dlg.h"

#include <QPainter>
#include <QTimerEvent>
#include <algorithm>

#include "controls/control_id.h"
#include "controls/message_event.h"
#include "core/settings.h"
#include "media/ac_messages.h"
#include "ui/calendar_ctrl.h"
#include "ui/scope_ctrl.h"

namespace corvane {

QString PlayTimeText(int s, int t) {
  s = std::max(0, s);
  t = std::max(0, t);
  return QString::asprintf("%02d:%02d:%02d/%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60, t / 3600, t / 60 % 60,
                           t % 60);
}

namespace {
constexpr int kSliderRowHeight = 18;
constexpr int kButtonRowHeight = 24;
const QColor kPanelBack(0xD9, 0xEA, 0xF4);
}  // namespace

CWaveDlg::CWaveDlg(QWidget* parent) : QWidget(parent) {
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, kPanelBack);
  setPalette(pal);

  chart_ = CreateScope();
  calendar_ = new CDVRCalendarCtrl(this);
  calendar_->hide();

  slider_ = new controls::CBitmapSlider(IDC_SLIDER, this);
  slider_->SetRange(0, 0);
  timeText_ = new QLabel(this);
  timeText_->setObjectName(QStringLiteral("timeText"));
  timeText_->setAlignment(Qt::AlignCenter);
  timeText_->setStyleSheet(QStringLiteral("color: rgb(2, 114, 186); background: rgb(217, 234, 244);"));

  const struct {
    int id;
    const char* caption;
  } kButtons[5] = {{IDC_GSENSOR, "G-sensor"},
                   {IDC_CALENDAR, "Calendar"},
                   {IDC_SETCUT, "SetCutPoit"},
                   {IDC_DELCUT, "DelCutPoit"},
                   {IDC_CUTVIDEO, "CutVideo"}};
  for (int i = 0; i < 5; ++i) buttons_[i] = new controls::CPictureButton(kButtons[i].id, kButtons[i].caption, this);
  connect(buttons_[0], &QAbstractButton::clicked, this, [this] { ShowCalendar(false); });
  connect(buttons_[1], &QAbstractButton::clicked, this, [this] {
    controls::SendMessageTo(parentWidget(), media::WM_LOWER_PANEL_LEVEL, 1, 0);
    ShowCalendar(true);
  });
  connect(buttons_[2], &QAbstractButton::clicked, this, [this] { OnSetCut(); });
  connect(buttons_[3], &QAbstractButton::clicked, this, [this] { OnDelCut(); });
  connect(buttons_[4], &QAbstractButton::clicked, this, [this] { OnCutVideo(); });

  speedUnit_ = GetSettingInt(kSectionWaveConfig, kKeySpeed, 0);
  temperatureUnit_ = GetSettingInt(kSectionWaveConfig, kKeyTemperature, 0);
  ApplyChartUnits();
  initialised_ = true;
  PlaceControls();
}

CWaveDlg::~CWaveDlg() {
  DetachChart();
  ReadChartUnits();
  SetSettingInt(kSectionWaveConfig, kKeySpeed, speedUnit_);
  SetSettingInt(kSectionWaveConfig, kKeyTemperature, temperatureUnit_);
}

void CWaveDlg::SetDuration(int totalSeconds) {
  if (!waitingForDuration_) return;
  waitingForDuration_ = false;
  totalSeconds_ = std::max(0, totalSeconds);
  slider_->SetRange(0, totalSeconds_);
  slider_->SetPos(0);
}

void CWaveDlg::SetPosition(int seconds, int upperSeconds) {
  // (The calendar takes the position too, once it exists.)
  if (waitingForDuration_) {
    slider_->SetPos(0);
    return;
  }
  seconds = std::min(seconds, upperSeconds);
  if (!dragging_) slider_->SetPos(seconds);
  timeText_->setText(PlayTimeText(seconds, totalSeconds_));
}

void CWaveDlg::ResetPosition() {
  waitingForDuration_ = true;
  slider_->SetPos(0);
  timeText_->clear();
}

void CWaveDlg::SetRecordingStart(int64_t startTime) {
  recordingStart_.store(startTime);
  controls::PostMessageTo(this, media::WM_RECORDING_OPENED, 0, 0);
}

bool CWaveDlg::event(QEvent* e) {
  if (controls::ACMessageEvent* m = controls::AsMessage(e)) {
    switch (m->message()) {
      case controls::kMsgSliderMoved:
      case controls::kMsgSliderMovedEnd:
        if (m->wParam == IDC_SLIDER) {
          controls::SendMessageTo(parentWidget(), media::WM_SEEK, IDC_SLIDER, m->lParam);
          dragging_ = true;
          dragTimer_.start(kDragTimerMs, this);
        }
        return true;
      case media::WM_RECORDING_OPENED:
        calendarStart_ = recordingStart_.load();  // handed to the calendar once it exists
        // Cut points belong to the recording they were set in.
        cut_.Reset();
        ShowCutMarks();
        return true;
      default:
        return true;
    }
  }
  return QWidget::event(e);
}

void CWaveDlg::timerEvent(QTimerEvent* e) {
  if (e->timerId() == dragTimer_.timerId()) {
    dragging_ = false;
    dragTimer_.stop();
    return;
  }
  QWidget::timerEvent(e);
}

void CWaveDlg::ShowCalendar(bool on) {
  calendarShown_ = on;
  PlaceControls();
}

void CWaveDlg::resizeEvent(QResizeEvent*) { PlaceControls(); }

void CWaveDlg::PlaceControls() {
  if (!initialised_) return;
  const int w = width(), h = height();
  const int lowerY = h - kButtonRowHeight;
  const int upperY = lowerY - kSliderRowHeight - 2;
  QWidget* shown = calendarShown_ ? static_cast<QWidget*>(calendar_) : chart_;
  QWidget* hidden = calendarShown_ ? chart_ : static_cast<QWidget*>(calendar_);
  shown->setGeometry(0, 0, w, std::max(0, upperY - 2));
  shown->show();
  hidden->hide();
  buttons_[0]->setGeometry(0, upperY, 75, kSliderRowHeight);
  buttons_[1]->setGeometry(75, upperY, 75, kSliderRowHeight);
  slider_->setGeometry(150, upperY, std::max(0, w - 270), kSliderRowHeight);
  timeText_->setGeometry(w - 120, upperY, 120, kSliderRowHeight);
  buttons_[2]->setGeometry(0, lowerY, 75, kButtonRowHeight);
  buttons_[3]->setGeometry(75, lowerY, 75, kButtonRowHeight);
  buttons_[4]->setGeometry(w - 120, lowerY, 60, kButtonRowHeight);
}

}  // namespace corvane
