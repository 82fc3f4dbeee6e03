// The window's vehicle views while a demo recording plays: the map's marker
// moves and its track grows, a seek clears and redraws it, the chart's labels
// are the last sample's, its units survive a restart, a double-click on the
// chart changes the lower panel, "^" enlarges the map, and closing before
// the page is ready is clean.
#include <QJsonArray>
#include <QJsonObject>
#include <QPushButton>
#include <QWebEngineView>
#include <filesystem>
#include <memory>

#include "controls/message_event.h"
#include "map_test_util.h"
#include "media/ac_messages.h"
#include "synth/synth.h"
#include "ui/g_event_marks.h"
#include "ui/map_dlg.h"
#include "ui/scope_ctrl.h"
#include "ui/video_layout.h"
#include "ui/wave_dlg.h"
#include "ui_test_util.h"
#include "vehicle/record_consumers.h"
#include "vehicle/scope_math.h"

namespace corvane::uitest {
namespace {

using Dlg = CCorvaneDlg;

class UiVehicleViewsTest : public WindowFixture {
 protected:
  UiVehicleViewsTest() { noWindow_ = true; }
  void SetUp() override {
    WindowFixture::SetUp();
    if (IsSkipped()) return;
    tiles_ = std::make_unique<TileServer>();
    guard_ = std::make_unique<OnlyLocalRequests>(tiles_->port());
    UseLocalTiles(*tiles_);
    OpenWindow();
  }
  void TearDown() override {
    CloseWindow();
    if (guard_) {
      EXPECT_TRUE(guard_->Foreign().isEmpty()) << guard_->Foreign().join(' ').toStdString();
    }
    guard_.reset();
    tiles_.reset();
    WindowFixture::TearDown();
  }
  // Points of the one vehicle's track (0 when there is none).
  int TrackPoints() {
    const QJsonObject tracks = PageState(dlg()->mapDlg()->view())["tracks"].toObject();
    int n = 0;
    for (const QString& id : tracks.keys()) n += tracks[id].toObject()["points"].toArray().size();
    return n;
  }
  QJsonObject Marker() {
    const QJsonObject markers = PageState(dlg()->mapDlg()->view())["markers"].toObject();
    return markers.isEmpty() ? QJsonObject() : markers[markers.keys().front()].toObject();
  }

