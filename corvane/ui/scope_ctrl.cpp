#include "ui/scope_ctrl.h"

#include <algorithm>

#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include "controls/message_event.h"
#include "media/ac_messages.h"

namespace corvane {

using vehicle::ScopeBand;

namespace {
const QColor kHighlightGrey(44, 44, 44);
}

COScopeCtrl::COScopeCtrl(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("chart"));
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  Relayout();
}

COScopeCtrl::~COScopeCtrl() { DetachFeed(); }

bool COScopeCtrl::SetRange(double minimum, double maximum, int decimals) {
  if (!vehicle::ValidScopeRange(minimum, maximum) || decimals < 0 || decimals > 12) return false;
  minimum_ = minimum;
  maximum_ = maximum;
  decimals_ = decimals;
  Relayout();
  return true;
}

void COScopeCtrl::SetGridColor(QColor c) {
  grid_ = c;
  update();
}

void COScopeCtrl::SetBackgroundColor(QColor c) {
  background_ = c;
  update();
}

void COScopeCtrl::SetCurveColors(QColor x, QColor y, QColor z) {
  curves_[0] = x;
  curves_[1] = y;
  curves_[2] = z;
  update();
}

void COScopeCtrl::SetUnits(int mph, int fahrenheit) {
  mph_ = mph ? 1 : 0;
  fahrenheit_ = fahrenheit ? 1 : 0;
  update();
}

void COScopeCtrl::Append(int64_t timeMs, double x, double y, double z, double temperature, double speed) {
  temperature_ = temperature;
  speed_ = speed;
  ring_.Push(vehicle::ScopePoint{timeMs, x, y, z});
  update();
  if (cursorInPlot_ && QToolTip::isVisible()) QToolTip::showText(QCursor::pos(), ReadoutText(), this);
}

void COScopeCtrl::ResetChart() {
  ring_.Reset();
  hoverBack_ = 0;
  temperature_ = speed_ = 0;
  update();
}

void COScopeCtrl::AttachFeed() {
  std::lock_guard<std::mutex> lock(feedMutex_);
  feeding_ = true;
}

void COScopeCtrl::DetachFeed() {
  std::lock_guard<std::mutex> lock(feedMutex_);
  feeding_ = false;
}

void COScopeCtrl::Sample(int64_t timeMs, double x, double y, double z, double temperature, double speed) {
  // By value, without waiting for the window's thread.
  std::lock_guard<std::mutex> lock(feedMutex_);
  if (!feeding_) return;
  QMetaObject::invokeMethod(
      this, [this, timeMs, x, y, z, temperature, speed] { Append(timeMs, x, y, z, temperature, speed); },
      Qt::QueuedConnection);
}

void COScopeCtrl::Reset() {
  std::lock_guard<std::mutex> lock(feedMutex_);
  if (!feeding_) return;
  QMetaObject::invokeMethod(this, [this] { ResetChart(); }, Qt::QueuedConnection);
}

void COScopeCtrl::Relayout() {
  geo_ = vehicle::ScopeLayout(width(), height(), minimum_, maximum_, decimals_);
  update();
}

void COScopeCtrl::resizeEvent(QResizeEvent*) { Relayout(); }

COScopeCtrl::Labels COScopeCtrl::LabelTexts() const {
  Labels l;
  const vehicle::ScopePoint* p = ring_.Back(0);
  const vehicle::ScopePoint zero;
  if (!p) p = &zero;
  l.x = vehicle::ScopeAxisLabel('X', p->x);
  l.y = vehicle::ScopeAxisLabel('Y', p->y);
  l.z = vehicle::ScopeAxisLabel('Z', p->z);
  l.speed = vehicle::ScopeSpeedText(speed_, mph_);
  l.speedUnit = vehicle::ScopeSpeedUnit(mph_);
  l.temperature = vehicle::ScopeTemperatureText(temperature_, fahrenheit_);
  l.temperatureUnit = vehicle::ScopeTemperatureUnit(fahrenheit_);
  l.maximum = vehicle::ScopeRangeLabel(maximum_, decimals_);
  l.minimum = vehicle::ScopeRangeLabel(minimum_, decimals_);
  return l;
}

QString COScopeCtrl::ReadoutText() const {
  const vehicle::ScopePoint* p = ring_.Back(hoverBack_);
  if (!p) return QString();
  return QString::fromStdString(vehicle::ScopeReadout(*p));
}

QColor COScopeCtrl::LabelColour(QColor base, bool hovered, bool hidden) const {
  return hovered != hidden ? kHighlightGrey : base;
}

