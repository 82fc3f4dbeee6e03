// What the recording calendar knows and computes, without a window: the
// records of the last folder scan (copies, each with its path), the shown
// day and zoom, the time window on show, the marked days of the shown month,
// the bars of the time strip and the record under a moment.
//
// Times are seconds since 1970 on the UTC calendar, as the catalogue reads
// the recorder's file names. Navigation stays within the months from the
// first record's start to the latest end of any record.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "record_name.h"

namespace corvane {

// Calendar arithmetic on the proleptic Gregorian UTC calendar.
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);  // month 1-12
// Days from 1970-01-01 to year-month-day (negative before).
int64_t DaysFromCivil(int year, int month, int day);
struct CivilDate {
  int year = 1970;
  int month = 1;
  int day = 1;
};
// The UTC date of a time in seconds since 1970.
CivilDate CivilFromSeconds(int64_t seconds);
// Weekday of the first of the month, 0 = Sunday.
int WeekdayOfFirst(int year, int month);

struct CalendarRecord {
  int64_t start = 0;     // seconds since 1970
  int64_t duration = 0;  // seconds; a negative duration counts as 0
  int32_t channel = -1;  // -1 KRV, else the AVI file's channel 0..
  RecordTypeMask typeMask = 0;
  std::string path;  // the list row's path: how a click names its recording
  int64_t End() const { return start + (duration > 0 ? duration : 0); }
};

struct CalendarBar {
  int x0 = 0;  // left end, within the strip
  int x1 = 0;  // right end, within the strip
  int32_t channel = -1;
  std::size_t record = 0;  // index of the record
};

class CalendarModel {
 public:
  enum Zoom : int { kZoomDay = 0, kZoomTwoHours = 1, kZoomTwelveMinutes = 2 };
  static constexpr int kRulerColumns = 12;

  // Starts a fill of count records; the previous records go. False only
  // when no memory can be had.
  bool Begin(std::size_t count);
  // Refused once the announced count has been added.
  bool Add(int64_t start, int64_t duration, int32_t channel, RecordTypeMask typeMask, std::string path);
  // Ends the fill: the range, the shown day and the view.
  void End();

  std::size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  const CalendarRecord& record(std::size_t i) const { return records_[i]; }

  // Navigation (each recomputes the view).
  void PreviousYear();
  void NextYear();
  void PreviousMonth();
  void NextMonth();
  // A click at x on the day strip [left, left + width).
  void ClickDay(int x, int left, int width);
  // A click at x on the ruler [left, left + width): the next zoom.
  void ClickRuler(int x, int left, int width);

  int firstYear() const { return firstYear_; }
  int firstMonth() const { return firstMonth_; }
  int lastYear() const { return lastYear_; }
  int lastMonth() const { return lastMonth_; }
  int shownYear() const { return shownYear_; }
  int shownMonth() const { return shownMonth_; }
  int shownDay() const { return shownDay_; }
  int zoom() const { return zoom_; }
  int column() const { return column_; }
  int previousColumn() const { return previousColumn_; }
  int64_t viewStart() const { return viewStart_; }
  int64_t viewSpan() const { return viewSpan_; }

  // Days (1-31) of the shown month on which some record starts or ends.
  std::bitset<32> MarkedDays() const;
  // The bars of the records overlapping the view on a strip [left, left + width).
  std::vector<CalendarBar> Bars(int left, int width) const;
  // The moment under x on a strip [left, left + width).
  int64_t TimeAt(int x, int left, int width) const;
  // The first record (in list order) with start <= t <= end; -1 when none.
  // With a channel given, the first such record of that channel is taken
  // when there is one (the files of one AVI period share their times).
  std::ptrdiff_t RecordAt(int64_t t) const;
  std::ptrdiff_t RecordAt(int64_t t, int32_t channel) const;

 private:
  void Recompute();
  void ClampShown();

  std::vector<CalendarRecord> records_;
  std::size_t expected_ = 0;
  int firstYear_ = 0, firstMonth_ = 0;
  int lastYear_ = 0, lastMonth_ = 0;
  int shownYear_ = 0, shownMonth_ = 0, shownDay_ = 0;
  int zoom_ = kZoomDay;
  int column_ = 0, previousColumn_ = 0;
  int64_t viewStart_ = 0;
  int64_t viewSpan_ = 86400;
};

}  // namespace corvane
