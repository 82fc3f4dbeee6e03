// The calendar's arithmetic without a window: the UTC calendar, the range
// and navigation, the marked days, the zoomed views, the bars and the record
// under a moment.
#include <gtest/gtest.h>

#include <ctime>

#include "core/calendar_model.h"

namespace corvane {
namespace {

int64_t Utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  return static_cast<int64_t>(::timegm(&tm));
}

struct Rec {
  int64_t start, duration;
  int channel;
};

CalendarModel Filled(const std::vector<Rec>& recs) {
  CalendarModel m;
  EXPECT_TRUE(m.Begin(recs.size()));
  int n = 0;
  for (const Rec& r : recs) EXPECT_TRUE(m.Add(r.start, r.duration, r.channel, 0xFF000000u, "/r/" + std::to_string(n++)));
  m.End();
  return m;
}

TEST(CalendarModelTest, CivilDatesAndWeekdaysAgreeWithTheCLibrary) {
  // Every day from 1899 to 2101 and a few far ones.
  for (int64_t day = Utc(1899, 1, 1) / 86400; day <= Utc(2101, 12, 31) / 86400; ++day) {
    const int64_t t = day * 86400 + 12345;
    std::tm tm{};
    const time_t tt = static_cast<time_t>(t);
    ASSERT_NE(::gmtime_r(&tt, &tm), nullptr);
    const CivilDate d = CivilFromSeconds(t);
    ASSERT_EQ(d.year, tm.tm_year + 1900) << t;
    ASSERT_EQ(d.month, tm.tm_mon + 1) << t;
    ASSERT_EQ(d.day, tm.tm_mday) << t;
    ASSERT_EQ(DaysFromCivil(d.year, d.month, d.day), day);
    if (d.day == 1) {
      ASSERT_EQ(WeekdayOfFirst(d.year, d.month), tm.tm_wday) << d.year << "-" << d.month;
    }
  }
  EXPECT_EQ(CivilFromSeconds(-1).year, 1969);
  EXPECT_EQ(DaysInMonth(2000, 2), 29);
  EXPECT_EQ(DaysInMonth(1900, 2), 28);
  EXPECT_EQ(DaysInMonth(2012, 2), 29);
  EXPECT_EQ(DaysInMonth(2013, 2), 28);
  EXPECT_EQ(DaysInMonth(2013, 4), 30);
  EXPECT_EQ(DaysInMonth(2013, 12), 31);
}

TEST(CalendarModelTest, NavigationCrossesTheYearAndStaysInTheRange) {
  // 2013-12-30 to 2014-01-02 in start order; the first runs longest, so the
  // range ends with its end (February), not with the last start.
  CalendarModel m = Filled({{Utc(2013, 12, 30, 10), 40 * 86400, -1},
                            {Utc(2013, 12, 31, 23, 59), 120, 0},
                            {Utc(2014, 1, 2, 8), 600, -1}});
  EXPECT_EQ(m.firstYear(), 2013);
  EXPECT_EQ(m.firstMonth(), 12);
  EXPECT_EQ(m.lastYear(), 2014);
  EXPECT_EQ(m.lastMonth(), 2);
  EXPECT_EQ(m.shownYear(), 2013);
  EXPECT_EQ(m.shownMonth(), 12);
  EXPECT_EQ(m.shownDay(), 30);

  m.PreviousMonth();  // the first month: stays
  EXPECT_EQ(m.shownYear() * 100 + m.shownMonth(), 201312);
  m.PreviousYear();
  EXPECT_EQ(m.shownYear() * 100 + m.shownMonth(), 201312);
  m.ClickDay(999, 0, 1000);  // the last cell: the 31st
  EXPECT_EQ(m.shownDay(), 31);
  m.NextMonth();  // December to January of the next year
  EXPECT_EQ(m.shownYear() * 100 + m.shownMonth(), 201401);
  EXPECT_EQ(m.shownDay(), 31);
  m.NextMonth();  // the day follows the month's length
  EXPECT_EQ(m.shownYear() * 100 + m.shownMonth(), 201402);
  EXPECT_EQ(m.shownDay(), 28);
  m.NextMonth();  // the last month: stays
  EXPECT_EQ(m.shownYear() * 100 + m.shownMonth(), 201402);
  m.PreviousMonth();
  m.PreviousMonth();
  EXPECT_EQ(m.shownYear() * 100 + m.shownMonth(), 201312);
  // A year step never leaves the range: December 2014 is out, February 2014 the nearest.
  m.NextYear();
  EXPECT_EQ(m.shownYear() * 100 + m.shownMonth(), 201402);
  m.NextYear();
  EXPECT_EQ(m.shownYear() * 100 + m.shownMonth(), 201402);
  m.PreviousYear();  // February 2013 is out: December 2013
  EXPECT_EQ(m.shownYear() * 100 + m.shownMonth(), 201312);
  // Every month reached lies in the range.
  for (int step = 0; step < 40; ++step) {
    switch (step % 5) {
      case 0: m.NextMonth(); break;
      case 1: m.NextYear(); break;
      case 2: m.PreviousMonth(); break;
      case 3: m.NextMonth(); break;
      default: m.PreviousYear(); break;
    }
    const int ym = m.shownYear() * 100 + m.shownMonth();
    EXPECT_TRUE(ym == 201312 || ym == 201401 || ym == 201402) << ym;
    EXPECT_LE(m.shownDay(), DaysInMonth(m.shownYear(), m.shownMonth()));
  }
}

TEST(CalendarModelTest, MarkedDaysAreTheUtcStartAndEndDays) {
  CalendarModel m = Filled({{Utc(2014, 3, 5, 23, 50), 1200, -1},  // 5th to 6th
                            {Utc(2014, 3, 9, 1), 60, 2},          // 9th
                            {Utc(2014, 3, 31, 23), 7200, 0},      // 31st and 1 April
                            {Utc(2014, 4, 3), 10, 0}});
  auto marked = [&] {
    std::vector<int> days;
    const auto bits = m.MarkedDays();
    for (int d = 1; d <= 31; ++d)
      if (bits.test(static_cast<std::size_t>(d))) days.push_back(d);
    return days;
  };
  EXPECT_EQ(marked(), (std::vector<int>{5, 6, 9, 31}));
  m.NextMonth();
  EXPECT_EQ(marked(), (std::vector<int>{1, 3}));
}

TEST(CalendarModelTest, ZoomCyclesDayTwoHoursTwelveMinutes) {
  CalendarModel m = Filled({{Utc(2014, 3, 5, 9), 600, -1}});
  const int64_t day = Utc(2014, 3, 5);
  EXPECT_EQ(m.zoom(), 0);
  EXPECT_EQ(m.viewStart(), day);
  EXPECT_EQ(m.viewSpan(), 86400);
  m.ClickRuler(5 * 100 + 50, 0, 1200);  // column 5: 10:00-12:00
  EXPECT_EQ(m.zoom(), 1);
  EXPECT_EQ(m.column(), 5);
  EXPECT_EQ(m.viewStart(), day + 10 * 3600);
  EXPECT_EQ(m.viewSpan(), 7200);
  m.ClickRuler(7 * 100, 0, 1200);  // column 7 of that: 11:10
  EXPECT_EQ(m.zoom(), 2);
  EXPECT_EQ(m.previousColumn(), 5);
  EXPECT_EQ(m.column(), 7);
  EXPECT_EQ(m.viewStart(), day + 11 * 3600 + 10 * 60);
  EXPECT_EQ(m.viewSpan(), 720);
  m.ClickRuler(0, 0, 1200);
  EXPECT_EQ(m.zoom(), 0);
  EXPECT_EQ(m.viewStart(), day);
  EXPECT_EQ(m.viewSpan(), 86400);
  // Column 11 then 11: hour (110 / 60 + 22) mod 24 = 23, minute 50.
  m.ClickRuler(1199, 0, 1200);
  m.ClickRuler(1199, 0, 1200);
  EXPECT_EQ(m.viewStart(), day + 23 * 3600 + 50 * 60);
}

TEST(CalendarModelTest, BarsFollowTheFormulaAtEveryZoom) {
  const int64_t day = Utc(2014, 3, 5);
  const std::vector<Rec> recs = {{day - 100, 400, -1},           // from the day before
                                 {day + 9 * 3600 + 17, 3333, 0},  // inside
                                 {day + 10 * 3600 + 601, 77, 1},
                                 {day + 23 * 3600 + 50 * 60, 7200, 2},  // into the next day
                                 {day + 2 * 86400, 10, 3}};             // another day
  CalendarModel m = Filled(recs);
  m.ClickDay(4 * 31 + 1, 0, 31 * 31 - 31);  // the 5th of 31 cells 30 wide
  ASSERT_EQ(m.shownDay(), 5);
  const int left = 37, width = 911;
  auto check = [&](const char* what) {
    SCOPED_TRACE(what);
    const int64_t vs = m.viewStart(), span = m.viewSpan();
    std::vector<CalendarBar> expected;
    for (std::size_t i = 0; i < recs.size(); ++i) {
      const int64_t s = recs[i].start, e = recs[i].start + recs[i].duration;
      if (s >= vs + span || e < vs) continue;
      CalendarBar b;
      b.x0 = s < vs ? left : static_cast<int>(left + (s - vs) * width / span);
      b.x1 = e > vs + span ? left + width : static_cast<int>(left + (e - vs) * width / span);
      b.record = i;
      expected.push_back(b);
    }
    const std::vector<CalendarBar> bars = m.Bars(left, width);
    EXPECT_EQ(bars.size(), expected.size());
    if (bars.size() != expected.size()) return bars.size();
    for (std::size_t i = 0; i < bars.size(); ++i) {
      EXPECT_EQ(bars[i].record, expected[i].record);
      EXPECT_EQ(bars[i].x0, expected[i].x0) << i;
      EXPECT_EQ(bars[i].x1, expected[i].x1) << i;
      EXPECT_EQ(bars[i].channel, recs[bars[i].record].channel);
      EXPECT_GE(bars[i].x0, left);
      EXPECT_LE(bars[i].x1, left + width);
    }
    return bars.size();
  };
  EXPECT_EQ(check("day"), 4u);
  m.ClickRuler(4 * 100 + 1, 0, 1200);  // 08:00-10:00
  EXPECT_EQ(check("two hours"), 1u);
  m.ClickRuler(6 * 100 + 1, 0, 1200);  // 09:00-09:12
  EXPECT_EQ(check("twelve minutes"), 1u);
  // Every column at both zooms.
  for (int a = 0; a < 12; ++a) {
    m.ClickRuler(0, 0, 1200);  // to day
    while (m.zoom() != 0) m.ClickRuler(0, 0, 1200);
    m.ClickRuler(a * 100, 0, 1200);
    check("two hours, each column");
    for (int b = 0; b < 12; b += 5) {
      m.ClickRuler(b * 100, 0, 1200);
      check("twelve minutes, columns");
      m.ClickRuler(0, 0, 1200);
      m.ClickRuler(a * 100, 0, 1200);
    }
  }
}

TEST(CalendarModelTest, AClickFindsTheFirstRecordContainingTheMoment) {
  const int64_t t0 = Utc(2014, 3, 5, 9);
  // An AVI period (channels 0-2) and a KRV recording later.
  CalendarModel m = Filled({{t0, 300, 0}, {t0, 300, 1}, {t0, 300, 2}, {t0 + 1000, 60, -1}});
  EXPECT_EQ(m.RecordAt(t0 + 90), 0);
  EXPECT_EQ(m.RecordAt(t0 + 90, 2), 2);
  EXPECT_EQ(m.RecordAt(t0 + 90, -1), 0);  // no KRV then: the first
  EXPECT_EQ(m.RecordAt(t0 + 300), 0);     // the end second belongs to it
  EXPECT_EQ(m.RecordAt(t0 + 500), -1);    // between records
  EXPECT_EQ(m.RecordAt(t0 + 1030, 1), 3);
  EXPECT_EQ(m.RecordAt(t0 - 1), -1);
  // The moment under x on a day strip: 09:01:30 is x = 32490 of 86400.
  EXPECT_EQ(m.TimeAt(32490 + 5, 5, 86400), t0 + 90);
  EXPECT_EQ(m.record(2).path, "/r/2");
}

TEST(CalendarModelTest, AddBeyondTheCountIsRefusedAndAnEmptyFillEmpties) {
  CalendarModel m;
  ASSERT_TRUE(m.Begin(1));
  EXPECT_TRUE(m.Add(100, 10, 0, 1, "a"));
  EXPECT_FALSE(m.Add(200, 10, 0, 1, "b"));
  m.End();
  EXPECT_EQ(m.size(), 1u);
  ASSERT_TRUE(m.Begin(0));
  m.End();
  EXPECT_TRUE(m.empty());
  EXPECT_EQ(m.RecordAt(105), -1);
  EXPECT_TRUE(m.Bars(0, 100).empty());
  m.NextMonth();  // nothing to navigate
  EXPECT_EQ(m.shownYear(), 0);
}

}  // namespace
}  // namespace corvane