void COScopeCtrl::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), background_);
  const vehicle::ScopeGeometry& g = geo_;
  if (g.Width() <= 0 || g.Height() <= 0) return;

  // Grid: the frame, three dotted lines, ticks along the bottom.
  p.setPen(grid_);
  p.drawRect(g.left, g.top, g.Width(), g.Height());
  for (int q = 1; q <= 3; ++q) {
    const int y = g.top + g.Height() * q / 4;
    for (int x = g.left; x < g.right; x += 4) p.drawPoint(x, y);
  }
  for (int x = g.left; x <= g.right; x += 4) p.drawLine(x, g.bottom, x, g.bottom - (x % 5 == 0 ? 8 : 4));

  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(14);
  font.setWeight(QFont::Light);
  p.setFont(font);
  const Labels l = LabelTexts();
  // The range labels right-aligned at left - 4; a font wider than the
  // six pixels a character the plot's left edge allows is made smaller.
  const QString maxText = QString::fromStdString(l.maximum), minText = QString::fromStdString(l.minimum);
  QFont rangeFont = font;
  while (rangeFont.pixelSize() > 8 &&
         std::max(QFontMetrics(rangeFont).horizontalAdvance(maxText),
                  QFontMetrics(rangeFont).horizontalAdvance(minText)) > g.left - 4)
    rangeFont.setPixelSize(rangeFont.pixelSize() - 1);
  p.setFont(rangeFont);
  const QFontMetrics rfm(rangeFont);
  p.drawText(QRect(0, g.top, g.left - 4, rfm.height()), Qt::AlignRight | Qt::AlignTop, maxText);
  p.drawText(QRect(0, g.bottom - rfm.height(), g.left - 4, rfm.height()), Qt::AlignRight | Qt::AlignBottom, minText);
  p.setFont(font);
  const QFontMetrics fm(font);

  // Curves: only the points held, newest at right - 2, 4 pixels apart.
  p.save();
  p.setClipRect(QRect(g.left, g.top, g.Width() + 1, g.Height() + 1));
  p.setRenderHint(QPainter::Antialiasing, false);
  for (int axis = 0; axis < 3; ++axis) {
    if (hidden_[axis]) continue;
    p.setPen(QPen(curves_[axis], 2));
    int prevY = 0;
    bool havePrev = false;
    for (int back = 0; back < ring_.Count(); ++back) {
      const int x = g.right - vehicle::kScopeHalfShift - back * vehicle::kScopeShift;
      if (x < g.left) break;
      const vehicle::ScopePoint* pt = ring_.Back(back);
      const double v = axis == 0 ? pt->x : axis == 1 ? pt->y : pt->z;
      int y = 0;
      if (!vehicle::ScopeValueY(g, minimum_, v, &y)) {
        havePrev = false;  // NaN: a gap
        continue;
      }
      if (havePrev) p.drawLine(x + vehicle::kScopeShift, prevY, x, y);
      else p.drawPoint(x, y);
      prevY = y;
      havePrev = true;
    }
  }
  p.restore();

  // The label row.
  const int row = g.bottom + 4;
  const int h = fm.height();
  auto text = [&](int x, int w, int align, const std::string& s, QColor c) {
    p.setPen(c);
    p.drawText(QRect(x, row, w, h), align | Qt::AlignTop, QString::fromStdString(s));
  };
  text(g.left, 80, Qt::AlignLeft, l.x, LabelColour(curves_[0], hover_ == ScopeBand::kX, hidden_[0]));
  text(g.left + 80, 80, Qt::AlignLeft, l.y, LabelColour(curves_[1], hover_ == ScopeBand::kY, hidden_[1]));
  text(g.left + 160, 80, Qt::AlignLeft, l.z, LabelColour(curves_[2], hover_ == ScopeBand::kZ, hidden_[2]));
  const bool hs = hover_ == ScopeBand::kSpeed, ht = hover_ == ScopeBand::kTemperature;
  text(g.left + 240, 40, Qt::AlignRight, l.speed, hs ? kHighlightGrey : curves_[0]);
  text(g.left + 280, 40, Qt::AlignLeft, l.speedUnit, hs ? kHighlightGrey : curves_[1]);
  text(g.left + 320, 40, Qt::AlignRight, l.temperature, ht ? kHighlightGrey : curves_[0]);
  text(g.left + 360, 40, Qt::AlignLeft, l.temperatureUnit, ht ? kHighlightGrey : curves_[1]);

  // The cursor layer.
  if (cursorInPlot_) {
    p.setPen(grid_);
    p.drawLine(cursorX_, g.top, cursorX_, g.bottom);
  }
}

void COScopeCtrl::mouseMoveEvent(QMouseEvent* e) {
  const QPoint pos = e->position().toPoint();
  const ScopeBand band = vehicle::ScopeHoverBand(geo_, pos.x(), pos.y());
  const bool inPlot = vehicle::ScopeInPlot(geo_, pos.x(), pos.y());
  if (band != hover_ || inPlot || inPlot != cursorInPlot_) update();
  hover_ = band;
  cursorInPlot_ = inPlot;
  if (inPlot) {
    cursorX_ = pos.x();
    hoverBack_ = vehicle::ScopeHoverBack(geo_, pos.x());
    const QString tip = ReadoutText();
    if (tip.isEmpty()) QToolTip::hideText();
    else QToolTip::showText(e->globalPosition().toPoint(), tip, this);
  } else {
    QToolTip::hideText();
  }
}

void COScopeCtrl::leaveEvent(QEvent*) {
  hover_ = ScopeBand::kNone;
  cursorInPlot_ = false;
  update();
}

void COScopeCtrl::mouseReleaseEvent(QMouseEvent* e) {
  const QPoint pos = e->position().toPoint();
  switch (vehicle::ScopeClickBand(geo_, pos.x(), pos.y())) {
    case ScopeBand::kX: hidden_[0] = !hidden_[0]; break;
    case ScopeBand::kY: hidden_[1] = !hidden_[1]; break;
    case ScopeBand::kZ: hidden_[2] = !hidden_[2]; break;
    case ScopeBand::kSpeed: mph_ = !mph_; break;
    case ScopeBand::kTemperature: fahrenheit_ = !fahrenheit_; break;
    case ScopeBand::kNone: return;
  }
  update();
}

void COScopeCtrl::mouseDoubleClickEvent(QMouseEvent* e) {
  const QPoint pos = e->position().toPoint();
  if (target_ && vehicle::ScopeInPlot(geo_, pos.x(), pos.y()))
    controls::SendMessageTo(target_, media::WM_LOWER_PANEL_LEVEL, 0, 0);
}

}  // namespace corvane