  std::unique_ptr<TileServer> tiles_;
  std::unique_ptr<OnlyLocalRequests> guard_;
};

TEST_F(UiVehicleViewsTest, TheMarkerMovesTheTrackGrowsAndASeekRedrawsIt) {
  DoubleClickRow(0);
  Click(Dlg::IDC_MAP);
  CMapDlg* map = dlg()->mapDlg();
  ASSERT_TRUE(WaitUntil([&] { return map->PageReady(); }, 30000));
  ASSERT_TRUE(WaitUntil([&] { return TrackPoints() >= 3; }, 20000)) << "the track did not grow";
  const QJsonObject first = Marker();
  const int points = TrackPoints();
  EXPECT_TRUE(WaitUntil([&] {
    const QJsonObject m = Marker();
    return TrackPoints() > points &&
           (m["lat"].toDouble() != first["lat"].toDouble() || m["lon"].toDouble() != first["lon"].toDouble());
  }, 10000)) << "the marker moved with the track";
  const int clears = PageState(map->view())["clears"].toInt();
  const int64_t seeks = dlg()->player().Map().Counts().seek;
  controls::PostMessageTo(dlg(), media::WM_SEEK, 0, 1);
  ASSERT_TRUE(WaitUntil([&] { return dlg()->player().Map().Counts().seek > seeks; }, 10000));
  ASSERT_TRUE(WaitUntil([&] { return PageState(map->view())["clears"].toInt() > clears; }, 10000))
      << "the seek cleared the track";
  ASSERT_TRUE(WaitUntil([&] { return TrackPoints() >= 2; }, 20000)) << "and it is drawn again";
}

TEST_F(UiVehicleViewsTest, TheChartShowsTheLastSampleAndItsUnitsSurviveARestart) {
  DoubleClickRow(0);
  vehicle::ChartRecordConsumer& chart = dlg()->player().Chart();
  ASSERT_TRUE(WaitUntil([&] { return chart.Counts().drawn >= 20; }, 20000));
  Click(Dlg::IDC_PAUSE);
  int64_t records = -1;
  ASSERT_TRUE(WaitUntil([&] {
    const int64_t now = chart.Counts().records;
    const bool still = now == records;
    records = now;
    Pump(300);
    return still;
  }, 10000));
  Pump(200);  // the last samples reach the chart
  COScopeCtrl* scope = dlg()->waveDlg()->scope();
  vehicle::SeenRecord last;
  ASSERT_TRUE(chart.Last(&last));
  const COScopeCtrl::Labels labels = scope->LabelTexts();
  EXPECT_EQ(labels.x, vehicle::ScopeAxisLabel('X', last.values[0]));
  EXPECT_EQ(labels.y, vehicle::ScopeAxisLabel('Y', last.values[1]));
  EXPECT_EQ(labels.z, vehicle::ScopeAxisLabel('Z', last.values[2]));
  EXPECT_EQ(labels.temperature, vehicle::ScopeTemperatureText(last.values[3], 0));
  EXPECT_EQ(labels.speed, vehicle::ScopeSpeedText(last.values[4], 0));
  EXPECT_EQ(labels.maximum, "2.0G");
  EXPECT_EQ(labels.minimum, "-2.0G");
  EXPECT_EQ(scope->Geometry().left, 30);
  EXPECT_GT(scope->Ring().Count(), 0);

  // Click the speed and the temperature units.
  const vehicle::ScopeGeometry& g = scope->Geometry();
  QTest::mouseClick(scope, Qt::LeftButton, {}, QPoint(g.left + 260, g.bottom + 10));
  QTest::mouseClick(scope, Qt::LeftButton, {}, QPoint(g.left + 340, g.bottom + 10));
  EXPECT_EQ(scope->LabelTexts().speedUnit, "mph");
  EXPECT_EQ(scope->LabelTexts().temperatureUnit, "F");
  // A double-click in the plot asks the window for the next panel level.
  const int level = dlg()->lowerPanelLevel();
  QTest::mouseDClick(scope, Qt::LeftButton, {}, QPoint(g.left + 50, g.top + 20));
  EXPECT_NE(dlg()->lowerPanelLevel(), level);

  CloseWindow();
  OpenWindow();
  EXPECT_EQ(dlg()->waveDlg()->scope()->SpeedUnit(), 1);
  EXPECT_EQ(dlg()->waveDlg()->scope()->TemperatureUnit(), 1);
}

TEST_F(UiVehicleViewsTest, TheEnlargeButtonGivesTheMapTheWholeWidth) {
  Click(Dlg::IDC_MAP);
  CMapDlg* map = dlg()->mapDlg();
  const int narrow = map->width();
  QTest::mouseClick(map->enlargeButton(), Qt::LeftButton);
  EXPECT_TRUE(dlg()->mapEnlarged());
  EXPECT_GT(map->width(), narrow);
  EXPECT_FALSE(dlg()->videoLayout()->isVisible());
  QTest::mouseClick(map->enlargeButton(), Qt::LeftButton);
  EXPECT_FALSE(dlg()->mapEnlarged());
  EXPECT_EQ(map->width(), narrow);
  EXPECT_TRUE(dlg()->videoLayout()->isVisible());
}

TEST_F(UiVehicleViewsTest, ClosingBeforeThePageIsReadyIsClean) {
  DoubleClickRow(0);
  Click(Dlg::IDC_MAP);  // the page starts loading; the map thread waits for it
  CloseWindow();
  SUCCEED();
}

// One recording of 12 s with a G event of 1.2 G at 5 s.
const std::string& GEventFolder() {
  static const std::string folder = TestTreeOnce("ui-gevent-v1", [](const std::string& dir) {
    krvsynth::SynthOptions o;
    o.seconds = 12;
    o.startTime = krvsynth::ParseStartTime("20240305090000");
    o.width = 176;
    o.height = 144;
    o.channels = 1;
    o.gEvents = {{5.0, 1.2}};
    const std::string path = dir + "/20240305/20240305090000_1000.krv";
    std::filesystem::create_directories(dir + "/20240305");
    std::string error;
    if (krvsynth::WriteKrv(o, path, &error)) return true;
    ADD_FAILURE() << error;
    return false;
  });
  return folder;
}

class UiGEventTest : public WindowFixture {
 protected:
  UiGEventTest() { noWindow_ = true; }
};

TEST_F(UiGEventTest, AnEventIsMarkedOnTheSliderAndAClickOnTheMarkSeeksThere) {
  const std::string folder = GEventFolder();
  OpenWindow(false);
  ASSERT_EQ(dlg()->OpenFolder(folder), FolderScanStatus::Ok);
  ASSERT_EQ(dlg()->list()->RowCount(), 1);
  DoubleClickRow(0);
  CGEventMarks* marks = dlg()->gEventMarks();
  ASSERT_TRUE(WaitUntil([&] { return !marks->Scanning(); }, 20000));
  ASSERT_EQ(marks->Events().size(), 1u);
  EXPECT_EQ(marks->Events()[0].timeMs, 5000);
  EXPECT_NEAR(marks->Events()[0].peak, 1.2, 1e-9);
  controls::CBitmapSlider* slider = dlg()->waveDlg()->slider();
  ASSERT_TRUE(WaitUntil([&] { return slider->Maximum() >= 11; }, 20000));
  Click(Dlg::IDC_PAUSE);
  ASSERT_LT(slider->Pos(), 5);
  const int x = marks->MarkX(marks->Events()[0]);
  QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(x + 2, slider->height() / 2));
  Click(Dlg::IDC_PLAY);
  EXPECT_TRUE(WaitUntil([&] { return slider->Pos() >= 5 && slider->Pos() <= 8; }, 10000)) << slider->Pos();
}

}  // namespace
}  // namespace corvane::uitest
