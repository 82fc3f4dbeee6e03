// The frameless main window: the painted title, dragging anywhere to move,
// edge and corner resizing, and the about item of the window menu.
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include "ui/dialog_texts.h"
#include "ui/main_dlg.h"

namespace corvane {

namespace {
constexpr int kBorder = 5;   // sizing band along each edge
constexpr int kCorner = 11;  // sizing squares in the corners
const QColor kFrameColour(0x2C, 0x5A, 0x80);
const QColor kWorkColour(0xD9, 0xEA, 0xF4);
}  // namespace

Qt::Edges CCorvaneDlg::EdgesAt(const QPoint& p) const {
  Qt::Edges edges;
  const int w = width(), h = height();
  const bool left = p.x() < kBorder, right = p.x() >= w - kBorder;
  const bool top = p.y() < kBorder, bottom = p.y() >= h - kBorder;
  const bool cornerX = p.x() < kCorner || p.x() >= w - kCorner;
  const bool cornerY = p.y() < kCorner || p.y() >= h - kCorner;
  if (cornerX && cornerY) {
    edges |= p.x() < kCorner ? Qt::LeftEdge : Qt::RightEdge;
    edges |= p.y() < kCorner ? Qt::TopEdge : Qt::BottomEdge;
    return edges;
  }
  if (left) edges |= Qt::LeftEdge;
  if (right) edges |= Qt::RightEdge;
  if (top) edges |= Qt::TopEdge;
  if (bottom) edges |= Qt::BottomEdge;
  return edges;
}

void CCorvaneDlg::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), kFrameColour);
  p.fillRect(rect().adjusted(4, 30, -4, -4), kWorkColour);
  QFont f = font();
  f.setBold(true);
  f.setPixelSize(14);
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(QPoint(12, 6 + QFontMetrics(f).ascent()), LangText("IDD102_Title"));
}

void CCorvaneDlg::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const Qt::Edges edges = EdgesAt(event->position().toPoint());
  QWindow* handle = windowHandle();
  if (handle && !isMaximized()) {
    if (edges && handle->startSystemResize(edges)) return;
    if (!edges && handle->startSystemMove()) return;
  }
  if (!edges) {
    // The platform cannot move the window: follow the mouse ourselves.
    manualDrag_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
  }
}

void CCorvaneDlg::mouseMoveEvent(QMouseEvent* event) {
  if (manualDrag_ && (event->buttons() & Qt::LeftButton)) {
    move(event->globalPosition().toPoint() - dragOffset_);
    return;
  }
  const Qt::Edges edges = EdgesAt(event->position().toPoint());
  if (edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge)) setCursor(Qt::SizeFDiagCursor);
  else if (edges == (Qt::RightEdge | Qt::TopEdge) || edges == (Qt::LeftEdge | Qt::BottomEdge)) setCursor(Qt::SizeBDiagCursor);
  else if (edges & (Qt::LeftEdge | Qt::RightEdge)) setCursor(Qt::SizeHorCursor);
  else if (edges & (Qt::TopEdge | Qt::BottomEdge)) setCursor(Qt::SizeVerCursor);
  else unsetCursor();
}

void CCorvaneDlg::mouseReleaseEvent(QMouseEvent*) { manualDrag_ = false; }

void CCorvaneDlg::mouseDoubleClickEvent(QMouseEvent* event) {
  // A caption double-click maximises or restores.
  if (event->button() == Qt::LeftButton && !EdgesAt(event->position().toPoint())) OnMaximise();
}

void CCorvaneDlg::keyPressEvent(QKeyEvent* event) {
  // Enter and Escape do not close the window.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

void CCorvaneDlg::closeEvent(QCloseEvent* event) {
  CloseVolume();
  ClosePipeline();
  event->accept();
}

void CCorvaneDlg::contextMenuEvent(QContextMenuEvent* event) {
  // The window menu of the caption, with the about item.
  QMenu menu(this);
  QAction* about = menu.addAction(QStringLiteral("&About Corvane..."));
  if (menu.exec(event->globalPos()) == about) ShowAbout();
}

}  // namespace corvane
