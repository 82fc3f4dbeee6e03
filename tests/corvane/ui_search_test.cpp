// The search panel and the calendar in the real window, on a tree made by
// krvtool, with `krvtool list` as the oracle of every search.
#include <QComboBox>
#include <QDateEdit>
#include <QMouseEvent>
#include <QTreeWidgetItem>
#include <cstdlib>
#include <ctime>
#include <set>

#include "controls/color_list_ctrl.h"
#include "controls/control_id.h"
#include "controls/message_event.h"
#include "controls/picture_button.h"
#include "core/calendar_model.h"
#include "core/catalogue.h"
#include "core/settings.h"
#include "core/text_codec.h"
#include "playback/reader_threads.h"
#include "media/ac_messages.h"
#include "ui/calendar_ctrl.h"
#include "ui/rec_type_search.h"
#include "ui/wave_dlg.h"
#include "ui_search_util.h"

namespace corvane::uitest {
namespace {

class ScopedTz {
 public:
  explicit ScopedTz(const char* zone) {
    const char* old = std::getenv("TZ");
    had_ = old != nullptr;
    if (had_) old_ = old;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~ScopedTz() {
    if (had_) ::setenv("TZ", old_.c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();
  }

 private:
  bool had_ = false;
  std::string old_;
};

class SearchWindowTest : public WindowFixture {
 protected:
  SearchWindowTest() { noWindow_ = true; }
  void OpenOnTree() {
    OpenWindow(false);
    ASSERT_EQ(dlg()->OpenFolder(SearchTree()), FolderScanStatus::Ok);
    ASSERT_GT(dlg()->list()->RowCount(), 0);
  }
  CRecTpyeSearch* search() { return dlg()->searchDialog(); }
  void ClickSearch() {
    QTest::mouseClick(search()->searchButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !dlg()->scanning(); }, 20000));
  }
  // Ticks exactly the types of mask by clicking their buttons.
  void SetTypes(uint32_t mask) {
    for (int i = 0; i < 4; ++i) {
      const bool want = (mask >> (24 - 8 * i)) & 0xFF;
      if (search()->TypeTicked(i) != want) QTest::mouseClick(search()->typeButton(i), Qt::LeftButton);
      ASSERT_EQ(search()->TypeTicked(i), want);
      EXPECT_EQ(search()->typeButton(i)->Picture(), want ? 0 : 1);  // a picture per state
    }
  }
  void SelectCar(const std::string& bytes) {
    QComboBox* box = search()->carBox();
    if (bytes.empty()) {
      box->setCurrentIndex(0);
      return;
    }
    const int i = box->findText(QString::fromStdString(DecodeForDisplay(bytes)));
    ASSERT_GT(i, 0) << bytes;
    box->setCurrentIndex(i);
  }
};

struct SearchCase {
  const char* what;
  uint32_t types;
  int fromY, fromM, fromD, toY, toM, toD;
  const char* car;
};

const SearchCase kCases[] = {
    {"one day, every type", 0xFFFFFFFF, 2024, 3, 15, 2024, 3, 15, ""},
    {"manual over the years", 0xFF000000, 2013, 12, 30, 2024, 3, 16, ""},
    {"motion or alarm on the 16th", 0x0000FFFF, 2024, 3, 16, 2024, 3, 16, ""},
    {"a day whose recording starts at 23:59", 0xFFFFFFFF, 2013, 12, 30, 2013, 12, 30, ""},
    {"2013 up to the end day", 0xFFFFFFFF, 2013, 1, 1, 2013, 12, 30, ""},
    {"a non-ASCII car number", 0xFFFFFFFF, 2013, 1, 1, 2024, 12, 31, "\xE7\xB2\xA4" "B.D6789"},
    {"an ASCII car number", 0xFFFFFFFF, 2013, 1, 1, 2024, 12, 31, "B.777"},
    {"timing with a car", 0x00FF0000, 2024, 3, 15, 2024, 3, 16, "\xE7\xB2\xA4" "A.12345"},
    {"an end before the start", 0xFFFFFFFF, 2024, 3, 16, 2024, 3, 14, ""},
};

TEST_F(SearchWindowTest, SearchListsWhatKrvtoolListsInEveryTimeZone) {
  for (const char* zone : {"UTC", "America/New_York", "Asia/Shanghai"}) {
    SCOPED_TRACE(zone);
    ScopedTz tz(zone);
    OpenOnTree();
    const std::vector<std::string> scanned = ListedPaths(dlg());
    // The pickers show the UTC dates of the earliest start and the latest end.
    EXPECT_EQ(search()->startPicker()->date(), QDate(2013, 12, 30));
    EXPECT_EQ(search()->endPicker()->date(), QDate(2024, 3, 20));
    // Untouched, a search lists what the scan listed.
    ClickSearch();
    EXPECT_EQ(ListedPaths(dlg()), scanned);
    for (const SearchCase& c : kCases) {
      SCOPED_TRACE(c.what);
      SetTypes(c.types);
      search()->startPicker()->setDate(QDate(c.fromY, c.fromM, c.fromD));
      search()->endPicker()->setDate(QDate(c.toY, c.toM, c.toD));
      SelectCar(c.car);
      const SearchFilter f = search()->GetFilter();
      EXPECT_EQ(f.typeMask, c.types);
      EXPECT_EQ(f.from, UtcDay(c.fromY, c.fromM, c.fromD));
      EXPECT_EQ(f.to, UtcDay(c.toY, c.toM, c.toD));
      EXPECT_EQ(f.carNumber, c.car);
      ClickSearch();
      const std::vector<std::string> expected = KrvtoolListPaths(SearchTree(), c.types, f.from, f.to, c.car);
      EXPECT_EQ(ListedPaths(dlg()), expected);
      if (std::string(c.what) != "an end before the start") {
        EXPECT_FALSE(expected.empty());
      }
    }
    // No type ticked: nothing.
    SetTypes(0);
    search()->startPicker()->setDate(QDate(2000, 1, 1));
    search()->endPicker()->setDate(QDate(2030, 1, 1));
    ClickSearch();
    EXPECT_EQ(dlg()->list()->RowCount(), 0);
    CloseWindow();
  }
}

TEST_F(SearchWindowTest, SearchKeepsTheSummaryCarBoxAndCalendarAndFollowsTheLanguage) {
  OpenOnTree();
  const int rows = dlg()->list()->RowCount();
  const FolderSummary summary = dlg()->records().summary;
  QComboBox* box = search()->carBox();
  ASSERT_EQ(box->count(), 4);  // All and the three car numbers, in the order found
  EXPECT_EQ(box->itemText(0), "All");
  EXPECT_EQ(box->itemText(1), "B.777");
  EXPECT_EQ(box->itemText(2), QString::fromUtf8("粤A.12345"));
  EXPECT_EQ(box->itemData(2).toByteArray().toStdString(), "\xE7\xB2\xA4" "A.12345");
  ASSERT_EQ(dlg()->calendar()->model().size(), static_cast<std::size_t>(rows));

  // A search stops what plays before the list goes.
  DoubleClickRow(0);
  ASSERT_TRUE(WaitUntil([&] { return dlg()->readers()->KrvRunning(); }, 3000));
  SetTypes(0x000000FF);
  ClickSearch();
  // The reader parks: on its gate, which the search resets, with the stop
  // still pending, or having carried the stop out already (a reader waiting
  // on a full queue is woken for it).
  EXPECT_TRUE(WaitUntil([&] { return dlg()->playState().readerInPass[0].load() == 0; }, 3000))
      << "the search did not stop what plays";
  EXPECT_TRUE(dlg()->playState().krvPath.Empty());
  EXPECT_TRUE(dlg()->playState().krvOpenPath.Empty());
  ASSERT_LT(dlg()->list()->RowCount(), rows);
  EXPECT_EQ(dlg()->records().summary.typesSeen, summary.typesSeen);
  EXPECT_EQ(dlg()->records().summary.carList, summary.carList);
  EXPECT_EQ(box->count(), 4);
  EXPECT_EQ(dlg()->calendar()->model().size(), static_cast<std::size_t>(rows));

  // A language change re-texts the panel and its "All" item.
  for (QAction* a : dlg()->languageMenu()->actions())
    if (a->text() == QString::fromUtf8("中文")) a->trigger();
  EXPECT_EQ(search()->searchButton()->text(), QString::fromUtf8("搜索"));
  EXPECT_EQ(search()->typeButton(3)->text(), QString::fromUtf8("报警"));
  EXPECT_EQ(box->itemText(0), QString::fromUtf8("全部"));
  EXPECT_EQ(box->count(), 4);

  // A new folder scan resets the box.
  ASSERT_EQ(dlg()->OpenFolder(SearchTree() + "/extra"), FolderScanStatus::Ok);
  ASSERT_EQ(box->count(), 3);
  EXPECT_EQ(box->itemText(1), "B.777");
  EXPECT_EQ(search()->startPicker()->date(), QDate(2013, 12, 30));
  EXPECT_EQ(search()->endPicker()->date(), QDate(2024, 3, 16));
  EXPECT_TRUE(search()->TypeTicked(1) && search()->TypeTicked(2) && search()->TypeTicked(3));
  EXPECT_FALSE(search()->TypeTicked(0));
}

TEST_F(SearchWindowTest, SearchOfAStoredFolderTooLongShowsTheMessageAndListsNothing) {
  OpenOnTree();
  SetSettingString(kSectionBrightmere, kKeyFolderName, "/" + std::string(240, 'a'));
  ModalDriver driver;
  ClickSearch();
  ASSERT_TRUE(WaitUntil([&] { return !driver.messages().empty(); }, 5000));
  EXPECT_EQ(driver.messages().front(), QString::fromLatin1(kPathTooLongText));
  EXPECT_EQ(dlg()->list()->RowCount(), 0);
  EXPECT_EQ(dlg()->records().size(), 0u);
}

// ---- the calendar ---------------------------------------------------------

class CalendarWindowTest : public SearchWindowTest {
 protected:
  void ShowCalendar() {
    QTest::mouseClick(qobject_cast<QAbstractButton*>(controls::FindControl(dlg()->waveDlg(), CWaveDlg::IDC_CALENDAR)),
                      Qt::LeftButton);
    controls::SendMessageTo(dlg(), media::WM_LOWER_PANEL_LEVEL, 3, 0);
    ASSERT_TRUE(WaitUntil([&] { return cal()->isVisible() && cal()->height() > 150; }, 2000));
  }
  CDVRCalendarCtrl* cal() { return dlg()->calendar(); }
  void ClickAt(QPoint p) {
    QTest::mousePress(cal(), Qt::LeftButton, {}, p);
    QTest::mouseRelease(cal(), Qt::LeftButton, {}, p);
  }
  void ClickArea(const QRect& r) { ClickAt(r.center()); }
  int ShownMonth() { return cal()->model().shownYear() * 100 + cal()->model().shownMonth(); }
  // Clicks the day strip's cell of day.
  void ClickDay(int day) {
    const QRect s = cal()->DayStripRect();
    const int n = DaysInMonth(cal()->model().shownYear(), cal()->model().shownMonth());
    const int x = s.left() + ((2 * day - 1) * s.width()) / (2 * n);
    ClickAt(QPoint(x, s.center().y()));
    ASSERT_EQ(cal()->model().shownDay(), day);
  }
  void ClickRulerColumn(int column) {
    const QRect r = cal()->RulerRect();
    ClickAt(QPoint(r.left() + ((2 * column + 1) * r.width()) / 24, r.center().y()));
  }
};

TEST_F(CalendarWindowTest, CalendarMarksTheDaysOfTheListedRowsAndNavigatesWithinTheRange) {
  OpenOnTree();
  ShowCalendar();
  const RecordList& records = dlg()->records();
  ASSERT_EQ(cal()->model().size(), records.size());
  for (std::size_t i = 0; i < records.size(); ++i) EXPECT_EQ(cal()->model().record(i).path, records.path(i));
  // The expected marks: UTC days of every start and end.
  std::set<std::tuple<int, int, int>> days;
  for (std::size_t i = 0; i < records.size(); ++i) {
    for (int64_t t : {records.info(i)->start, records.info(i)->start + records.info(i)->duration}) {
      const time_t tt = static_cast<time_t>(t);
      std::tm tm{};
      ::gmtime_r(&tt, &tm);
      days.insert({tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday});
    }
  }
  EXPECT_EQ(ShownMonth(), 201312);
  ClickArea(cal()->PreviousMonthRect());
  ClickArea(cal()->PreviousYearRect());
  EXPECT_EQ(ShownMonth(), 201312);
  std::set<int> seen;
  for (int step = 0; step < 200 && !seen.count(ShownMonth()); ++step) {
    seen.insert(ShownMonth());
    const auto marked = cal()->model().MarkedDays();
    for (int d = 1; d <= 31; ++d) {
      EXPECT_EQ(marked.test(static_cast<std::size_t>(d)),
                days.count({cal()->model().shownYear(), cal()->model().shownMonth(), d}) > 0)
          << ShownMonth() << "-" << d;
    }
    const int before = ShownMonth();
    ClickArea(cal()->NextMonthRect());
    if (before == 201312) {
      EXPECT_EQ(ShownMonth(), 201401);  // January of the next year
    }
    if (ShownMonth() == before) break;                      // the last month
  }
  EXPECT_EQ(ShownMonth(), 202403);
  EXPECT_EQ(seen.size(), 124u);  // 2013-12 to 2024-03, each once
  ClickArea(cal()->NextYearRect());
  EXPECT_EQ(ShownMonth(), 202403);
  ClickArea(cal()->PreviousYearRect());
  EXPECT_EQ(ShownMonth(), 202303);
  for (int i = 0; i < 20; ++i) ClickArea(cal()->PreviousYearRect());
  EXPECT_EQ(ShownMonth(), 201312);  // March 2013 lies before the range

  // The ruler cycles the zoom: day, two hours, twelve minutes, day.
  for (int expected : {1, 2, 0, 1}) {
    ClickRulerColumn(3);
    EXPECT_EQ(cal()->model().zoom(), expected);
  }
}

TEST_F(CalendarWindowTest, CalendarClickOpensTheAviPeriodAtTheClickedMoment) {
  OpenOnTree();
  ShowCalendar();
  while (ShownMonth() != 202403) ClickArea(cal()->NextMonthRect());
  ClickDay(16);
  ClickRulerColumn(10);  // 20:00-22:00
  ClickRulerColumn(0);   // 20:00-20:12
  ASSERT_EQ(cal()->model().zoom(), 2);
  const int64_t start = UtcDay(2024, 3, 16) + 20 * 3600;
  ASSERT_EQ(cal()->model().viewStart(), start);
  // A moment 5 s into the channel-2 file (entry channel 1), between its key
  // frames at 3 s and 6 s.
  const QRect strip = cal()->TimeStripRect();
  const int x = strip.left() + static_cast<int>((5 * strip.width() + 719) / 720);
  const int64_t t = cal()->model().TimeAt(x, strip.left(), strip.width());
  ASSERT_EQ(t - start, 5);
  const int64_t clickedAtMs = ShowRecorder::NowMs();
  ClickAt(QPoint(x, cal()->LaneRect(1).center().y()));
  ASSERT_TRUE(WaitUntil([&] { return dlg()->readers()->AviRunning(); }, 3000));
  EXPECT_EQ(dlg()->playState().currentChannel.load(), 1);
  EXPECT_EQ(dlg()->playState().fileKind.load(), playback::PlayState::kAvi);
  // The period's two rows are selected.
  int selected = 0;
  for (int r = 0; r < dlg()->list()->RowCount(); ++r) {
    if (!dlg()->list()->RowSelected(r)) continue;
    ++selected;
    EXPECT_NE(dlg()->records().path(r).find("20240316200000_0010_0"), std::string::npos);
  }
  EXPECT_EQ(selected, 2);
  // The first picture of the clicked channel: the key frame at or before the
  // offset, as ffprobe finds it in the file.
  const std::string file = SearchTree() + "/extra/20240316200000_0010_02.avi";
  const krvtest::RunResult probe = krvtest::RunShell(
      "ffprobe -v error -select_streams v:0 -show_entries packet=dts_time,flags -of csv=p=0 " + krvtest::Quote(file));
  ASSERT_EQ(probe.code, 0);
  int64_t keyMs = -1;
  for (const std::string& line : probe.Lines()) {
    const int64_t ms = static_cast<int64_t>(std::atof(line.c_str()) * 1000 + 0.5);
    if (line.find(",K") != std::string::npos && ms <= (t - start) * 1000) keyMs = std::max(keyMs, ms);
  }
  ASSERT_EQ(keyMs, 3000);
  ASSERT_TRUE(WaitUntil([&] {
    for (const ShowRecorder::Shown& s : recorder_.Since(clickedAtMs))
      if (s.channel == 1) return true;
    return false;
  }, 5000));
  for (const ShowRecorder::Shown& s : recorder_.Since(clickedAtMs)) {
    if (s.channel != 1) continue;
    EXPECT_EQ(s.dts, keyMs);
    break;
  }
}

TEST_F(CalendarWindowTest, CalendarOpensNothingBetweenRecordsNorUnlistedOrFreedEntries) {
  OpenOnTree();
  ShowCalendar();
  while (ShownMonth() != 202403) ClickArea(cal()->NextMonthRect());
  ClickDay(16);
  ClickRulerColumn(9);
  ClickRulerColumn(0);  // 18:00-18:12: the AVI period only
  const QRect strip = cal()->TimeStripRect();
  auto xAt = [&](int seconds) { return strip.left() + static_cast<int>((seconds * strip.width() + 719) / 720); };
  // 10 minutes in: between records.
  ClickAt(QPoint(xAt(600), cal()->LaneRect(1).center().y()));
  Pump(300);
  EXPECT_EQ(dlg()->playState().seekPending.load(), 0);
  EXPECT_FALSE(dlg()->readers()->AviRunning());

  // A search that leaves the period out: the calendar keeps its records, but
  // a click opens nothing that the list lacks.
  SetTypes(0x00FF0000);
  ClickSearch();
  ASSERT_GT(dlg()->list()->RowCount(), 0);
  ASSERT_EQ(dlg()->calendar()->model().zoom(), 2);
  ClickAt(QPoint(xAt(5), cal()->LaneRect(1).center().y()));
  Pump(300);
  EXPECT_EQ(dlg()->playState().seekPending.load(), 0);
  EXPECT_FALSE(dlg()->readers()->AviRunning());
  EXPECT_TRUE(dlg()->list()->FirstSelectedRow() < 0);

  // A stale request (posted, then the list changed under it) opens nothing
  // either: an empty scan empties the calendar and voids its requests.
  SetTypes(0xFFFFFFFF);
  ClickSearch();
  ClickAt(QPoint(xAt(5), cal()->LaneRect(1).center().y()));
  test::TempDir empty;
  ASSERT_EQ(dlg()->OpenFolder(empty.path()), FolderScanStatus::Ok);  // the posted request arrives after
  Pump(300);
  EXPECT_TRUE(dlg()->calendar()->model().empty());
  EXPECT_EQ(dlg()->list()->RowCount(), 0);
  EXPECT_FALSE(dlg()->readers()->AviRunning());
  ClickAt(QPoint(xAt(5), cal()->LaneRect(1).center().y()));
  Pump(200);
  EXPECT_FALSE(dlg()->readers()->AviRunning());
}

}  // namespace
}  // namespace corvane::uitest
