#include "ui/setting_dlg.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "controls/control_id.h"
#include "controls/message_event.h"
#include "controls/picture_button.h"
#include "core/catalogue.h"
#include "core/settings.h"
#include "ui/dialog_texts.h"

namespace corvane {

namespace {

CSetting::FolderChooser& Chooser() {
  static CSetting::FolderChooser chooser = [](QWidget* owner, const QString& title, const QString& start) {
    return QFileDialog::getExistingDirectory(owner, title, start);
  };
  return chooser;
}

// Characters, not UTF-16 units.
int CharCount(const QString& text) { return static_cast<int>(text.toUcs4().size()); }

}  // namespace

void CSetting::SetFolderChooser(FolderChooser chooser) {
  if (chooser) Chooser() = std::move(chooser);
  else Chooser() = [](QWidget* owner, const QString& title, const QString& start) {
    return QFileDialog::getExistingDirectory(owner, title, start);
  };
}

CSetting::CSetting(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("CSetting"));
  setWindowTitle(QStringLiteral("Setting"));
  setModal(true);
  auto* snapLabel = new QLabel(QStringLiteral("Snapshot path"), this);
  controls::SetControlId(snapLabel, IDC_SNAP_LABEL);
  snapEdit_ = new QLineEdit(this);
  snapEdit_->setReadOnly(true);
  controls::SetControlId(snapEdit_, IDC_SNAP_EDIT);
  auto* snapBrowse = new controls::CPictureButton(IDC_SNAP_BROWSE, QStringLiteral("..."), this);
  auto* recLabel = new QLabel(QStringLiteral("Record path"), this);
  controls::SetControlId(recLabel, IDC_REC_LABEL);
  recEdit_ = new QLineEdit(this);
  recEdit_->setReadOnly(true);
  controls::SetControlId(recEdit_, IDC_REC_EDIT);
  auto* recBrowse = new controls::CPictureButton(IDC_REC_BROWSE, QStringLiteral("..."), this);
  for (controls::CPictureButton* b : {snapBrowse, recBrowse}) b->SetColors(QColor(191, 192, 193), Qt::black);
  mapOffset_ = new QCheckBox(QStringLiteral("Open map offset"), this);
  controls::SetControlId(mapOffset_, IDC_MAPOFFSET);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  controls::SetControlId(ok, IDC_OK);
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  controls::SetControlId(cancel, IDC_CANCEL);

  auto* grid = new QGridLayout(this);
  grid->addWidget(snapLabel, 0, 0);
  grid->addWidget(snapEdit_, 0, 1);
  grid->addWidget(snapBrowse, 0, 2);
  grid->addWidget(recLabel, 1, 0);
  grid->addWidget(recEdit_, 1, 1);
  grid->addWidget(recBrowse, 1, 2);
  grid->addWidget(mapOffset_, 2, 0, 1, 3);
  grid->addWidget(ok, 3, 1, Qt::AlignRight);
  grid->addWidget(cancel, 3, 2);
  grid->setColumnMinimumWidth(1, 320);

  connect(snapBrowse, &QAbstractButton::clicked, this,
          [this] { ChooseFolder(snapEdit_, "IDS_TIPS_SeleteDirectory_pic"); });
  connect(recBrowse, &QAbstractButton::clicked, this,
          [this] { ChooseFolder(recEdit_, "IDS_TIPS_SeleteDirectory_rec"); });
  connect(ok, &QPushButton::clicked, this, &CSetting::accept);
  connect(cancel, &QPushButton::clicked, this, &CSetting::reject);

  snapEdit_->setText(FromUtf8(GetSettingString(kSectionBrightmere, kKeySnapshotPath, "", kSettingBufChars)));
  recEdit_->setText(FromUtf8(GetSettingString(kSectionBrightmere, kKeyRecPath, "", kSettingBufChars)));
  // The map treats a missing value as on; the box shows what the map does.
  mapOffset_->setChecked(GetSettingInt(kSectionBrightmere, kKeyMapOffset, 1) != 0);
  ApplyDialogTexts(this, kTemplateId);
}

void CSetting::ChooseFolder(QLineEdit* edit, const char* titleKey) {
  const QString chosen = Chooser()(this, LangText(titleKey), edit->text());
  if (chosen.isEmpty()) return;  // cancelled
  if (CharCount(chosen) > kMaxFolderChars) {
    QMessageBox::warning(this, windowTitle(), QString::fromLatin1(kPathTooLongText));
    return;
  }
  edit->setText(chosen);
}

void CSetting::accept() {
  const QString snap = snapEdit_->text(), rec = recEdit_->text();
  if (CharCount(snap) > kMaxFolderChars) {
    QMessageBox::warning(this, windowTitle(), QStringLiteral("Snapshot path too long!"));
    return;
  }
  if (CharCount(rec) > kMaxFolderChars) {
    QMessageBox::warning(this, windowTitle(), QStringLiteral("Record path too long!"));
    return;
  }
  // A folder is saved only when it exists, with a "/" at its end; one that
  // went away since it was chosen keeps the old setting, and the user is told.
  QStringList missing;
  auto save = [&](const QString& folder, const char* key) {
    if (folder.isEmpty()) return;
    if (!QFileInfo(folder).isDir()) {
      missing << folder;
      return;
    }
    QString value = folder;
    if (!value.endsWith(QLatin1Char('/'))) value += QLatin1Char('/');
    SetSettingString(kSectionBrightmere, key, value.toStdString());
  };
  save(snap, kKeySnapshotPath);
  save(rec, kKeyRecPath);
  const int offset = mapOffset_->isChecked() ? 1 : 0;
  SetSettingInt(kSectionBrightmere, kKeyMapOffset, offset);
  if (mapView_) controls::PostMessageTo(mapView_, kMsgMapOffset, offset, 0);
  if (!missing.isEmpty())
    QMessageBox::warning(this, windowTitle(),
                         QStringLiteral("The folder does not exist; the setting is kept:\n%1").arg(missing.join('\n')));
  QDialog::accept();
}

}  // namespace corvane
