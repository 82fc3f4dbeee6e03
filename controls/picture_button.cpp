#include "controls/picture_button.h"

#include <QPainter>
#include <QPainterPath>

#include "controls/control_id.h"

namespace controls {

CPictureButton::CPictureButton(int controlId, const QString& caption, QWidget* parent) : QAbstractButton(parent) {
  SetControlId(this, controlId);
  setText(caption);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::NoFocus);
  QFont f = font();
  f.setPixelSize(11);
  f.setBold(true);
  setFont(f);
}

void CPictureButton::SetPicture(int index) {
  picture_ = index ? 1 : 0;
  update();
}

void CPictureButton::SetColors(QColor face, QColor text) {
  face_ = face;
  text_ = text;
  update();
}

QSize CPictureButton::sizeHint() const {
  QFontMetrics fm(font());
  return QSize(std::max(32, fm.horizontalAdvance(text()) + 14), 26);
}

void CPictureButton::enterEvent(QEnterEvent* event) {
  hover_ = true;
  update();
  QAbstractButton::enterEvent(event);
}

void CPictureButton::leaveEvent(QEvent* event) {
  hover_ = false;
  update();
  QAbstractButton::leaveEvent(event);
}

void CPictureButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QColor face = face_;
  if (picture_) face = face.darker(150);  // the second picture
  if (!isEnabled()) face = QColor(0x88, 0x88, 0x88);
  else if (isDown()) face = face.darker(130);
  else if (hover_) face = face.lighter(125);
  QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  QLinearGradient g(r.topLeft(), r.bottomLeft());
  g.setColorAt(0, face.lighter(130));
  g.setColorAt(1, face);
  QPainterPath path;
  path.addRoundedRect(r, 4, 4);
  p.fillPath(path, g);
  p.setPen(face.darker(160));
  p.drawPath(path);
  p.setPen(isEnabled() ? text_ : QColor(0xDD, 0xDD, 0xDD));
  p.drawText(rect(), Qt::AlignCenter, text());
}

}  // namespace controls
