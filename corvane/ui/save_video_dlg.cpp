#include "ui/save_video_dlg.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSet>

#include "controls/control_id.h"

namespace corvane {

CSaveVideoFileDlg::CSaveVideoFileDlg(QWidget* parent, const QString& proposedName, const QString& folder,
                                     unsigned choice, bool sha256, bool gpx)
    : QFileDialog(parent), proposed_(proposedName) {
  setObjectName(QStringLiteral("CSaveVideoFileDlg"));
  setOption(QFileDialog::DontUseNativeDialog, true);
  setOption(QFileDialog::DontConfirmOverwrite, true);  // asked for every file in accept()
  setAcceptMode(QFileDialog::AcceptSave);
  setFileMode(QFileDialog::AnyFile);
  setNameFilter(QStringLiteral("Video Files (*.avi)"));
  setDefaultSuffix(QStringLiteral("avi"));
  if (!folder.isEmpty()) setDirectory(folder);

  const int under = proposed_.lastIndexOf(QLatin1Char('_'));
  base_ = under >= 0 ? proposed_.left(under + 1) : QString();
  const int dot = proposed_.lastIndexOf(QLatin1Char('.'));
  extension_ = dot >= 0 ? proposed_.mid(dot).left(7) : QString();

  // The panel below the dialog's own controls.
  auto* panel = new QWidget(this);
  panel->setObjectName(QStringLiteral("saveChannelPanel"));
  auto* row = new QHBoxLayout(panel);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(new QLabel(QStringLiteral("Select save channel:"), panel));
  selectedBox_ = new QCheckBox(QStringLiteral("Selected window"), panel);
  controls::SetControlId(selectedBox_, IDC_SELECTED_WINDOW);
  row->addWidget(selectedBox_);
  for (int k = 1; k <= 4; ++k) {
    channelBoxes_[k - 1] = new QCheckBox(QStringLiteral("Channel%1").arg(k), panel);
    controls::SetControlId(channelBoxes_[k - 1], IDC_CHANNEL1 + k - 1);
    row->addWidget(channelBoxes_[k - 1]);
  }
  rememberBox_ = new QCheckBox(QStringLiteral("Remember my choice"), panel);
  controls::SetControlId(rememberBox_, IDC_REMEMBER);
  row->addWidget(rememberBox_);
  sha256Box_ = new QCheckBox(QStringLiteral("SHA-256 manifest"), panel);
  sha256Box_->setObjectName(QStringLiteral("sha256Box"));
  sha256Box_->setChecked(sha256);
  row->addWidget(sha256Box_);
  gpxBox_ = new QCheckBox(QStringLiteral("GPX track"), panel);
  gpxBox_->setObjectName(QStringLiteral("gpxBox"));
  gpxBox_->setChecked(gpx);
  row->addWidget(gpxBox_);
  row->addStretch(1);
  if (auto* grid = qobject_cast<QGridLayout*>(layout()))
    grid->addWidget(panel, grid->rowCount(), 0, 1, grid->columnCount());

  // The choice shows only when it was to be remembered.
  if (choice & kRemember) {
    remember_ = true;
    selectedWindow_ = (choice & kSelectedWindow) != 0;
    for (int k = 1; k <= 4; ++k) channels_[k - 1] = !selectedWindow_ && (choice & (kChannel1 << (k - 1))) != 0;
  }
  SyncBoxes();
  RebuildName();
  if (!selectedWindow_ && NameText().isEmpty()) {
    if (QLineEdit* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) edit->setText(proposed_);
  }

  connect(selectedBox_, &QCheckBox::clicked, this, [this] { ToggleSelectedWindow(); });
  connect(rememberBox_, &QCheckBox::clicked, this, [this] { ToggleRemember(); });
  for (int k = 1; k <= 4; ++k) connect(channelBoxes_[k - 1], &QCheckBox::clicked, this, [this, k] { ToggleChannel(k); });
}

void CSaveVideoFileDlg::SyncBoxes() {
  syncing_ = true;
  selectedBox_->setChecked(selectedWindow_);
  rememberBox_->setChecked(remember_);
  for (int k = 0; k < 4; ++k) channelBoxes_[k]->setChecked(channels_[k]);
  syncing_ = false;
}

QString CSaveVideoFileDlg::ChannelName(int k) const {
  return base_ + QString::asprintf("%02d", k) + extension_;
}

void CSaveVideoFileDlg::RebuildName() {
  QString text;
  int checked = 0;
  for (bool c : channels_) checked += c ? 1 : 0;
  if (selectedWindow_) {
    text = proposed_;
  } else if (checked == 1) {
    for (int k = 1; k <= 4; ++k)
      if (channels_[k - 1]) text = ChannelName(k);
  } else if (checked > 1) {
    for (int k = 1; k <= 4; ++k)
      if (channels_[k - 1]) text += QLatin1Char('"') + ChannelName(k) + QStringLiteral("\" ");
  } else {
    return;  // the box is left as it is
  }
  if (QLineEdit* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
    edit->setText(text);
  else
    selectFile(text);
}

void CSaveVideoFileDlg::ToggleSelectedWindow() {
  selectedWindow_ = !selectedWindow_;
  for (bool& c : channels_) c = false;
  remember_ = false;
  SyncBoxes();
  RebuildName();
}

void CSaveVideoFileDlg::ToggleChannel(int k) {
  if (k < 1 || k > 4) return;
  selectedWindow_ = false;
  channels_[k - 1] = !channels_[k - 1];
  SyncBoxes();
  RebuildName();
}

void CSaveVideoFileDlg::ToggleRemember() {
  remember_ = !remember_;
  SyncBoxes();
}

bool CSaveVideoFileDlg::Sha256() const { return sha256Box_->isChecked(); }
bool CSaveVideoFileDlg::Gpx() const { return gpxBox_->isChecked(); }

unsigned CSaveVideoFileDlg::ChoiceWord() const {
  unsigned w = (remember_ ? kRemember : 0u) | (selectedWindow_ ? kSelectedWindow : 0u);
  for (int k = 1; k <= 4; ++k)
    if (channels_[k - 1]) w |= kChannel1 << (k - 1);
  return w;
}

QString CSaveVideoFileDlg::NameText() const {
  if (QLineEdit* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) return edit->text();
  return QString();
}

QStringList CSaveVideoFileDlg::ChosenPaths() const {
  QStringList out;
  for (const QString& f : selectedFiles()) {
    if (f.isEmpty() || QFileInfo(f).isDir()) continue;
    out << (QFileInfo(f).suffix().isEmpty() ? f + QStringLiteral(".avi") : f);
  }
  return out;
}

QString CSaveVideoFileDlg::CheckChoice() const {
  int checked = 0;
  for (bool c : channels_) checked += c ? 1 : 0;
  if (!selectedWindow_ && checked == 0) return QStringLiteral("Please select the channel(s)");
  const QStringList paths = ChosenPaths();
  if (paths.isEmpty()) return QStringLiteral("Please type a file name.");
  if (!selectedWindow_ && paths.size() < checked)
    return QStringLiteral("Please type one file name for each checked channel (%1 channels, %2 names).")
        .arg(checked)
        .arg(paths.size());
  QSet<QString> seen;
  for (const QString& p : paths) {
    const QString key = QFileInfo(p).absoluteFilePath();
    if (seen.contains(key)) return QStringLiteral("The file name %1 is given twice.").arg(p);
    seen.insert(key);
  }
  return QString();
}

void CSaveVideoFileDlg::accept() {
  const QString why = CheckChoice();
  if (!why.isEmpty()) {
    // The dialog stays open.
    auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(), why, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("saveChoiceMessage"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return;
  }
  // Every file that exists is asked for.
  for (const QString& p : ChosenPaths()) {
    if (!QFileInfo::exists(p)) continue;
    QMessageBox box(QMessageBox::Question, windowTitle(),
                    QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(p),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("saveOverwriteMessage"));
    if (box.exec() != QMessageBox::Yes) return;
  }
  QDialog::accept();
}

}  // namespace corvane
