// The main window's side of the search panel, the calendar, the settings
// dialog and the file-properties dialog.
#include <QMessageBox>

#include "core/settings.h"
#include "ui/calendar_ctrl.h"
#include "ui/dialog_texts.h"
#include "ui/file_property.h"
#include "ui/main_dlg.h"
#include "ui/rec_type_search.h"
#include "ui/setting_dlg.h"
#include "ui/wave_dlg.h"

namespace corvane {

CDVRCalendarCtrl* CCorvaneDlg::calendar() const { return wave_->calendar(); }

FolderScanStatus CCorvaneDlg::OnSearch() {
  const SearchFilter filter = recSearch_->GetFilter();
  scanning_ = true;
  list_->clear();
  StopForScan();
  records_->Clear();  // the summary stays
  const std::string folder = GetSettingString(kSectionBrightmere, kKeyFolderName, "", kSettingBufChars);
  FolderScanStatus status;
  if (RecordFolderPathTooLong(folder)) {
    QMessageBox::warning(this, windowTitle(), QString::fromLatin1(kPathTooLongText));
    status = FolderScanStatus::PathTooLong;
  } else {
    status = RunScan(folder, [&](RecordList& list, const ScanControl& control) {
      return SearchRecordFolder(list, filter.typeMask, filter.from, filter.to, filter.carNumber, control);
    });
  }
  // The car box and the calendar keep what the folder scan gave them.
  scanning_ = false;
  return status;
}

void CCorvaneDlg::FillPropertyFromRow(int row) {
  if (row < 0 || static_cast<std::size_t>(row) >= records_->size()) return;
  // The type is the clicked row's, whatever plays.
  fileProperty_->SetData(
      PropertyDataOf(records_->path(static_cast<std::size_t>(row)), *records_->info(static_cast<std::size_t>(row))));
}

void CCorvaneDlg::OpenFromCalendar(intptr_t serial, intptr_t offsetSeconds) {
  std::string path;
  if (!wave_->calendar()->TakeOpenRequest(serial, &path) || scanning_) return;
  const std::size_t row = records_->IndexOfPath(path);
  if (row == RecordList::npos) return;  // not listed (a search left it out)
  list_->DeselectAll();
  if (!PrepareRow(static_cast<int>(row), Prepare::kOpen)) return;
  player_->State().currentItem.store(static_cast<int>(row));
  player_->OpenAt(static_cast<int>(offsetSeconds));
}

void CCorvaneDlg::RunSettingDialog() {
  CSetting dialog(this);
  dialog.SetMapView(map_);
  dialog.exec();
}

}  // namespace corvane
