#include "ui/g_event_marks.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <cstdlib>

#include "controls/message_event.h"
#include "core/settings.h"
#include "media/ac_messages.h"
#include "vehicle/record_scan.h"

namespace corvane {

namespace {
constexpr int kSliderId = 1013;  // the lower panel's slider, as its seeks say
}

CGEventMarks::CGEventMarks(controls::CBitmapSlider* slider, QObject* window)
    : QWidget(slider), slider_(slider), window_(window) {
  setObjectName(QStringLiteral("gEventMarks"));
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_NoSystemBackground);
  setGeometry(slider->rect());
  slider->installEventFilter(this);
  show();
}

CGEventMarks::~CGEventMarks() {
  {
    std::lock_guard<std::mutex> lock(postMutex_);
    alive_ = false;
  }
  Stop();
}

void CGEventMarks::Stop() {
  cancel_.store(true);
  worker_.Join();
}

void CGEventMarks::Scan(const std::string& path) {
  Stop();
  cancel_.store(false);
  ++serial_;
  events_.clear();
  update();
  const bool krv = path.size() >= 4 && path.compare(path.size() - 4, 4, ".krv") == 0;
  if (!krv) {
    scanning_ = false;
    return;
  }
  scanning_ = true;
  const int hundredths = GetSettingInt(kSectionWaveConfig, kKeyGEventThreshold, vehicle::kDefaultGEventThreshold);
  const double threshold = (hundredths > 0 ? hundredths : vehicle::kDefaultGEventThreshold) / 100.0;
  const unsigned serial = serial_;
  worker_.Start([this, path, threshold, serial] {
    bool opened = false;
    std::vector<vehicle::GEvent> events = vehicle::ScanGEvents(path, threshold, &opened, &cancel_);
    if (cancel_.load()) return;
    std::lock_guard<std::mutex> lock(postMutex_);
    if (!alive_) return;
    QMetaObject::invokeMethod(
        this, [this, serial, events = std::move(events)]() mutable { Done(serial, std::move(events)); },
        Qt::QueuedConnection);
  });
}

void CGEventMarks::Done(unsigned serial, std::vector<vehicle::GEvent> events) {
  if (serial != serial_) return;
  // The worker has ended (it posted last); join it now.
  worker_.Join();
  events_ = std::move(events);
  scanning_ = false;
  update();
}

int CGEventMarks::MarkX(const vehicle::GEvent& e) const {
  return slider_->XForPos(static_cast<int>(e.timeMs / 1000));
}

bool CGEventMarks::eventFilter(QObject* watched, QEvent* event) {
  if (watched == slider_) {
    if (event->type() == QEvent::Resize) {
      setGeometry(slider_->rect());
    } else if (event->type() == QEvent::MouseButtonPress && !events_.empty() && slider_->Maximum() > 0) {
      auto* m = static_cast<QMouseEvent*>(event);
      const int x = m->position().toPoint().x();
      for (const vehicle::GEvent& e : events_) {
        if (std::abs(MarkX(e) - x) <= kHitPixels) {
          controls::SendMessageTo(window_, media::WM_SEEK, kSliderId,
                                  static_cast<intptr_t>(e.timeMs / 1000));
          return true;
        }
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

void CGEventMarks::paintEvent(QPaintEvent*) {
  if (events_.empty() || slider_->Maximum() <= 0) return;
  QPainter p(this);
  p.setPen(QPen(QColor(220, 40, 40), 2));
  for (const vehicle::GEvent& e : events_) {
    const int x = MarkX(e);
    p.drawLine(x, 0, x, 4);
    p.drawLine(x, height() - 5, x, height() - 1);
  }
}

}  // namespace corvane
