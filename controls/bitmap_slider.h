// The skin's slider: a track with a thumb. While the user moves it the
// slider posts WM_SLIDER_MOVED (0x28D1) to its parent, and when the user
// lets go WM_SLIDER_MOVED_END (0x28D2); both carry wParam = the slider's
// control id and lParam = the position. SetPos moves the thumb without a
// notice.
#pragma once

#include <QColor>
#include <QWidget>

namespace controls {

inline constexpr uint32_t kMsgSliderMoved = 0x28D1;
inline constexpr uint32_t kMsgSliderMovedEnd = 0x28D2;

class CBitmapSlider : public QWidget {
  Q_OBJECT
 public:
  CBitmapSlider(int controlId, QWidget* parent);

  void SetRange(int minimum, int maximum);  // maximum below minimum is taken as minimum
  int Minimum() const { return min_; }
  int Maximum() const { return max_; }
  void SetPos(int pos);  // clamped to the range
  int Pos() const { return pos_; }
  bool Dragging() const { return dragging_; }
  void SetColors(QColor played, QColor rest, QColor thumb);

  // The x coordinate (in the slider) at which a click lands on pos.
  int XForPos(int pos) const;

  // Cut marks drawn on the track at positions (not pixels, so that they
  // stay right when the slider is resized): none, the first, or both.
  void SetMarks(int count, int firstPos, int secondPos);
  int MarkCount() const { return markCount_; }

  QSize sizeHint() const override { return QSize(120, 18); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  static constexpr int kThumbWidth = 10;
  int PosForX(int x) const;
  void Notify(uint32_t message);

  int min_ = 0;
  int max_ = 100;
  int pos_ = 0;
  bool dragging_ = false;
  QColor played_{0x02, 0x72, 0xBA};
  QColor rest_{0xB8, 0xC8, 0xD4};
  QColor thumb_{0xF4, 0xF8, 0xFC};
  int markCount_ = 0;
  int marks_[2] = {0, 0};
};

}  // namespace controls
