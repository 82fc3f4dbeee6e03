// The search panel under the recording list (dialog template 211): four
// record-type buttons, a start and an end date, the car-number box and the
// "Search" button, whose command the main window carries out.
//
// The pickers hold dates only, on the catalogue's calendar (the recorder's
// times read as UTC): the filter runs from the start date's 00:00 to the
// end date's 00:00, and the catalogue's end rule lists the whole end day.
#pragma once

#include <QDate>
#include <QWidget>
#include <cstdint>
#include <string>

#include "core/record_name.h"

class QComboBox;
class QDateEdit;
class QLabel;

namespace controls {
class CPictureButton;
}

namespace corvane {

struct SearchFilter {
  RecordTypeMask typeMask = 0;  // 0xFF in the byte of each ticked type
  int64_t from = 0;             // 00:00 of the start date, seconds since 1970
  int64_t to = 0;               // 00:00 of the end date
  std::string carNumber;        // the stored bytes; empty for "All"
};

class CRecTpyeSearch : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kTemplateId = 211;
  enum ControlId : int {
    IDC_SEARCH = 1031,
    IDC_START = 1035,
    IDC_END = 1036,
    IDC_START_LABEL = 1037,
    IDC_END_LABEL = 1038,
    IDC_MANUAL = 1039,
    IDC_TIMING = 1040,
    IDC_MOTION = 1041,
    IDC_ALARM = 1042,
    IDC_CAR = 1045,
    IDC_CAR_LABEL = 1046,
    IDC_TYPE_LABEL = 1048,
  };

  explicit CRecTpyeSearch(QWidget* parent);

  SearchFilter GetFilter() const;
  // Ticks the types seen and shows the UTC dates of the earliest start and
  // the latest end.
  void SetRange(RecordTypeMask typesSeen, int64_t earliestStart, int64_t latestEnd);
  // Adds a car number (its bytes as stored; shown decoded).
  void AddCarNumber(const std::string& bytes);
  // The car box holds "All" only, selected.
  void Reset();
  // The texts of the current language (template 211 and the "All" item).
  void ApplyTexts();

  // Type button i (0 manual .. 3 alarm) ticked or not.
  bool TypeTicked(int i) const { return ticked_[i]; }
  void SetTypeTicked(int i, bool on);
  controls::CPictureButton* typeButton(int i) const { return types_[i]; }
  controls::CPictureButton* searchButton() const { return search_; }
  QDateEdit* startPicker() const { return start_; }
  QDateEdit* endPicker() const { return end_; }
  QComboBox* carBox() const { return car_; }

 signals:
  void SearchRequested();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void PlaceControls();

  controls::CPictureButton* types_[4] = {};
  bool ticked_[4] = {true, true, true, true};
  QDateEdit* start_ = nullptr;
  QDateEdit* end_ = nullptr;
  QComboBox* car_ = nullptr;
  controls::CPictureButton* search_ = nullptr;
  QLabel* labels_[4] = {};  // type, start, end, car
};

// Seconds since 1970 of 00:00 UTC of a date picker's date, and back.
int64_t DateToSeconds(const QDate& date);
QDate DateOfSeconds(int64_t seconds);

}  // namespace corvane
