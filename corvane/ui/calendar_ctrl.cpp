#include "ui/calendar_ctrl.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "controls/message_event.h"
#include "media/ac_messages.h"

namespace corvane {

namespace {
constexpr int kArrowWidth = 18;
constexpr int kYearWidth = 44;
constexpr int kMonthWidth = 28;
constexpr int kMargin = 4;
// Bar colours: KRV, then channels 1-4.
const QColor kBarColours[5] = {QColor(0xE0, 0x60, 0x20), QColor(0x20, 0x90, 0x30), QColor(0x20, 0x60, 0xC0),
                               QColor(0xB0, 0x30, 0xB0), QColor(0xC0, 0xA0, 0x10)};
const QColor kBack(0xF4, 0xF8, 0xFB);
const QColor kMarked(0x60, 0xA0, 0xE0);
const QColor kShownDay(0xF0, 0x80, 0x30);
}  // namespace

CDVRCalendarCtrl::CDVRCalendarCtrl(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("calendar"));
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, kBack);
  setPalette(pal);
  setCursor(Qt::PointingHandCursor);
}

void CDVRCalendarCtrl::End() {
  model_.End();
  // Requests of the previous fill are void.
  openPending_ = false;
  openPath_.clear();
  update();
}

bool CDVRCalendarCtrl::TakeOpenRequest(intptr_t serial, std::string* path) {
  if (!openPending_ || serial != openSerial_) return false;
  openPending_ = false;
  *path = std::move(openPath_);
  openPath_.clear();
  return true;
}

int CDVRCalendarCtrl::HeaderHeight() const { return std::clamp(height() / 5, 14, 20); }
int CDVRCalendarCtrl::DayStripHeight() const { return std::clamp(height() / 5, 12, 18); }
int CDVRCalendarCtrl::RulerHeight() const { return std::clamp(height() / 6, 10, 16); }

QRect CDVRCalendarCtrl::PreviousYearRect() const { return QRect(kMargin, 0, kArrowWidth, HeaderHeight()); }
QRect CDVRCalendarCtrl::NextYearRect() const {
  return QRect(kMargin + kArrowWidth + kYearWidth, 0, kArrowWidth, HeaderHeight());
}
QRect CDVRCalendarCtrl::PreviousMonthRect() const {
  return QRect(NextYearRect().right() + 1 + 2 * kMargin, 0, kArrowWidth, HeaderHeight());
}
QRect CDVRCalendarCtrl::NextMonthRect() const {
  return QRect(PreviousMonthRect().right() + 1 + kMonthWidth, 0, kArrowWidth, HeaderHeight());
}
QRect CDVRCalendarCtrl::DayStripRect() const {
  return QRect(kMargin, HeaderHeight(), std::max(1, width() - 2 * kMargin), DayStripHeight());
}
QRect CDVRCalendarCtrl::RulerRect() const {
  const QRect d = DayStripRect();
  return QRect(d.left(), d.bottom() + 2, d.width(), RulerHeight());
}
QRect CDVRCalendarCtrl::TimeStripRect() const {
  const QRect r = RulerRect();
  return QRect(r.left(), r.bottom() + 1, r.width(), std::max(5, height() - r.bottom() - 2));
}
QRect CDVRCalendarCtrl::LaneRect(int32_t channel) const {
  const QRect t = TimeStripRect();
  const int lane = channel < 0 ? 0 : std::min(channel, 3) + 1;
  const int h = std::max(1, t.height() / 5);
  return QRect(t.left(), t.top() + lane * h, t.width(), h);
}

void CDVRCalendarCtrl::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  const QPoint p = e->position().toPoint();
  if (PreviousYearRect().contains(p)) model_.PreviousYear();
  else if (NextYearRect().contains(p)) model_.NextYear();
  else if (PreviousMonthRect().contains(p)) model_.PreviousMonth();
  else if (NextMonthRect().contains(p)) model_.NextMonth();
  else if (DayStripRect().contains(p)) model_.ClickDay(p.x(), DayStripRect().left(), DayStripRect().width());
  else if (RulerRect().contains(p)) model_.ClickRuler(p.x(), RulerRect().left(), RulerRect().width());
  else return;
  update();
}

