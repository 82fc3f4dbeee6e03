// Placing the main window's children: on every size change and whenever the
// lower panel's level, the split level or the swap changes.
#include <QLabel>

#include "ui/main_dlg.h"
#include "ui/video_layout.h"
#include "ui/wave_dlg.h"

namespace corvane {

namespace {
// The skin's frame around the work area; the top one holds the title.
constexpr int kMarginLeft = 6;
constexpr int kMarginRight = 6;
constexpr int kMarginTop = 32;
constexpr int kMarginBottom = 6;
constexpr int kControlRowHeight = 60;
constexpr int kSideButtonRowHeight = 30;
constexpr int kSearchHeight = 100;
constexpr int kButtonHeight = 26;
constexpr int kSliderHeight = 18;
}  // namespace

void CCorvaneDlg::resizeEvent(QResizeEvent*) { Relayout(); }

void CCorvaneDlg::Relayout() {
  if (!layout_) return;
  const QRect work = rect().adjusted(kMarginLeft, kMarginTop, -kMarginRight, -kMarginBottom);

  // Title row buttons at the top right: close, maximise, minimise, 10 pixels apart.
  int x = width() - kMarginRight - 28;
  for (int id : {IDC_CLOSE, IDC_MAXIMISE, IDC_MINIMISE}) {
    Button(id)->setGeometry(x, 4, 28, 24);
    x -= 28 + 10;
  }

  if (mapEnlarged_) {
    const int h = work.height() * (4 - lowerPanelLevel_) / 4;
    map_->setGeometry(work.left(), work.top(), work.width(), h);
    layout_->hide();
    return;
  }

  // The lower panel takes the bottom lowerPanelLevel/4 of the work area,
  // less the control row beneath it.
  const int panelTotal = work.height() * lowerPanelLevel_ / 4;
  const int upperHeight = work.height() - panelTotal;
  const int panelTop = work.top() + upperHeight;
  wave_->setGeometry(work.left(), panelTop, work.width(), std::max(0, panelTotal - kControlRowHeight));

  // Above it: the video area (splitLevel thirds) and the side area.
  const int videoWidth = work.width() * splitLevel_ / 3;
  const int sideWidth = work.width() - videoWidth;
  const int videoLeft = panelsSwapped_ ? work.left() + sideWidth : work.left();
  const int sideLeft = panelsSwapped_ ? work.left() : work.left() + videoWidth;
  if (!layout_->fullScreen()) {
    layout_->Resize(videoLeft, work.top(), videoWidth, upperHeight);
    layout_->setVisible(videoWidth > 0);
  }

  // The side area: a row of buttons, then the map, the live view, or the
  // list with the search dialog in its bottom 100 pixels.
  int bx = sideLeft + 4;
  for (int id : {IDC_OPENFILE, IDC_MAP, IDC_VIDEO, IDC_LANGUAGE, IDC_LIVE}) {
    controls::CPictureButton* b = Button(id);
    if (b->isHidden() && (id == IDC_MAP || id == IDC_VIDEO)) continue;
    const int w = std::max(60, b->sizeHint().width());
    b->setGeometry(bx, work.top() + 2, w, kButtonHeight);
    bx += w + 4;
  }
  const QRect content(sideLeft, work.top() + kSideButtonRowHeight, sideWidth,
                      std::max(0, upperHeight - kSideButtonRowHeight));
  map_->setGeometry(content);
  live_->setGeometry(content);
  list_->setGeometry(content.left(), content.top(), content.width(), std::max(0, content.height() - kSearchHeight));
  search_->setGeometry(content.left(), content.bottom() + 1 - kSearchHeight, content.width(), kSearchHeight);

  // "<->", "<" and ">" on the dividing line.
  const int divider = panelsSwapped_ ? work.left() + sideWidth : work.left() + videoWidth;
  int by = work.top() + upperHeight / 2 - 45;
  for (int id : {IDC_SWAP, IDC_WIDEN, IDC_NARROW}) {
    Button(id)->setGeometry(std::clamp(divider - 14, work.left(), work.right() - 28), by, 28, kButtonHeight);
    Button(id)->raise();
    by += kButtonHeight + 4;
  }
  Button(IDC_WIDEN)->setEnabled(splitLevel_ < 3);
  Button(IDC_NARROW)->setEnabled(splitLevel_ > 0);

  // The control row along the bottom.
  const int rowTop = work.bottom() + 1 - kControlRowHeight;
  const int cy = rowTop + (kControlRowHeight - kButtonHeight) / 2;
  x = work.left();
  Button(IDC_MUTE)->setGeometry(x, rowTop + 2, 28, 22);
  Button(IDC_SPEEDICON)->setGeometry(x, rowTop + 28, 28, 22);
  volumeSlider_->setGeometry(x + 34, rowTop + 4, 110, kSliderHeight);
  speedSlider_->setGeometry(x + 34, rowTop + 26, 110, kSliderHeight);
  // The speed label: a band 15 pixels high from 3 pixels above the slider's
  // bottom edge, at the slider's left edge.
  speedLabel_->setGeometry(x + 34, rowTop + 26 + kSliderHeight - 3, 110, 15);
  x += 34 + 110 + 50;
  for (int id : {IDC_STOP, IDC_PAUSE, IDC_PLAY, IDC_STEP, IDC_SECOND}) {
    Button(id)->setGeometry(x, cy, 36, kButtonHeight + 6);
    x += 36 + 10;
  }
  x = work.right() + 1;
  for (int id : {IDC_SETTING, IDC_SNAPSHOT, IDC_FULLSCREEN, IDC_FOUR, IDC_SINGLE}) {
    const int w = std::max(36, Button(id)->sizeHint().width());
    x -= w;
    Button(id)->setGeometry(x, cy, w, kButtonHeight + 6);
    x -= 5;
  }
  update();
}

}  // namespace corvane
