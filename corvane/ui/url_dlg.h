// The live page (template 206): the recorders of the host file with their
// channels in a tree, and Play, Rec and Stop for the selected channel. The
// channels are the player's: it opens them (stopping playback first),
// records and closes them; their states come back as queued calls and are
// shown in the status line and, through the window, in the panes.
#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "live/host_info.h"
#include "live/live_rtp.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace playback {
class Player;
}

namespace corvane {

class CUrlDlg : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kTemplateId = 206;
  enum ControlId : int { IDC_PLAY = 1026, IDC_STOP = 1028, IDC_REC = 1029, IDC_TREE = 1030 };
  // What the tree sends the page: a double-click (open) and a new selection.
  static constexpr uint32_t kMsgTreeOpen = 0x4A8;
  static constexpr uint32_t kMsgTreeSelChanged = 0x4A9;

  CUrlDlg(playback::Player* player, QWidget* parent);
  ~CUrlDlg() override;  // closes channels 0 to 3

  // The host file beside the executable, else in the data folder. A missing
  // or broken file leaves the tree empty and says so in the status line.
  void LoadHostFile();
  bool LoadHostFile(const std::string& path);

  void OnPlay();
  void OnStop();
  void OnRec();
  // The Rec button from the library's status of the selected channel.
  void RefreshRec();
  // Control texts of template 206 and the Rec button again.
  void ApplyTexts();
  // Shows a channel's state in its pane ("" clears it); set by the window.
  void SetPaneNotice(std::function<void(int channel, const QString& text)> notice) {
    paneNotice_ = std::move(notice);
  }

  // The selected channel and its device; false with nothing selected.
  bool Selected(const live::DeviceRecord** device, int* channel) const;
  QTreeWidget* tree() const { return tree_; }
  QLabel* statusLine() const { return status_; }
  QPushButton* button(int id) const;
  const live::HostInfo& hosts() const { return hosts_; }

 protected:
  bool event(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void OnLiveEvent(const live::LiveEvent& e);
  void FillTree();
  void SetStatus(const QString& text);
  // A message box that does not block the window, named "LiveNotice".
  void Notice(const QString& text);

  playback::Player* const player_;
  live::HostInfo hosts_;
  QTreeWidget* tree_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* play_ = nullptr;
  QPushButton* rec_ = nullptr;
  QPushButton* stop_ = nullptr;
  bool initialised_ = false;
  bool recording_ = false;  // what the Rec button says of the selected channel
  std::function<void(int, const QString&)> paneNotice_;
};

}  // namespace corvane
