// A skin button: a rounded picture with the caption drawn on it, lighter
// under the mouse and darker while pressed. A button can carry a second
// picture (the mute button shows one per state).
#pragma once

#include <QAbstractButton>
#include <QColor>

namespace controls {

class CPictureButton : public QAbstractButton {
  Q_OBJECT
 public:
  CPictureButton(int controlId, const QString& caption, QWidget* parent);

  // Which of the two pictures is shown (0 or 1).
  void SetPicture(int index);
  int Picture() const { return picture_; }
  void SetColors(QColor face, QColor text);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  int picture_ = 0;
  bool hover_ = false;
  QColor face_{0x3A, 0x6E, 0x9A};
  QColor text_{Qt::white};
};

}  // namespace controls
