// The main window's live page: the "Live" button, the page in the side
// area, and the channels' states written over their panes.
#include <QLabel>
#include <QVBoxLayout>

#include "ui/main_dlg.h"
#include "ui/url_dlg.h"
#include "ui/video_layout.h"

namespace corvane {

void CCorvaneDlg::StartLive() {
  urlDlg_ = new CUrlDlg(player_.get(), live_);
  urlDlg_->SetPaneNotice([this](int channel, const QString& text) { ShowLiveNotice(channel, text); });
  // The page fills its place in the side area.
  auto* box = new QVBoxLayout(live_);
  box->setContentsMargins(0, 0, 0, 0);
  box->addWidget(urlDlg_);
}

void CCorvaneDlg::EndLive() {
  // Its channels close with it, before the pipeline goes.
  delete urlDlg_;
  urlDlg_ = nullptr;
}

void CCorvaneDlg::OnLive() {
  list_->hide();
  search_->hide();
  map_->hide();
  live_->show();
  live_->raise();
}

void CCorvaneDlg::ShowLiveNotice(int channel, const QString& text) {
  if (channel < 0 || channel >= GCEVideoLayoutDialog::kPanes) return;
  GCEVideoDialog* pane = layout_->paneOf(channel);
  if (!pane) return;
  const QString name = QStringLiteral("LiveNotice%1").arg(channel);
  auto* label = pane->findChild<QLabel*>(name, Qt::FindDirectChildrenOnly);
  if (!label) {
    label = new QLabel(pane);
    label->setObjectName(name);
    label->setStyleSheet(QStringLiteral("background: rgba(0, 0, 0, 160); color: white; padding: 2px;"));
  }
  label->setText(text);
  label->adjustSize();
  label->move(4, 4);
  label->setVisible(!text.isEmpty());
  label->raise();
}

}  // namespace corvane
