#include "ui/url_dlg.h"

#include <QMessageBox>
#include <QPushButton>
#include <QLabel>
#include <QTreeWidget>

#include "controls/control_id.h"
#include "controls/message_event.h"
#include "core/settings.h"
#include "playback/player.h"
#include "ui/dialog_texts.h"

namespace corvane {

namespace {

constexpr int kDeviceRole = Qt::UserRole;       // index into hosts_.devices
constexpr int kChannelRole = Qt::UserRole + 1;  // channel number; -1 on a device item
constexpr int kStatusHeight = 18;

}  // namespace

CUrlDlg::CUrlDlg(playback::Player* player, QWidget* parent) : QWidget(parent), player_(player) {
  setObjectName(QStringLiteral("CUrlDlg"));
  setAutoFillBackground(true);
  tree_ = new QTreeWidget(this);
  tree_->setObjectName(QStringLiteral("LiveTree"));
  tree_->setHeaderHidden(true);
  tree_->setRootIsDecorated(true);
  tree_->setStyleSheet(QStringLiteral("QTreeWidget { background: rgb(163, 240, 190); }"));
  controls::SetControlId(tree_, IDC_TREE);
  play_ = new QPushButton(QStringLiteral("Play"), this);
  rec_ = new QPushButton(QStringLiteral("StartRec"), this);
  stop_ = new QPushButton(QStringLiteral("Stop"), this);
  controls::SetControlId(play_, IDC_PLAY);
  controls::SetControlId(rec_, IDC_REC);
  controls::SetControlId(stop_, IDC_STOP);
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("LiveStatus"));
  connect(play_, &QPushButton::clicked, this, &CUrlDlg::OnPlay);
  connect(rec_, &QPushButton::clicked, this, &CUrlDlg::OnRec);
  connect(stop_, &QPushButton::clicked, this, &CUrlDlg::OnStop);
  // The tree tells the page by message, as the recorder's software does.
  connect(tree_, &QTreeWidget::itemDoubleClicked, this,
          [this] { controls::PostMessageTo(this, kMsgTreeOpen, 0, 0); });
  connect(tree_, &QTreeWidget::itemSelectionChanged, this,
          [this] { controls::PostMessageTo(this, kMsgTreeSelChanged, 0, 0); });

  // States come on the channels' threads and are handed to this thread; a
  // call still queued when the page goes is dropped with it.
  if (player_ != nullptr)
    player_->Live().SetObserver([this](const live::LiveEvent& e) {
      QMetaObject::invokeMethod(this, [this, e] { OnLiveEvent(e); }, Qt::QueuedConnection);
    });
  LoadHostFile();
  ApplyTexts();
  initialised_ = true;
}

CUrlDlg::~CUrlDlg() {
  if (player_ == nullptr) return;
  for (int c = 0; c < live::kLiveChannels; ++c) player_->CloseLive(c);
  // Every channel thread has ended: nothing calls the observer any more.
  player_->Live().SetObserver({});
}

QPushButton* CUrlDlg::button(int id) const {
  switch (id) {
    case IDC_PLAY:
      return play_;
    case IDC_REC:
      return rec_;
    case IDC_STOP:
      return stop_;
    default:
      return nullptr;
  }
}

void CUrlDlg::LoadHostFile() {
  const AppPaths paths = GetAppPaths();
  const std::string path = live::FindHostFile(paths.appDir, paths.dataDir);
  if (path.empty()) {
    hosts_ = live::HostInfo{};
    FillTree();
    SetStatus(QStringLiteral("No host file"));
    return;
  }
  LoadHostFile(path);
}

bool CUrlDlg::LoadHostFile(const std::string& path) {
  const bool ok = live::LoadHostInfo(path, &hosts_);
  FillTree();
  SetStatus(ok ? QString() : QStringLiteral("No host file"));
  return ok;
}

void CUrlDlg::FillTree() {
  tree_->clear();
  for (size_t d = 0; d < hosts_.devices.size(); ++d) {
    const live::DeviceRecord& device = hosts_.devices[d];
    auto* item = new QTreeWidgetItem(tree_, QStringList(FromUtf8(device.name)));
    item->setData(0, kDeviceRole, static_cast<int>(d));
    item->setData(0, kChannelRole, -1);
    for (int n : device.channels) {
      auto* child = new QTreeWidgetItem(item, QStringList(QString::fromStdString(live::ChannelLabel(n))));
      child->setData(0, kDeviceRole, static_cast<int>(d));
      child->setData(0, kChannelRole, n);
    }
  }
  tree_->expandAll();
}

bool CUrlDlg::Selected(const live::DeviceRecord** device, int* channel) const {
  const QList<QTreeWidgetItem*> items = tree_->selectedItems();
  if (items.isEmpty()) return false;
  const int d = items.first()->data(0, kDeviceRole).toInt();
  if (d < 0 || static_cast<size_t>(d) >= hosts_.devices.size()) return false;
  *device = &hosts_.devices[static_cast<size_t>(d)];
  // A device item stands for its channel 0.
  const int n = items.first()->data(0, kChannelRole).toInt();
  *channel = n < 0 ? 0 : n;
  return true;
}

