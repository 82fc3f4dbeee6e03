// The video area: one layout holding four panes, each with the surface
// window one channel is drawn into. The layout places the panes in the
// arrangement of the configured pane count, shows one pane alone or all of
// them, swaps panes by drag and drop, goes full screen, and keeps the
// selected pane and the channel whose sound plays. It tells the main window
// about changes by window messages.
#pragma once

#include <QImage>
#include <QMenu>
#include <QRect>
#include <QString>
#include <QWidget>
#include <array>

#include "ui/video_surface.h"

namespace corvane {

class GCEVideoLayoutDialog;

// The rectangle of cell `cell` of arrangement (kind, count) in a W x H area;
// empty for a cell the arrangement does not have.
QRect ArrangementCell(int kind, int count, int cell, int width, int height);
// The configured pane count to (kind, count); counts outside the table give
// the 2 x 2 grid.
void ArrangementForScreenNum(int screenNum, int* kind, int* count);

// One pane (dialog template 131; its surface window is control 1009).
class GCEVideoDialog : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kTemplateId = 131;
  static constexpr int kSurfaceId = 1009;
  static constexpr int kMaxNameChars = 100;

  GCEVideoDialog(GCEVideoLayoutDialog* layout, int channel, QWidget* parent);

  int channel() const { return channel_; }
  bool inUse() const { return inUse_; }
  bool selected() const { return selected_; }
  const QString& name() const { return name_; }
  VideoSurface* surface() const { return surface_; }
  int dragState() const { return dragState_; }

  void SetSelected(bool on);
  void SetPicturePath(const QString& path);  // "" clears it
  // Assigns a stream: inUse, the name (up to 100 characters), the surface shown.
  void Assign(const QString& name);

  // The "Left menu" of the pane, built for the current state (the caller
  // runs or triggers it; it is deleted with the pane).
  QMenu* BuildLeftMenu();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  GCEVideoLayoutDialog* layout_;
  const int channel_;
  bool inUse_ = false;
  bool selected_ = false;
  QString name_;
  QString picturePath_;
  QImage picture_;  // picturePath_ loaded; null when missing or unreadable
  VideoSurface* surface_ = nullptr;
  int dragState_ = 0;  // 0 idle, 1 button pressed, 2 dragging
  QMenu* menu_ = nullptr;
};

// The layout (dialog template 130), a child of the main window.
class GCEVideoLayoutDialog : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kTemplateId = 130;
  static constexpr int kPanes = 4;
  static constexpr int kAudioMuted = -10;

  explicit GCEVideoLayoutDialog(QWidget* mainWindow);
  ~GCEVideoLayoutDialog() override;  // writes AudioChannel

  // Reads AudioChannel, creates the panes (each asks the main window for the
  // values of 0x46A and 0x46B), then SetAudioChannel with the value read.
  void Init(QWidget* mainWindow);
  void SetScreenNum(int n);
  void SetBackground(const QString& path);
  // The first pane not in use takes the stream; null when all are in use.
  VideoSurface* AssignStream(const QString& name, int* channel);
  // The pane of `channel` takes the stream; null when it is in use.
  GCEVideoDialog* AssignStreamTo(int channel, const QString& name);
  void Select(int channel);
  int GetSelected() const;  // 0 when none is selected
  bool IsSingle() const { return singleIndex_ != -1; }
  void ShowSingle(int channel);
  void ToggleSingle(int channel);
  void ShowAll();
  void RestoreDefault();
  void SetAudioChannel(int channel);
  void SetFullScreen(bool on);
  void SwapAt(int channel, int dx, int dy);
  void Resize(int x, int y, int w, int h);

  bool fullScreen() const { return fullScreen_; }
  int audioChannel() const { return audioChannel_; }
  int kind() const { return kind_; }
  int count() const { return count_; }
  int singleIndex() const { return singleIndex_; }
  GCEVideoDialog* paneAt(int displayIndex) const { return panes_[displayIndex]; }
  GCEVideoDialog* paneOf(int channel) const { return homePanes_[channel]; }
  int DisplayIndexOf(int channel) const;
  // The cell of display index i in the layout's client area.
  QRect CellRect(int displayIndex) const;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void Arrange();

  std::array<GCEVideoDialog*, kPanes> panes_{};      // display order
  std::array<GCEVideoDialog*, kPanes> homePanes_{};  // creation order
  int kind_ = 1;
  int count_ = 4;
  int singleIndex_ = -1;
  bool fullScreen_ = false;
  QRect savedRect_;
  QWidget* mainWindow_ = nullptr;
  int audioChannel_ = 0;
};

}  // namespace corvane
