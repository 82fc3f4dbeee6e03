// The real main window under X: the list at start, the pane arrangements,
// single pane, drag and swap, full screen, the split and panel levels, and
// the language change.
#include <QAbstractButton>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QTreeWidgetItem>

#include "controls/control_id.h"
#include "core/catalogue.h"
#include "core/language.h"
#include "core/settings.h"
#include "controls/message_event.h"
#include "playback/reader_threads.h"
#include "ui/type_images.h"
#include "ui/video_layout.h"
#include "ui/wave_dlg.h"
#include "ui_test_util.h"

namespace corvane::uitest {
namespace {

using Dlg = CCorvaneDlg;

class UiWindowTest : public WindowFixture {};

QAction* MenuAction(QMenu* menu, const QString& text) {
  for (QAction* a : menu->actions())
    if (a->text() == text) return a;
  return nullptr;
}

TEST_F(UiWindowTest, ListAtStartShowsTheDemoRecordingsInStartOrder) {
  controls::CColorListCtrl* list = dlg()->list();
  const auto& files = DemoFiles();
  ASSERT_EQ(list->RowCount(), static_cast<int>(files.size()));
  EXPECT_EQ(list->headerItem()->text(0), "Data");
  EXPECT_EQ(list->headerItem()->text(4), "RecType");
  EXPECT_TRUE(list->isColumnHidden(kColumnPath));
  for (int r = 0; r < list->RowCount(); ++r) {
    const DemoFile& f = files[r];
    QTreeWidgetItem* item = list->Row(r);
    SCOPED_TRACE(f.relPath);
    const std::string& s = f.start;
    EXPECT_EQ(item->text(kColumnDate).toStdString(), s.substr(0, 4) + "-" + s.substr(4, 2) + "-" + s.substr(6, 2));
    EXPECT_EQ(item->text(kColumnTime).toStdString(), s.substr(8, 2) + ":" + s.substr(10, 2) + ":" + s.substr(12, 2));
    EXPECT_EQ(item->text(kColumnDuration).toStdString(), "00:00:" + QString::asprintf("%02d", f.seconds).toStdString());
    EXPECT_EQ(item->text(kColumnChannel).toStdString(), f.channel < 0 ? "1,2,3,4" : std::to_string(f.channel + 1));
    EXPECT_TRUE(item->text(kColumnStatus).isEmpty());
    EXPECT_EQ(item->text(kColumnPath).toStdString(), DemoPath(r));
    // The type picture: manual 8, timing 4, motion 2, alarm 1.
    const int image = (f.types[0] != '0') * 8 + (f.types[1] != '0') * 4 + (f.types[2] != '0') * 2 + (f.types[3] != '0');
    const QImage shown = item->icon(kColumnStatus).pixmap(QSize(kTypeImageWidth, kTypeImageHeight)).toImage();
    EXPECT_EQ(shown.convertToFormat(QImage::Format_ARGB32),
              RecordTypeImages()[image].toImage().convertToFormat(QImage::Format_ARGB32));
  }
  // The 16 pictures differ from one another.
  for (int a = 0; a < 16; ++a)
    for (int b = a + 1; b < 16; ++b) EXPECT_NE(RecordTypeImages()[a].toImage(), RecordTypeImages()[b].toImage());
}

TEST_F(UiWindowTest, WindowStartsFramelessAtItsSizeWithTextsAndTooltips) {
  EXPECT_TRUE(dlg()->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(dlg()->size(), QSize(1024, 800));
  EXPECT_EQ(dlg()->minimumSize(), QSize(1024, 768));
  EXPECT_EQ(dlg()->windowTitle(), "Monitor Client");
  EXPECT_EQ(button(Dlg::IDC_PLAY)->toolTip(), "play");
  EXPECT_EQ(button(Dlg::IDC_CLOSE)->toolTip(), "Close");
  EXPECT_EQ(button(Dlg::IDC_LANGUAGE)->text(), QString::fromUtf8("语言"));
  EXPECT_EQ(button(Dlg::IDC_OPENFILE)->text(), "OpenFile");
  EXPECT_TRUE(button(Dlg::IDC_SWAP)->isHidden());
  EXPECT_TRUE(button(Dlg::IDC_VIDEO)->isHidden());
  EXPECT_TRUE(dlg()->list()->isVisible());
  EXPECT_EQ(dlg()->speedText(), "x1");
  EXPECT_EQ(dlg()->speedSlider()->Pos(), 4);
  // The lower panel's texts by its own template (176): the language file
  // replaces the template captions.
  auto* cut = qobject_cast<QAbstractButton*>(controls::FindControl(dlg()->waveDlg(), 1103));
  ASSERT_NE(cut, nullptr);
  EXPECT_EQ(cut->text(), "SetCutPoint");
  // The main window's 1013 (settings) is not the panel's 1013 (the slider).
  EXPECT_EQ(controls::FindControl(dlg(), 1013), button(Dlg::IDC_SETTING));
}

TEST_F(UiWindowTest, ArrangementsFor1_4_6And13Panes) {
  GCEVideoLayoutDialog* layout = dlg()->videoLayout();
  const int W = layout->width(), H = layout->height();
  auto geometryOf = [&](int displayIndex) { return layout->paneAt(displayIndex)->geometry(); };
  auto visible = [&](int displayIndex) { return layout->paneAt(displayIndex)->isVisible(); };

  layout->SetScreenNum(4);  // 2 x 2
  EXPECT_EQ(geometryOf(0), QRect(0, 0, W / 2, H / 2));
  EXPECT_EQ(geometryOf(3), QRect(W / 2, H / 2, W - W / 2, H - H / 2));

  layout->SetScreenNum(1);  // one pane over the whole area
  EXPECT_EQ(geometryOf(0), QRect(0, 0, W, H));
  for (int i = 1; i < 4; ++i) EXPECT_FALSE(visible(i));

  layout->SetScreenNum(6);  // channel 1 in the top-left two thirds, 2-4 down the right
  EXPECT_EQ(geometryOf(0), QRect(0, 0, 2 * W / 3, 2 * H / 3));
  EXPECT_EQ(geometryOf(1), QRect(2 * W / 3, 0, W - 2 * W / 3, H / 3));
  EXPECT_EQ(geometryOf(2), QRect(2 * W / 3, H / 3, W - 2 * W / 3, 2 * H / 3 - H / 3));
  EXPECT_EQ(geometryOf(3), QRect(2 * W / 3, 2 * H / 3, W - 2 * W / 3, H - 2 * H / 3));
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(visible(i));

  layout->SetScreenNum(13);
  EXPECT_EQ(geometryOf(0), QRect(0, 0, W / 2, H / 2));
  EXPECT_EQ(geometryOf(1), QRect(W / 2, 0, 3 * W / 4 - W / 2, H / 4));
  EXPECT_EQ(geometryOf(2), QRect(3 * W / 4, 0, W - 3 * W / 4, H / 4));
  EXPECT_EQ(geometryOf(3), QRect(W / 2, H / 4, 3 * W / 4 - W / 2, H / 2 - H / 4));

  layout->SetScreenNum(7);  // not in the table: 2 x 2
  EXPECT_EQ(layout->kind(), 1);
  EXPECT_EQ(layout->count(), 4);
}

TEST(UiArrangementTest, EveryCountOfTheTableHasItsCells) {
  const int W = 640, H = 480;
  struct Expect {
    int n, kind, count;
  };
  for (const Expect& e : {Expect{1, 1, 1}, {4, 1, 4}, {6, 2, 6}, {8, 2, 8}, {9, 1, 9}, {10, 2, 10}, {12, 2, 12},
                          {13, 3, 13}, {16, 1, 16}, {17, 3, 17}, {25, 1, 25}, {36, 1, 36}, {0, 1, 4}, {5, 1, 4}}) {
    int kind = 0, count = 0;
    ArrangementForScreenNum(e.n, &kind, &count);
    EXPECT_EQ(kind, e.kind) << e.n;
    EXPECT_EQ(count, e.count) << e.n;
  }
  // 3 x 3: cell i at column i mod 3, row i / 3.
  EXPECT_EQ(ArrangementCell(1, 9, 4, W, H), QRect(W / 3, H / 3, 2 * W / 3 - W / 3, 2 * H / 3 - H / 3));
  // 8 = 2 x 4: the big cell, the right column top to bottom, the bottom row right to left.
  EXPECT_EQ(ArrangementCell(2, 8, 0, W, H), QRect(0, 0, 3 * W / 4, 3 * H / 4));
  EXPECT_EQ(ArrangementCell(2, 8, 4, W, H), QRect(3 * W / 4, 3 * H / 4, W - 3 * W / 4, H - 3 * H / 4));
  EXPECT_EQ(ArrangementCell(2, 8, 5, W, H), QRect(2 * W / 4, 3 * H / 4, W / 4, H - 3 * H / 4));
  EXPECT_EQ(ArrangementCell(2, 8, 7, W, H), QRect(0, 3 * H / 4, W / 4, H - 3 * H / 4));
  EXPECT_TRUE(ArrangementCell(2, 8, 8, W, H).isEmpty());
  // 17: the large cell takes three fifths.
  EXPECT_EQ(ArrangementCell(3, 17, 0, W, H), QRect(0, 0, 3 * W / 5, 3 * H / 5));
  EXPECT_EQ(ArrangementCell(3, 17, 3, W, H), QRect(3 * W / 5, H / 5, 4 * W / 5 - 3 * W / 5, 2 * H / 5 - H / 5));
  // The cells of a grid tile the area without gaps.
  for (int k : {1, 2, 3, 4, 5, 6}) {
    int area = 0;
    for (int i = 0; i < k * k; ++i) area += ArrangementCell(1, k * k, i, W, H).width() * ArrangementCell(1, k * k, i, W, H).height();
    EXPECT_EQ(area, W * H) << k;
  }
}

TEST_F(UiWindowTest, TheFramelessWindowIsDraggedByItsCaption) {
  const QPoint before = dlg()->pos();
  const QPoint grip(400, 15);  // on the title row, no control there
  QTest::mousePress(dlg(), Qt::LeftButton, {}, grip);
  QTest::mouseMove(dlg(), grip + QPoint(30, 20));
  QTest::mouseRelease(dlg(), Qt::LeftButton, {}, grip + QPoint(30, 20));
  EXPECT_TRUE(WaitUntil([&] { return dlg()->pos() != before; }, 1000)) << "the window did not move";
  // Enter and Escape do not close it.
  QTest::keyClick(dlg(), Qt::Key_Escape);
  QTest::keyClick(dlg(), Qt::Key_Return);
  EXPECT_TRUE(dlg()->isVisible());
}

TEST_F(UiWindowTest, ScreenNumFromTheSettingsAtStart) {
  CloseWindow();
  SetSettingInt(kSectionScreenConfig, kKeyScreenNum, 6);
  OpenWindow(false);
  EXPECT_EQ(dlg()->videoLayout()->kind(), 2);
  EXPECT_EQ(dlg()->videoLayout()->count(), 6);
}

TEST_F(UiWindowTest, SinglePaneCyclesThroughTheChannelsWithButton1) {
  GCEVideoLayoutDialog* layout = dlg()->videoLayout();
  std::vector<int> shown;
  for (int press = 0; press < 5; ++press) {
    Click(Dlg::IDC_SINGLE);
    ASSERT_TRUE(layout->IsSingle());
    int alone = -1, visibleCount = 0;
    for (int c = 0; c < 4; ++c) {
      if (layout->paneOf(c)->isVisible()) {
        alone = c;
        ++visibleCount;
      }
    }
    EXPECT_EQ(visibleCount, 1);
    EXPECT_EQ(layout->paneOf(alone)->geometry(), layout->rect());
    shown.push_back(alone + 1);
  }
  EXPECT_EQ(shown, (std::vector<int>{1, 2, 3, 4, 1}));
  Click(Dlg::IDC_FOUR);
  EXPECT_FALSE(layout->IsSingle());
  for (int c = 0; c < 4; ++c) EXPECT_TRUE(layout->paneOf(c)->isVisible());
}

TEST_F(UiWindowTest, DoubleClickOnAPaneShowsItAloneAndBack) {
  GCEVideoLayoutDialog* layout = dlg()->videoLayout();
  GCEVideoDialog* pane = layout->paneOf(2);
  QTest::mouseDClick(pane, Qt::LeftButton, {}, pane->rect().center());
  EXPECT_EQ(layout->singleIndex(), 2);
  QTest::mouseDClick(pane, Qt::LeftButton, {}, pane->rect().center());
  EXPECT_FALSE(layout->IsSingle());
}

TEST_F(UiWindowTest, DragSwapsPanesAndDefaultScreenPutsThemBack) {
  GCEVideoLayoutDialog* layout = dlg()->videoLayout();
  GCEVideoDialog* first = layout->paneOf(0);
  const QPoint start = first->rect().center();
  // Channel 4's cell, in the dragged pane's coordinates.
  const QPoint drop = layout->CellRect(3).center() - layout->CellRect(0).topLeft();
  QTest::mousePress(first, Qt::LeftButton, {}, start);
  EXPECT_TRUE(first->selected());
  QTest::mouseMove(first, start + QPoint(20, 20));
  QTest::mouseMove(first, drop);
  EXPECT_EQ(first->dragState(), 2);
  QTest::mouseRelease(first, Qt::LeftButton, {}, drop);
  EXPECT_EQ(layout->paneAt(0)->channel(), 3);
  EXPECT_EQ(layout->paneAt(3)->channel(), 0);
  EXPECT_EQ(first->geometry(), layout->CellRect(3));

  QMenu* menu = layout->paneOf(1)->BuildLeftMenu();
  QAction* exitFull = MenuAction(menu, "Exit Fullscreen");
  ASSERT_NE(exitFull, nullptr);
  EXPECT_FALSE(exitFull->isEnabled());
  MenuAction(menu, "Default Screen")->trigger();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(layout->paneAt(i)->channel(), i);
  EXPECT_EQ(first->geometry(), layout->CellRect(0));
}

TEST_F(UiWindowTest, LeftMenuSetsTheAudioChannelAndItIsKept) {
  GCEVideoLayoutDialog* layout = dlg()->videoLayout();
  MenuAction(layout->paneOf(0)->BuildLeftMenu(), "Audio 3")->trigger();
  Pump(50);
  EXPECT_EQ(layout->audioChannel(), 2);
  EXPECT_EQ(dlg()->playState().audioChannel.load(), 2);
  MenuAction(layout->paneOf(0)->BuildLeftMenu(), "Mute")->trigger();
  Pump(50);
  EXPECT_EQ(dlg()->playState().audioChannel.load(), -10);
  MenuAction(layout->paneOf(0)->BuildLeftMenu(), "Audio 2")->trigger();
  CloseWindow();
  EXPECT_EQ(GetSettingInt(kSectionBrightmere, kKeyAudioChannel, 0), 1);
  OpenWindow(false);
  Pump(50);
  EXPECT_EQ(dlg()->playState().audioChannel.load(), 1);
}

TEST_F(UiWindowTest, FullScreenAndBack) {
  GCEVideoLayoutDialog* layout = dlg()->videoLayout();
  const QRect before = layout->geometry();
  Click(Dlg::IDC_FULLSCREEN);
  Pump(100);
  EXPECT_TRUE(layout->fullScreen());
  EXPECT_TRUE(layout->isWindow());
  EXPECT_EQ(layout->windowTitle(), "Brightmere");
  EXPECT_EQ(layout->geometry(), layout->screen()->geometry());
  EXPECT_FALSE(dlg()->isVisible());
  EXPECT_EQ(layout->paneAt(3)->geometry(), layout->CellRect(3));
  // Full screen again does nothing.
  layout->SetFullScreen(true);
  EXPECT_TRUE(layout->isWindow());

  QAction* exitFull = MenuAction(layout->paneOf(0)->BuildLeftMenu(), "Exit Fullscreen");
  ASSERT_TRUE(exitFull->isEnabled());
  exitFull->trigger();
  Pump(100);
  EXPECT_FALSE(layout->fullScreen());
  EXPECT_FALSE(layout->isWindow());
  EXPECT_EQ(layout->parentWidget(), dlg());
  EXPECT_EQ(layout->geometry(), before);
  EXPECT_TRUE(dlg()->isVisible());
}

TEST_F(UiWindowTest, SplitAndLowerPanelLevels) {
  EXPECT_EQ(dlg()->splitLevel(), 2);
  Click(Dlg::IDC_NARROW);  // ">" from 2 goes to 0
  EXPECT_EQ(dlg()->splitLevel(), 0);
  EXPECT_FALSE(dlg()->videoLayout()->isVisible());
  Click(Dlg::IDC_WIDEN);  // "<" from 0 goes to 2
  EXPECT_EQ(dlg()->splitLevel(), 2);
  Click(Dlg::IDC_WIDEN);
  EXPECT_EQ(dlg()->splitLevel(), 3);
  EXPECT_EQ(dlg()->videoLayout()->width(), dlg()->waveDlg()->width());

  const int h1 = dlg()->waveDlg()->height();
  controls::SendMessageTo(dlg(), media::WM_LOWER_PANEL_LEVEL, 0, 0);  // next level
  EXPECT_EQ(dlg()->lowerPanelLevel(), 2);
  EXPECT_GT(dlg()->waveDlg()->height(), h1);
  controls::SendMessageTo(dlg(), media::WM_LOWER_PANEL_LEVEL, 3, 0);
  controls::SendMessageTo(dlg(), media::WM_LOWER_PANEL_LEVEL, 0, 0);
  EXPECT_EQ(dlg()->lowerPanelLevel(), 1);

  Click(Dlg::IDC_NARROW);
  EXPECT_EQ(dlg()->splitLevel(), 2);
  Click(Dlg::IDC_MAP);
  EXPECT_FALSE(dlg()->list()->isVisible());
  EXPECT_TRUE(dlg()->mapPanel()->isVisible());
  EXPECT_TRUE(button(Dlg::IDC_SWAP)->isVisible());
  Click(Dlg::IDC_SWAP);
  EXPECT_TRUE(dlg()->panelsSwapped());
  EXPECT_TRUE(button(Dlg::IDC_MAP)->isHidden());
  EXPECT_TRUE(button(Dlg::IDC_VIDEO)->isVisible());
  EXPECT_GT(dlg()->videoLayout()->x(), dlg()->mapPanel()->x());
  Click(Dlg::IDC_SWAP);
  // OpenFile with the list hidden only brings the list back.
  Click(Dlg::IDC_OPENFILE);
  EXPECT_TRUE(dlg()->list()->isVisible());
  EXPECT_FALSE(dlg()->mapPanel()->isVisible());
}

TEST_F(UiWindowTest, LanguageChangeRetextsTheWindow) {
  QMenu* menu = dlg()->languageMenu();
  QAction* chinese = nullptr;
  for (QAction* a : menu->actions())
    if (a->text() == QString::fromUtf8("中文")) chinese = a;
  ASSERT_NE(chinese, nullptr);
  chinese->trigger();
  EXPECT_TRUE(chinese->isChecked());
  EXPECT_EQ(button(Dlg::IDC_LANGUAGE)->text(), "Language");
  EXPECT_EQ(button(Dlg::IDC_PLAY)->toolTip(), QString::fromUtf8("播放"));
  EXPECT_EQ(dlg()->list()->headerItem()->text(0), QString::fromUtf8("日期"));
  EXPECT_EQ(dlg()->windowTitle(), QString::fromUtf8("视频分析系统"));
  EXPECT_EQ(GetSettingString(kSectionSetting, kKeyLanguage, ""), "中文");
  auto* calendar = qobject_cast<QAbstractButton*>(controls::FindControl(dlg()->waveDlg(), 1102));
  ASSERT_NE(calendar, nullptr);
  EXPECT_EQ(calendar->text(), QString::fromUtf8("日历"));
}

TEST_F(UiWindowTest, OpeningAFolderScansItAndKeepsIt) {
  CloseWindow();
  OpenWindow(false);
  ASSERT_EQ(dlg()->list()->RowCount(), 0);
  // One day of the demo tree.
  const std::string day = DemoFolder() + "/20240302";
  EXPECT_EQ(dlg()->OpenFolder(day), FolderScanStatus::Ok);
  EXPECT_FALSE(dlg()->scanning());
  ASSERT_EQ(dlg()->list()->RowCount(), 2);
  EXPECT_EQ(dlg()->list()->Row(0)->text(kColumnPath).toStdString(), DemoPath(5));
  EXPECT_EQ(GetSettingString(kSectionBrightmere, kKeyFolderName, ""), day);
  EXPECT_EQ(dlg()->records().summary.typesSeen, 0x00010001u | 0x01000000u);
}

TEST_F(UiWindowTest, PlayWithAnEmptyListDoesNothing) {
  CloseWindow();
  OpenWindow(false);
  ASSERT_EQ(dlg()->list()->RowCount(), 0);
  Click(Dlg::IDC_PLAY);
  Pump(200);
  EXPECT_FALSE(dlg()->readers()->KrvRunning());
  EXPECT_FALSE(dlg()->readers()->AviRunning());
}

TEST_F(UiWindowTest, SliderNoticeBecomesASeekRequest) {
  CWaveDlg* wave = dlg()->waveDlg();
  wave->SetDuration(100);
  controls::CBitmapSlider* slider = wave->slider();
  QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->XForPos(37), slider->height() / 2));
  ASSERT_TRUE(WaitUntil([&] { return dlg()->playState().seekPending.load() == 1; }, 1000));
  EXPECT_EQ(dlg()->playState().seekTarget.load(), 37);
  EXPECT_TRUE(wave->SliderDragging());
  // While dragged, play times do not move the thumb; the text follows.
  wave->SetPosition(50, 100);
  EXPECT_EQ(slider->Pos(), 37);
  EXPECT_EQ(wave->timeText()->text(), "00:00:50/00:01:40");
  ASSERT_TRUE(WaitUntil([&] { return !wave->SliderDragging(); }, 2000));
  wave->SetPosition(150, 100);  // limited to the upper bound
  EXPECT_EQ(slider->Pos(), 100);
  wave->ResetPosition();
  EXPECT_TRUE(wave->WaitingForDuration());
  EXPECT_TRUE(wave->timeText()->text().isEmpty());
  wave->SetPosition(10, 100);
  EXPECT_EQ(slider->Pos(), 0);
}

}  // namespace
}  // namespace corvane::uitest