void CUrlDlg::OnPlay() {
  const live::DeviceRecord* device = nullptr;
  int n = 0;
  if (player_ == nullptr || !Selected(&device, &n)) return;
  if (n < 0 || n >= live::kLiveChannels) {
    // The panes are four: a channel the filter has no pane for is refused.
    const QString text = QStringLiteral("Channel %1 cannot be shown: the live view shows channels 1 to 4.")
                             .arg(static_cast<qint64>(n) + 1);
    SetStatus(text);
    Notice(text);
    return;
  }
  const std::string folder = GetSettingString(kSectionBrightmere, kKeyRecPath, "");
  live::LiveCredentials credentials{device->username, device->password};
  const bool withCredentials = !device->username.empty() || !device->password.empty();
  if (player_->OpenLive(n, live::StreamAddress(*device, n), folder, withCredentials ? &credentials : nullptr) == 0) {
    const QString text = QStringLiteral("Channel %1: the address cannot be opened.").arg(n + 1);
    SetStatus(text);
    Notice(text);
  }
  RefreshRec();
}

void CUrlDlg::OnStop() {
  const live::DeviceRecord* device = nullptr;
  int n = 0;
  if (player_ == nullptr || !Selected(&device, &n)) return;
  player_->CloseLive(n);
  if (n >= 0 && n < live::kLiveChannels && paneNotice_) paneNotice_(n, QString());
  SetStatus(QStringLiteral("Channel %1: Closed").arg(static_cast<qint64>(n) + 1));
  RefreshRec();
}

void CUrlDlg::OnRec() {
  const live::DeviceRecord* device = nullptr;
  int n = 0;
  if (player_ == nullptr || !Selected(&device, &n)) return;
  if (player_->Live().GetRecStatus(n) == 0) {
    std::string error;
    if (player_->Live().StartRec(n, &error) == 0) {
      const QString text = QStringLiteral("Channel %1: recording could not start (%2).")
                               .arg(static_cast<qint64>(n) + 1)
                               .arg(QString::fromStdString(error));
      SetStatus(text);
      Notice(text);
    }
  } else {
    player_->Live().StopRec(n);
  }
  RefreshRec();
}

void CUrlDlg::RefreshRec() {
  const live::DeviceRecord* device = nullptr;
  int n = 0;
  if (player_ == nullptr || !Selected(&device, &n)) return;
  recording_ = player_->Live().GetRecStatus(n) != 0;
  rec_->setText(LangText(recording_ ? "IDS_BUTTON_STOPREC" : "IDS_BUTTON_STARTREC"));
}

void CUrlDlg::ApplyTexts() {
  ApplyDialogTexts(this, kTemplateId);
  rec_->setText(LangText(recording_ ? "IDS_BUTTON_STOPREC" : "IDS_BUTTON_STARTREC"));
  RefreshRec();
  update();
}

void CUrlDlg::OnLiveEvent(const live::LiveEvent& e) {
  SetStatus(QString::fromStdString(live::LiveEventText(e)));
  if (paneNotice_) {
    QString pane;
    switch (e.state) {
      case live::LiveState::kPlaying:
      case live::LiveState::kClosed:
        break;
      case live::LiveState::kLost:
        pane = QStringLiteral("Lost, retrying in %1 s").arg(e.retryInSeconds);
        break;
      default:
        pane = QString::fromLatin1(live::LiveStateText(e.state));
        break;
    }
    paneNotice_(e.channel, pane);
  }
  RefreshRec();
}

void CUrlDlg::SetStatus(const QString& text) { status_->setText(text); }

void CUrlDlg::Notice(const QString& text) {
  auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Live"), text, QMessageBox::Ok, this);
  box->setObjectName(QStringLiteral("LiveNotice"));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

bool CUrlDlg::event(QEvent* event) {
  if (controls::ACMessageEvent* m = controls::AsMessage(event)) {
    if (m->message() == kMsgTreeOpen) {
      OnPlay();
      return true;
    }
    if (m->message() == kMsgTreeSelChanged) {
      RefreshRec();
      return true;
    }
  }
  return QWidget::event(event);
}

void CUrlDlg::resizeEvent(QResizeEvent*) {
  const int w = width(), h = height();
  // The tree from (2, 2) to 4 pixels from the right and 30 from the bottom
  // (the status line in the last of those); the buttons on one row.
  tree_->setGeometry(2, 2, std::max(0, w - 6), std::max(0, h - 32 - kStatusHeight));
  status_->setGeometry(4, std::max(0, h - 28 - kStatusHeight), std::max(0, w - 8), kStatusHeight);
  const int bw = std::max(60, play_->sizeHint().width());
  const int bh = play_->sizeHint().height();
  const int y = h - 25;
  play_->setGeometry(10, y, bw, std::min(bh, 24));
  rec_->setGeometry(bw + 20, y, bw, std::min(bh, 24));
  stop_->setGeometry(2 * bw + 30, y, bw, std::min(bh, 24));
}

}  // namespace corvane