void CDVRCalendarCtrl::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  const QPoint p = e->position().toPoint();
  const QRect strip = TimeStripRect();
  if (!strip.contains(p) || model_.empty()) return;
  const int64_t t = model_.TimeAt(p.x(), strip.left(), strip.width());
  // The lane under the click picks among recordings of the same time.
  int32_t lane = -1;
  for (int32_t c = 0; c < 4; ++c)
    if (LaneRect(c).contains(p)) lane = c;
  const std::ptrdiff_t i = model_.RecordAt(t, lane);
  if (i < 0) return;  // between recordings
  const CalendarRecord& r = model_.record(static_cast<std::size_t>(i));
  openPath_ = r.path;
  openPending_ = true;
  ++openSerial_;
  if (owner_) controls::PostMessageTo(owner_, media::WM_CALENDAR_OPEN, openSerial_, static_cast<intptr_t>(t - r.start));
}

void CDVRCalendarCtrl::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QFont f = font();
  f.setPixelSize(std::max(8, HeaderHeight() - 6));
  p.setFont(f);
  p.setPen(Qt::black);
  const bool any = !model_.empty();
  // Header.
  p.drawText(PreviousYearRect(), Qt::AlignCenter, QStringLiteral("<<"));
  p.drawText(NextYearRect(), Qt::AlignCenter, QStringLiteral(">>"));
  p.drawText(PreviousMonthRect(), Qt::AlignCenter, QStringLiteral("<"));
  p.drawText(NextMonthRect(), Qt::AlignCenter, QStringLiteral(">"));
  if (any) {
    p.drawText(QRect(PreviousYearRect().right() + 1, 0, kYearWidth, HeaderHeight()), Qt::AlignCenter,
               QString::number(model_.shownYear()));
    p.drawText(QRect(PreviousMonthRect().right() + 1, 0, kMonthWidth, HeaderHeight()), Qt::AlignCenter,
               QString::asprintf("%02d", model_.shownMonth()));
    p.drawText(QRect(NextMonthRect().right() + 8, 0, 120, HeaderHeight()), Qt::AlignLeft | Qt::AlignVCenter,
               QString::asprintf("%04d-%02d-%02d", model_.shownYear(), model_.shownMonth(), model_.shownDay()));
  }
  // Day strip.
  const QRect days = DayStripRect();
  p.fillRect(days, Qt::white);
  if (any) {
    const int n = DaysInMonth(model_.shownYear(), model_.shownMonth());
    const std::bitset<32> marked = model_.MarkedDays();
    const int weekday = WeekdayOfFirst(model_.shownYear(), model_.shownMonth());
    for (int d = 1; d <= n; ++d) {
      const int x0 = days.left() + (d - 1) * days.width() / n, x1 = days.left() + d * days.width() / n;
      const QRect cell(x0, days.top(), x1 - x0, days.height());
      if (marked.test(static_cast<std::size_t>(d))) p.fillRect(cell.adjusted(1, 1, -1, -1), kMarked);
      if (d == model_.shownDay()) {
        p.setPen(kShownDay);
        p.drawRect(cell.adjusted(0, 0, -1, -1));
      }
      // Sundays in red.
      p.setPen((weekday + d - 1) % 7 == 0 ? Qt::red : Qt::black);
      p.drawText(cell, Qt::AlignCenter, QString::number(d));
    }
  }
  // Ruler: twelve columns with their times.
  const QRect ruler = RulerRect();
  p.fillRect(ruler, QColor(0xDD, 0xE6, 0xEE));
  p.setPen(Qt::darkGray);
  for (int c = 0; c < CalendarModel::kRulerColumns; ++c) {
    const int x = ruler.left() + c * ruler.width() / CalendarModel::kRulerColumns;
    p.drawLine(x, ruler.top(), x, ruler.bottom());
    const int64_t t = model_.viewStart() + c * model_.viewSpan() / CalendarModel::kRulerColumns;
    const int64_t s = ((t % 86400) + 86400) % 86400;
    p.drawText(QRect(x + 2, ruler.top(), ruler.width() / 12, ruler.height()), Qt::AlignLeft | Qt::AlignVCenter,
               QString::asprintf("%02d:%02d", static_cast<int>(s / 3600), static_cast<int>(s / 60 % 60)));
  }
  // Time strip with the bars.
  const QRect strip = TimeStripRect();
  p.fillRect(strip, Qt::white);
  for (const CalendarBar& b : model_.Bars(strip.left(), strip.width())) {
    const QRect lane = LaneRect(b.channel);
    const QColor c = kBarColours[b.channel < 0 ? 0 : std::min(b.channel, 3) + 1];
    p.fillRect(QRect(b.x0, lane.top() + 1, std::max(1, b.x1 - b.x0), std::max(1, lane.height() - 2)), c);
  }
}

}  // namespace corvane
