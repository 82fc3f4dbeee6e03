#include "ui/video_layout.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include "controls/control_id.h"
#include "controls/message_event.h"
#include "core/settings.h"
#include "media/ac_messages.h"

namespace corvane {

void ArrangementForScreenNum(int n, int* kind, int* count) {
  switch (n) {
    case 1: case 4: case 9: case 16: case 25: case 36: *kind = 1; *count = n; break;
    case 6: case 8: case 10: case 12: *kind = 2; *count = n; break;
    case 13: case 17: *kind = 3; *count = n; break;
    default: *kind = 1; *count = 4; break;
  }
}

namespace {
QRect FromEdges(int left, int top, int right, int bottom) { return QRect(left, top, right - left, bottom - top); }
}  // namespace

QRect ArrangementCell(int kind, int count, int cell, int W, int H) {
  if (cell < 0 || cell >= count) return QRect();
  if (kind == 1) {
    int k = 1;
    while (k * k < count) ++k;
    if (k * k != count) return QRect();
    const int col = cell % k, row = cell / k;
    return FromEdges(col * W / k, row * H / k, (col + 1) * W / k, (row + 1) * H / k);
  }
  if (kind == 2) {
    if (count % 2 || count < 4) return QRect();
    const int m = count / 2;
    if (cell == 0) return FromEdges(0, 0, (m - 1) * W / m, (m - 1) * H / m);
    if (cell <= m) return FromEdges((m - 1) * W / m, (cell - 1) * H / m, W, cell * H / m);
    const int k = cell - m;  // 1 .. m-1, right to left along the bottom row
    return FromEdges((m - 1 - k) * W / m, (m - 1) * H / m, (m - k) * W / m, H);
  }
  if (kind == 3) {
    // The large cell and its first neighbours; only four panes exist, so
    // the cells beyond the fourth are not laid out.
    if (count == 13) {
      switch (cell) {
        case 0: return FromEdges(0, 0, W / 2, H / 2);
        case 1: return FromEdges(W / 2, 0, 3 * W / 4, H / 4);
        case 2: return FromEdges(3 * W / 4, 0, W, H / 4);
        case 3: return FromEdges(W / 2, H / 4, 3 * W / 4, H / 2);
      }
    } else if (count == 17) {
      switch (cell) {
        case 0: return FromEdges(0, 0, 3 * W / 5, 3 * H / 5);
        case 1: return FromEdges(3 * W / 5, 0, 4 * W / 5, H / 5);
        case 2: return FromEdges(4 * W / 5, 0, W, H / 5);
        case 3: return FromEdges(3 * W / 5, H / 5, 4 * W / 5, 2 * H / 5);
      }
    }
    return QRect();
  }
  return QRect();
}

// ---- GCEVideoDialog -------------------------------------------------------

GCEVideoDialog::GCEVideoDialog(GCEVideoLayoutDialog* layout, int channel, QWidget* parent)
    : QWidget(parent), layout_(layout), channel_(channel) {
  setAttribute(Qt::WA_OpaquePaintEvent);  // background erasing is suppressed
  surface_ = CreateVideoSurface(this);
  controls::SetControlId(surface_->Widget(), kSurfaceId);
  surface_->Widget()->hide();
}

void GCEVideoDialog::SetSelected(bool on) {
  if (selected_ == on) return;
  selected_ = on;
  update();
}

void GCEVideoDialog::SetPicturePath(const QString& path) {
  picturePath_ = path;
  picture_ = path.isEmpty() ? QImage() : QImage(path);  // unreadable: plain background
  surface_->SetBackground(picture_);
  update();
}

void GCEVideoDialog::Assign(const QString& name) {
  inUse_ = true;
  name_ = name.left(kMaxNameChars);
  surface_->Widget()->show();
}

void GCEVideoDialog::resizeEvent(QResizeEvent*) {
  // The frame stays visible around the surface.
  surface_->Widget()->setGeometry(rect().adjusted(1, 1, -1, -1));
}

void GCEVideoDialog::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(0x10, 0x18, 0x20));
  if (!picture_.isNull()) p.drawImage(rect(), picture_);
  p.setPen(selected_ ? QColor(0, 255, 0) : QColor(0x59, 0x59, 0x59));
  p.setBrush(Qt::NoBrush);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void GCEVideoDialog::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  layout_->Select(channel_);
  dragState_ = 1;  // the widget holds the mouse until release
}

