#include "calendar_model.h"

#include <algorithm>
#include <new>

namespace corvane {

namespace {
constexpr int64_t kDaySeconds = 86400;

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

// (year, month) as one ordered number.
int64_t MonthIndex(int year, int month) { return static_cast<int64_t>(year) * 12 + (month - 1); }
}  // namespace

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 30;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Howard Hinnant's days-from-civil.
int64_t DaysFromCivil(int year, int month, int day) {
  const int64_t y = static_cast<int64_t>(year) - (month <= 2);
  const int64_t era = FloorDiv(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t mp = (month + 9) % 12;
  const int64_t doy = (153 * mp + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

CivilDate CivilFromSeconds(int64_t seconds) {
  const int64_t z = FloorDiv(seconds, kDaySeconds) + 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  CivilDate d;
  d.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  d.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  d.year = static_cast<int>(yoe + era * 400 + (d.month <= 2));
  return d;
}

int WeekdayOfFirst(int year, int month) {
  // 1900-01-01 was a Monday.
  const int64_t days = DaysFromCivil(year, month, 1) - DaysFromCivil(1900, 1, 1);
  return static_cast<int>(((days + 1) % 7 + 7) % 7);
}

bool CalendarModel::Begin(std::size_t count) {
  records_.clear();
  try {
    records_.reserve(count);
  } catch (const std::bad_alloc&) {
    expected_ = 0;
    return false;
  }
  expected_ = count;
  return true;
}

bool CalendarModel::Add(int64_t start, int64_t duration, int32_t channel, RecordTypeMask typeMask,
                        std::string path) {
  if (records_.size() >= expected_) return false;
  records_.push_back({start, duration, channel, typeMask, std::move(path)});
  return true;
}

void CalendarModel::End() {
  zoom_ = kZoomDay;
  column_ = previousColumn_ = 0;
  if (records_.empty()) {
    firstYear_ = firstMonth_ = lastYear_ = lastMonth_ = 0;
    shownYear_ = shownMonth_ = shownDay_ = 0;
    viewStart_ = 0;
    viewSpan_ = kDaySeconds;
    return;
  }
  const CivilDate first = CivilFromSeconds(records_.front().start);
  // The range ends with the month of the latest end, wherever its record
  // stands in the list.
  int64_t latestEnd = records_.front().End();
  for (const CalendarRecord& r : records_) latestEnd = std::max(latestEnd, r.End());
  const CivilDate last = CivilFromSeconds(latestEnd);
  firstYear_ = first.year;
  firstMonth_ = first.month;
  lastYear_ = last.year;
  lastMonth_ = last.month;
  shownYear_ = first.year;
  shownMonth_ = first.month;
  shownDay_ = first.day;
  Recompute();
}

void CalendarModel::ClampShown() {
  if (records_.empty()) return;
  const int64_t shown = MonthIndex(shownYear_, shownMonth_);
  const int64_t lo = MonthIndex(firstYear_, firstMonth_), hi = MonthIndex(lastYear_, lastMonth_);
  if (shown < lo) {
    shownYear_ = firstYear_;
    shownMonth_ = firstMonth_;
  } else if (shown > hi) {
    shownYear_ = lastYear_;
    shownMonth_ = lastMonth_;
  }
  shownDay_ = std::clamp(shownDay_, 1, DaysInMonth(shownYear_, shownMonth_));
}

void CalendarModel::PreviousYear() {
  if (records_.empty()) return;
  if (shownYear_ > firstYear_) --shownYear_;
  Recompute();
}

void CalendarModel::NextYear() {
  if (records_.empty()) return;
  if (shownYear_ < lastYear_) ++shownYear_;
  Recompute();
}

void CalendarModel::NextMonth() {
  if (records_.empty()) return;
  if (!(shownYear_ == lastYear_ && shownMonth_ == lastMonth_)) {
    if (shownMonth_ == 12) {
      shownMonth_ = 1;
      ++shownYear_;
    } else {
      ++shownMonth_;
    }
  }
  Recompute();
}

void CalendarModel::PreviousMonth() {
  if (records_.empty()) return;
  if (!(shownYear_ == firstYear_ && shownMonth_ == firstMonth_)) {
    if (shownMonth_ == 1) {
      shownMonth_ = 12;
      --shownYear_;
    } else {
      --shownMonth_;
    }
  }
  Recompute();
}

void CalendarModel::ClickDay(int x, int left, int width) {
  if (records_.empty() || width <= 0) return;
  const int days = DaysInMonth(shownYear_, shownMonth_);
  shownDay_ = static_cast<int>(static_cast<int64_t>(x - left) * days / width) + 1;
  Recompute();
}

void CalendarModel::ClickRuler(int x, int left, int width) {
  if (width <= 0) return;
  zoom_ = (zoom_ + 1) % 3;
  previousColumn_ = column_;
  column_ = std::clamp(static_cast<int>(static_cast<int64_t>(x - left) * kRulerColumns / width), 0,
                       kRulerColumns - 1);
  Recompute();
}

void CalendarModel::Recompute() {
  ClampShown();
  const int64_t day = records_.empty() ? 0 : DaysFromCivil(shownYear_, shownMonth_, shownDay_) * kDaySeconds;
  switch (zoom_) {
    case kZoomTwoHours:
      viewSpan_ = 7200;
      viewStart_ = day + static_cast<int64_t>(2 * column_) * 3600;
      break;
    case kZoomTwelveMinutes: {
      viewSpan_ = 720;
      const int minute = (10 * column_) % 60;
      const int hour = ((10 * column_) / 60 + 2 * previousColumn_) % 24;
      viewStart_ = day + static_cast<int64_t>(hour) * 3600 + minute * 60;
      break;
    }
    default:
      viewSpan_ = kDaySeconds;
      viewStart_ = day;
      break;
  }
}

std::bitset<32> CalendarModel::MarkedDays() const {
  std::bitset<32> marked;
  for (const CalendarRecord& r : records_) {
    for (int64_t t : {r.start, r.End()}) {
      const CivilDate d = CivilFromSeconds(t);
      if (d.year == shownYear_ && d.month == shownMonth_) marked.set(static_cast<std::size_t>(d.day));
    }
  }
  return marked;
}

std::vector<CalendarBar> CalendarModel::Bars(int left, int width) const {
  std::vector<CalendarBar> bars;
  if (width <= 0 || viewSpan_ <= 0) return bars;
  const int64_t viewEnd = viewStart_ + viewSpan_;
  for (std::size_t i = 0; i < records_.size(); ++i) {
    const CalendarRecord& r = records_[i];
    const int64_t end = r.End();
    if (r.start >= viewEnd || end < viewStart_) continue;
    CalendarBar bar;
    bar.x0 = r.start <= viewStart_ ? left : left + static_cast<int>((r.start - viewStart_) * width / viewSpan_);
    bar.x1 = end >= viewEnd ? left + width : left + static_cast<int>((end - viewStart_) * width / viewSpan_);
    bar.channel = r.channel;
    bar.record = i;
    bars.push_back(bar);
  }
  return bars;
}

int64_t CalendarModel::TimeAt(int x, int left, int width) const {
  if (width <= 0) return viewStart_;
  return viewStart_ + static_cast<int64_t>(x - left) * viewSpan_ / width;
}

std::ptrdiff_t CalendarModel::RecordAt(int64_t t) const {
  for (std::size_t i = 0; i < records_.size(); ++i)
    if (records_[i].start <= t && t <= records_[i].End()) return static_cast<std::ptrdiff_t>(i);
  return -1;
}

std::ptrdiff_t CalendarModel::RecordAt(int64_t t, int32_t channel) const {
  for (std::size_t i = 0; i < records_.size(); ++i)
    if (records_[i].channel == channel && records_[i].start <= t && t <= records_[i].End())
      return static_cast<std::ptrdiff_t>(i);
  return RecordAt(t);
}

}  // namespace corvane
