#include "ui/type_images.h"

#include <QPainter>

#include "core/catalogue.h"

namespace corvane {

namespace {

struct TypeMark {
  int bit;
  char letter;
  QColor colour;
};
// Left to right: manual, timing, motion, alarm.
const TypeMark kMarks[4] = {
    {8, 'M', QColor(0x1E, 0x6F, 0xC8)},
    {4, 'T', QColor(0x2E, 0x9E, 0x44)},
    {2, 'D', QColor(0xE0, 0x8A, 0x12)},
    {1, 'A', QColor(0xD0, 0x26, 0x26)},
};

QPixmap DrawTypeImage(int n) {
  QPixmap pm(kTypeImageWidth, kTypeImageHeight);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QFont f = p.font();
  f.setPixelSize(11);
  f.setBold(true);
  p.setFont(f);
  const int cell = kTypeImageWidth / 4;  // 17
  for (int i = 0; i < 4; ++i) {
    const QRectF r(i * cell + 1.5, 1.5, cell - 3, kTypeImageHeight - 3);
    const bool on = (n & kMarks[i].bit) != 0;
    p.setPen(Qt::NoPen);
    p.setBrush(on ? kMarks[i].colour : QColor(0xD4, 0xDC, 0xE4));
    p.drawRoundedRect(r, 3, 3);
    p.setPen(on ? Qt::white : QColor(0xA8, 0xB4, 0xC0));
    p.drawText(r, Qt::AlignCenter, QString(QChar(kMarks[i].letter)));
  }
  return pm;
}

}  // namespace

const std::array<QPixmap, 16>& RecordTypeImages() {
  static const std::array<QPixmap, 16> images = [] {
    std::array<QPixmap, 16> a;
    for (int n = 0; n < 16; ++n) a[n] = DrawTypeImage(n);
    return a;
  }();
  return images;
}

}  // namespace corvane