void GCEVideoDialog::mouseMoveEvent(QMouseEvent*) {
  if (dragState_ == 0) return;
  if (dragState_ != 2) {
    dragState_ = 2;
    setCursor(Qt::ClosedHandCursor);
  }
}

void GCEVideoDialog::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    BuildLeftMenu()->popup(event->globalPosition().toPoint());
    return;
  }
  if (event->button() != Qt::LeftButton) return;
  const int was = dragState_;
  dragState_ = 0;
  if (was == 2) {
    unsetCursor();
    const QPoint at = event->position().toPoint();
    layout_->SwapAt(channel_, at.x(), at.y());
  }
}

void GCEVideoDialog::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  dragState_ = 0;
  layout_->ToggleSingle(channel_);
}

QMenu* GCEVideoDialog::BuildLeftMenu() {
  delete menu_;
  menu_ = new QMenu(this);
  menu_->setObjectName(QStringLiteral("Left menu"));
  QAction* exitFull = menu_->addAction(QStringLiteral("Exit Fullscreen"));
  exitFull->setEnabled(layout_->fullScreen());
  connect(exitFull, &QAction::triggered, layout_, [this] { layout_->SetFullScreen(false); });
  connect(menu_->addAction(QStringLiteral("Default Screen")), &QAction::triggered, layout_,
          [this] { layout_->RestoreDefault(); });
  menu_->addSeparator();
  QAction* mute = menu_->addAction(QStringLiteral("Mute"));
  mute->setCheckable(true);
  mute->setChecked(layout_->audioChannel() == GCEVideoLayoutDialog::kAudioMuted);
  connect(mute, &QAction::triggered, layout_, [this] { layout_->SetAudioChannel(GCEVideoLayoutDialog::kAudioMuted); });
  for (int c = 0; c < GCEVideoLayoutDialog::kPanes; ++c) {
    QAction* a = menu_->addAction(QStringLiteral("Audio %1").arg(c + 1));
    a->setCheckable(true);
    a->setChecked(layout_->audioChannel() == c);
    connect(a, &QAction::triggered, layout_, [this, c] { layout_->SetAudioChannel(c); });
  }
  return menu_;
}

// ---- GCEVideoLayoutDialog -------------------------------------------------

GCEVideoLayoutDialog::GCEVideoLayoutDialog(QWidget* mainWindow) : QWidget(mainWindow), mainWindow_(mainWindow) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

GCEVideoLayoutDialog::~GCEVideoLayoutDialog() {
  SetSettingInt(kSectionBrightmere, kKeyAudioChannel, audioChannel_);
}

void GCEVideoLayoutDialog::Init(QWidget* mainWindow) {
  mainWindow_ = mainWindow;
  const int audio = GetSettingInt(kSectionBrightmere, kKeyAudioChannel, 0);
  for (int c = 0; c < kPanes; ++c) {
    // Each pane asks the main window for its two values when it is created.
    controls::SendMessageTo(mainWindow_, media::WM_CHANNEL_COUNT, 0, 0);
    controls::SendMessageTo(mainWindow_, media::WM_PANE_QUERY, 0, 0);
    auto* pane = new GCEVideoDialog(this, c, this);
    controls::SetControlId(pane, 2000 + c);
    pane->setObjectName(QStringLiteral("pane%1").arg(c + 1));
    panes_[c] = homePanes_[c] = pane;
    pane->show();
  }
  SetAudioChannel(audio);
  Arrange();
}

void GCEVideoLayoutDialog::SetScreenNum(int n) {
  ArrangementForScreenNum(n, &kind_, &count_);
  Arrange();
}

void GCEVideoLayoutDialog::SetBackground(const QString& path) {
  for (GCEVideoDialog* pane : homePanes_)
    if (pane) pane->SetPicturePath(path);
}

VideoSurface* GCEVideoLayoutDialog::AssignStream(const QString& name, int* channel) {
  for (GCEVideoDialog* pane : homePanes_) {
    if (!pane || pane->inUse()) continue;
    pane->Assign(name);
    if (channel) *channel = pane->channel();
    return pane->surface();
  }
  return nullptr;
}

