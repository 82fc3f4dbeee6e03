#include "controls/bitmap_slider.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "controls/control_id.h"
#include "controls/message_event.h"

namespace controls {

CBitmapSlider::CBitmapSlider(int controlId, QWidget* parent) : QWidget(parent) {
  SetControlId(this, controlId);
  setCursor(Qt::PointingHandCursor);
}

void CBitmapSlider::SetRange(int minimum, int maximum) {
  min_ = minimum;
  max_ = std::max(minimum, maximum);
  pos_ = std::clamp(pos_, min_, max_);
  update();
}

void CBitmapSlider::SetPos(int pos) {
  pos = std::clamp(pos, min_, max_);
  if (pos == pos_) return;
  pos_ = pos;
  update();
}

void CBitmapSlider::SetColors(QColor played, QColor rest, QColor thumb) {
  played_ = played;
  rest_ = rest;
  thumb_ = thumb;
  update();
}

int CBitmapSlider::XForPos(int pos) const {
  const int span = std::max(1, width() - kThumbWidth);
  if (max_ == min_) return kThumbWidth / 2;
  const long long offset = static_cast<long long>(pos - min_) * span / (max_ - min_);
  return static_cast<int>(offset) + kThumbWidth / 2;
}

int CBitmapSlider::PosForX(int x) const {
  const int span = std::max(1, width() - kThumbWidth);
  const int offset = std::clamp(x - kThumbWidth / 2, 0, span);
  // Rounded to the nearest position.
  const long long range = static_cast<long long>(max_) - min_;
  return min_ + static_cast<int>((offset * range + span / 2) / span);
}

void CBitmapSlider::Notify(uint32_t message) {
  PostMessageTo(parentWidget(), message, ControlId(this), pos_);
}

void CBitmapSlider::SetMarks(int count, int firstPos, int secondPos) {
  markCount_ = count < 0 ? 0 : count > 2 ? 2 : count;
  marks_[0] = firstPos;
  marks_[1] = secondPos;
  update();
}

void CBitmapSlider::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const int cy = height() / 2;
  const int x = XForPos(pos_);
  QRect track(kThumbWidth / 2, cy - 2, width() - kThumbWidth, 4);
  p.fillRect(track, rest_);
  p.fillRect(QRect(track.left(), track.top(), x - track.left(), track.height()), played_);
  // The cut marks: a red tick above and below the track at each.
  for (int i = 0; i < markCount_ && i < 2; ++i) {
    const int mx = XForPos(marks_[i]);
    p.fillRect(QRect(mx - 1, 0, 2, height()), QColor(0xD0, 0x20, 0x20));
  }
  QRectF thumb(x - kThumbWidth / 2.0, 1, kThumbWidth, height() - 2);
  p.setPen(played_.darker(130));
  p.setBrush(thumb_);
  p.drawRoundedRect(thumb.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
}

void CBitmapSlider::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  dragging_ = true;
  SetPos(PosForX(event->position().toPoint().x()));
  Notify(kMsgSliderMoved);
}

void CBitmapSlider::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) return;
  const int pos = PosForX(event->position().toPoint().x());
  if (pos == pos_) return;
  SetPos(pos);
  Notify(kMsgSliderMoved);
}

void CBitmapSlider::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !dragging_) return;
  dragging_ = false;
  Notify(kMsgSliderMovedEnd);
}

}  // namespace controls
