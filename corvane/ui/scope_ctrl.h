// The sensor chart: the G-sensor's X, Y and Z as curves scrolling one point
// (4 pixels) per record, with the current values, speed and temperature in a
// label row under the plot. Click a label to hide its curve or switch the
// speed (km/h, mph) or temperature (C, F) unit; hover the plot for a read-out
// of the point under the mouse; double-click the plot to tell the target
// (0x480 with wParam 0).
//
// The chart consumer's thread hands samples in by value (vehicle::ChartSink);
// they are put into the ring and drawn on the window's thread.
#pragma once

#include <QColor>
#include <QPointer>
#include <QWidget>
#include <mutex>
#include <string>

#include "vehicle/record_consumers.h"
#include "vehicle/scope_math.h"

namespace corvane {

class COScopeCtrl : public QWidget, public vehicle::ChartSink {
  Q_OBJECT
 public:
  explicit COScopeCtrl(QWidget* parent);
  ~COScopeCtrl() override;

  // Refused (false, nothing changed) unless minimum < maximum, both finite.
  bool SetRange(double minimum, double maximum, int decimals);
  void SetGridColor(QColor c);
  void SetBackgroundColor(QColor c);
  void SetCurveColors(QColor x, QColor y, QColor z);
  void SetUnits(int mph, int fahrenheit);
  int SpeedUnit() const { return mph_; }
  int TemperatureUnit() const { return fahrenheit_; }
  void SetNotifyTarget(QObject* target) { target_ = target; }

  // Window's thread: one point, drawn at once.
  void Append(int64_t timeMs, double x, double y, double z, double temperature, double speed);
  // Empties the chart.
  void ResetChart();

  // Samples from the chart consumer's thread go to this chart (queued);
  // Detach stops them.
  void AttachFeed();
  void DetachFeed();

  // vehicle::ChartSink (chart consumer's thread).
  void Sample(int64_t timeMs, double x, double y, double z, double temperature, double speed) override;
  void Reset() override;

  // What the chart shows.
  const vehicle::ScopeRing& Ring() const { return ring_; }
  const vehicle::ScopeGeometry& Geometry() const { return geo_; }
  bool CurveHidden(int axis) const { return hidden_[axis]; }
  struct Labels {
    std::string x, y, z, speed, speedUnit, temperature, temperatureUnit, maximum, minimum;
  };
  Labels LabelTexts() const;
  // The read-out of the hovered point; empty when none is held there.
  QString ReadoutText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void Relayout();
  QColor LabelColour(QColor base, bool hovered, bool hidden) const;

  double minimum_ = -10, maximum_ = 10;
  int decimals_ = 3;
  vehicle::ScopeGeometry geo_;
  vehicle::ScopeRing ring_;
  double temperature_ = 0, speed_ = 0;
  QColor background_ = Qt::black;
  QColor grid_ = QColor(0, 255, 255);
  QColor curves_[3] = {QColor(255, 255, 255), QColor(255, 0, 0), QColor(28, 124, 50)};
  bool hidden_[3] = {false, false, false};
  int mph_ = 0, fahrenheit_ = 0;
  vehicle::ScopeBand hover_ = vehicle::ScopeBand::kNone;
  bool cursorInPlot_ = false;
  int cursorX_ = 0;
  int hoverBack_ = 0;
  QPointer<QObject> target_;

  std::mutex feedMutex_;  // guards feeding_ against DetachFeed while posting
  bool feeding_ = false;
};

}  // namespace corvane