GCEVideoDialog* GCEVideoLayoutDialog::AssignStreamTo(int channel, const QString& name) {
  if (channel < 0 || channel >= kPanes || !homePanes_[channel] || homePanes_[channel]->inUse()) return nullptr;
  homePanes_[channel]->Assign(name);
  return homePanes_[channel];
}

void GCEVideoLayoutDialog::Select(int channel) {
  for (GCEVideoDialog* pane : homePanes_)
    if (pane) pane->SetSelected(pane->channel() == channel);
  controls::PostMessageTo(mainWindow_, media::WM_PANE_SELECTED, channel, 0);
}

int GCEVideoLayoutDialog::GetSelected() const {
  for (GCEVideoDialog* pane : homePanes_)
    if (pane && pane->selected()) return pane->channel();
  return 0;
}

int GCEVideoLayoutDialog::DisplayIndexOf(int channel) const {
  for (int i = 0; i < kPanes; ++i)
    if (panes_[i] && panes_[i]->channel() == channel) return i;
  return -1;
}

void GCEVideoLayoutDialog::ShowSingle(int channel) {
  const int index = DisplayIndexOf(channel);
  if (index < 0) return;
  singleIndex_ = index;
  Arrange();
}

void GCEVideoLayoutDialog::ToggleSingle(int channel) {
  if (singleIndex_ == -1) {
    ShowSingle(channel);
    return;
  }
  singleIndex_ = -1;
  Arrange();
}

void GCEVideoLayoutDialog::ShowAll() {
  singleIndex_ = -1;
  Arrange();
}

void GCEVideoLayoutDialog::RestoreDefault() {
  panes_ = homePanes_;
  ShowAll();
}

void GCEVideoLayoutDialog::SetAudioChannel(int channel) {
  audioChannel_ = channel;
  controls::PostMessageTo(mainWindow_, media::WM_AUDIO_CHANNEL, channel, 0);
}

void GCEVideoLayoutDialog::SetFullScreen(bool on) {
  if (on == fullScreen_) return;
  if (on) {
    savedRect_ = geometry();
    QScreen* screen = mainWindow_ && mainWindow_->screen() ? mainWindow_->screen() : QGuiApplication::primaryScreen();
    setParent(nullptr, Qt::Window | Qt::FramelessWindowHint);
    setWindowTitle(QStringLiteral("Brightmere"));
    setGeometry(screen ? screen->geometry() : QRect(0, 0, 1024, 768));
    fullScreen_ = true;
    show();
    if (mainWindow_) mainWindow_->hide();
  } else {
    setParent(mainWindow_, Qt::Widget);
    setGeometry(savedRect_);
    fullScreen_ = false;
    show();
    if (mainWindow_) mainWindow_->show();
  }
  Arrange();
}

QRect GCEVideoLayoutDialog::CellRect(int displayIndex) const {
  return ArrangementCell(kind_, count_, displayIndex, width(), height());
}

void GCEVideoLayoutDialog::SwapAt(int channel, int dx, int dy) {
  const int from = DisplayIndexOf(channel);
  if (from < 0) return;
  const QRect fromCell = singleIndex_ == -1 ? CellRect(from) : rect();
  const int x = fromCell.left() + dx, y = fromCell.top() + dy;
  for (int i = 0; i < kPanes; ++i) {
    const QRect cell = CellRect(i);
    if (cell.isEmpty()) continue;
    const int right = cell.left() + cell.width(), bottom = cell.top() + cell.height();
    if (x > cell.left() && x < right && y > cell.top() && y < bottom) {
      if (i != from) std::swap(panes_[from], panes_[i]);
      Arrange();
      return;
    }
  }
}

void GCEVideoLayoutDialog::Resize(int x, int y, int w, int h) {
  setGeometry(x, y, w, h);
  Arrange();
}

void GCEVideoLayoutDialog::resizeEvent(QResizeEvent*) { Arrange(); }

void GCEVideoLayoutDialog::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(0x10, 0x18, 0x20));
}

void GCEVideoLayoutDialog::Arrange() {
  for (int i = 0; i < kPanes; ++i) {
    GCEVideoDialog* pane = panes_[i];
    if (!pane) continue;
    QRect cell;
    if (singleIndex_ == -1) cell = CellRect(i);
    else if (i == singleIndex_) cell = rect();
    pane->setGeometry(cell);
    pane->setVisible(!cell.isEmpty());
    pane->update();
  }
}

}  // namespace corvane
