// The recording list: its rows, opening a recording from a row, advancing
// to the next one, and the open-folder command with its scan.
#include <QApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTimer>
#include <cstdio>
#include <thread>

#include "media/ac_log.h"
#include "core/settings.h"
#include "ui/calendar_ctrl.h"
#include "ui/dialog_texts.h"
#include "ui/rec_type_search.h"
#include "ui/main_dlg.h"
#include "ui/type_images.h"
#include "ui/wave_dlg.h"

namespace corvane {

void CCorvaneDlg::SetUpList() {
  QList<controls::CColorListCtrl::Column> columns;
  for (const ListColumnSpec& c : kListColumns) columns.append({LangText(c.headerKey), c.widthPx, c.centred});
  list_->SetColumns(columns);
  connect(list_, &controls::CColorListCtrl::RowDoubleClicked, this, [this](int row) {
    if (list_->hasFocus()) OpenRow(row);
  });
  connect(list_, &controls::CColorListCtrl::RowContextMenu, this, [this](int row, QPoint at) {
    if (!list_->hasFocus() || !listMenu_) return;
    FillPropertyFromRow(row);
    listMenu_->popup(at);
  });
}

void CCorvaneDlg::FillList() {
  list_->clear();
  const auto& images = RecordTypeImages();
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(records_->size()));
  for (std::size_t i = 0; i < records_->size(); ++i) {
    const RecordRow& row = records_->row(i);
    auto* item = new QTreeWidgetItem();
    for (int c = 0; c < kColumnCount; ++c) {
      if (c == kColumnStatus) continue;
      item->setText(c, FromUtf8(row.text[c]));
      item->setTextAlignment(c, kListColumns[c].centred ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
    }
    if (row.image >= 0 && row.image < kTypeImageCount) item->setIcon(kColumnStatus, QIcon(images[row.image]));
    items.append(item);
  }
  list_->addTopLevelItems(items);
}

int CCorvaneDlg::SelectedOrFirstRow() const {
  if (list_->RowCount() == 0) return -1;
  const int selected = list_->FirstSelectedRow();
  return selected >= 0 ? selected : 0;
}

bool CCorvaneDlg::PrepareRow(int row, Prepare how) {
  if (row < 0 || static_cast<std::size_t>(row) >= records_->size()) return false;
  const playback::Player::Select select =
      how == Prepare::kOpen ? playback::Player::Select::kOpen : playback::Player::Select::kKeepOpen;
  const std::string& path = records_->path(static_cast<std::size_t>(row));
  const bool krv = path.size() >= 4 && path.compare(path.size() - 4, 4, ".krv") == 0;
  if (krv) {
    player_->SelectKrv(path, select);
    ScanGEvents(path);
    list_->DeselectAll();
    list_->SelectRow(row, true);
    return true;
  }
  // An AVI row: the rows of its period, each on the pane of its channel.
  list_->DeselectAll();
  std::array<std::string, 4> byChannel;
  int current = -1;
  for (std::size_t r : records_->PeriodGroup(static_cast<std::size_t>(row))) {
    const int channel = records_->info(r)->channel;
    list_->SelectRow(static_cast<int>(r), true);
    // Only four panes exist: a file of a higher channel is listed but not played.
    if (channel < 0 || channel > 3) continue;
    byChannel[channel] = records_->path(r);
    if (static_cast<int>(r) == row || current < 0) current = channel;
  }
  const int own = records_->info(static_cast<std::size_t>(row))->channel;
  if (own >= 0 && own <= 3) current = own;
  if (current < 0) return false;
  ScanGEvents(std::string());
  return player_->SelectAvi(byChannel, current, select);
}

void CCorvaneDlg::OpenRow(int row) {
  if (!PrepareRow(row, Prepare::kOpen)) return;
  playback::PlayState& state = player_->State();
  state.currentItem.store(row);
  if (state.fileKind.load() == playback::PlayState::kKrv &&
      !QFileInfo::exists(QString::fromStdString(state.krvPath.Get()))) {
    QMessageBox::warning(this, windowTitle(), LangText("IDS_TIPS_PathFileExists"));
    return;
  }
  player_->Open();
}

void CCorvaneDlg::AdvanceToNext() {
  int r = list_->FirstSelectedRow();
  if (r < 0) return;
  // Past the whole selected period group.
  list_->SelectRow(r, false);
  while (r + 1 < list_->RowCount() && list_->RowSelected(r + 1)) list_->SelectRow(++r, false);
  ++r;
  if (r < list_->RowCount()) {
    if (PrepareRow(r, Prepare::kOpen)) {
      list_->SelectRow(r, true);
      player_->Advance();
    }
    list_->EnsureRowVisible(r);
  } else {
    list_->EnsureRowVisible(list_->RowCount() - 1);
  }
}

void CCorvaneDlg::ShowNotice(const QString& name, const QString& text) {
  // Not modal: the window goes on (a scan at start-up, a signal's close).
  auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
  box->setObjectName(name);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

void CCorvaneDlg::ShowListPanel() {
  list_->show();
  search_->show();
  live_->hide();
}

void CCorvaneDlg::OnOpenFolder() {
  // (The live channels close here once the live view exists.)
  if (list_->isHidden()) {
    ShowListPanel();
    Button(IDC_SWAP)->hide();
    if (!panelsSwapped_) map_->hide();
    Relayout();
    return;
  }
  const QString start = FromUtf8(GetSettingString(kSectionBrightmere, kKeyFolderName, "", kSettingBufChars));
  const QString chosen =
      QFileDialog::getExistingDirectory(this, LangText("IDS_TIPS_SeleteDirectory_rec"), start);
  if (chosen.isEmpty()) return;
  OpenFolder(chosen.toStdString());
}

void CCorvaneDlg::StopForScan() {
  // Playback stops before the list (and the entries a reader may hold) goes.
  if (player_->Readers().KrvRunning() || player_->Readers().AviRunning()) OnStop();
  player_->ClearSelection();
}

FolderScanStatus CCorvaneDlg::RunScan(const std::string& label,
                                      const std::function<FolderScanStatus(RecordList&, const ScanControl&)>& scan) {
  // The scan runs on a worker into a list of its own; the window stays
  // responsive behind a modal progress bar whose Cancel stops the scan.
  auto scanned = std::make_unique<RecordList>();
  scanned->summary = records_->summary;
  std::atomic<bool> cancel{false};
  std::atomic<uint64_t> seen{0};
  std::atomic<bool> done{false};
  FolderScanStatus status = FolderScanStatus::Ok;
  QEventLoop loop;
  std::thread worker([&] {
    ScanControl control;
    control.progress = [&](uint64_t n) {
      seen.store(n);
      return !cancel.load();
    };
    control.cancel = &cancel;
    status = scan(*scanned, control);
    done.store(true);
    QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
  });
  QProgressDialog progress(this);
  progress.setWindowModality(Qt::WindowModal);
  progress.setRange(0, 0);
  progress.setMinimumDuration(500);
  progress.setLabelText(FromUtf8(label));
  connect(&progress, &QProgressDialog::canceled, this, [&] { cancel.store(true); });
  QTimer tick;
  connect(&tick, &QTimer::timeout, this, [&] {
    progress.setLabelText(QStringLiteral("%1\n%2").arg(FromUtf8(label)).arg(seen.load()));
  });
  tick.start(100);
  if (!done.load()) loop.exec();
  worker.join();
  tick.stop();
  progress.reset();

  records_ = std::move(scanned);
  FillList();
  return status;
}

void CCorvaneDlg::FillCalendar() {
  // Every scan refills the calendar, or empties it: it never keeps rows
  // that are gone.
  CDVRCalendarCtrl* calendar = wave_->calendar();
  if (calendar->Begin(records_->size())) {
    for (std::size_t i = 0; i < records_->size(); ++i) {
      const RecFileInfo& info = *records_->info(i);
      calendar->Add(info.start, info.duration, info.channel, info.typeMask, records_->path(i));
    }
  }
  calendar->End();
}

FolderScanStatus CCorvaneDlg::OpenFolder(const std::string& path) {
  // A folder that is gone, is a file or cannot be read: said once, and the
  // list and the playback stay as they were.
  if (!RecordFolderPathTooLong(path)) {
    std::string error;
    const FolderScanStatus usable = CheckRecordFolder(path, &error);
    if (usable != FolderScanStatus::Ok) {
      const std::string text = FolderStatusText(usable, path, error);
      media::LogLine(media::LogLevel::kError, "folder", "%s", text.c_str());
      ShowNotice(QStringLiteral("folderMessage"), FromUtf8(text));
      scanning_ = false;
      return usable;
    }
  }
  scanning_ = true;
  StopForScan();
  list_->clear();
  records_->Clear();
  records_->summary.Reset(QDateTime::currentSecsSinceEpoch());
  recSearch_->Reset();
  FolderScanStatus status;
  if (RecordFolderPathTooLong(path)) {
    QMessageBox::warning(this, windowTitle(), QString::fromLatin1(kPathTooLongText));
    status = FolderScanStatus::PathTooLong;
  } else {
    const int64_t now = QDateTime::currentSecsSinceEpoch();
    status = RunScan(path, [&](RecordList& list, const ScanControl& control) {
      return OpenRecordFolder(list, path, now, control);
    });
    const FolderSummary& summary = records_->summary;
    recSearch_->SetRange(summary.typesSeen, summary.earliestStart, summary.latestEnd);
    for (const std::string& car : summary.carNumbers) recSearch_->AddCarNumber(car);
  }
  FillCalendar();
  scanning_ = false;
  return status;
}

}  // namespace corvane
