// The map view on its real page in the web engine under X, with tiles from a
// local server (any other URL fails the test): the saved view and its
// defaults, tracks and markers drawn through the bridge from GPS records,
// colours, the zoom rule, headings, a label shown as text, clearing, the map
// type switch, the saved state, the offset message, Ctrl+D and "^".
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QWebEngineView>
#include <cmath>
#include <memory>

#include "controls/message_event.h"
#include "core/ini.h"
#include "core/settings.h"
#include "krv_test_util.h"
#include "map_test_util.h"
#include "media/ac_media_list.h"
#include "ui/map_dlg.h"
#include "ui_test_util.h"
#include "vehicle/record_consumers.h"
#include "vehicle/record_delivery.h"

namespace corvane::uitest {
namespace {

krvtest::Bytes Gps(double lat, double lon, double course, const std::string& car) {
  krvtest::Builder b;
  b.Str("GPS").EcmaBegin(0).NumEntry("mode", 3).NumEntry("lat", lat).NumEntry("lon", lon);
  b.NumEntry("sat_used", 7).NumEntry("sat_visible", 9).NumEntry("speed", 36.5).NumEntry("course", course);
  b.Key("carInfo").Str(car).End();
  return b.bytes();
}

class UiMapTest : public WindowFixture {
 protected:
  UiMapTest() { noWindow_ = true; }
  void SetUp() override {
    WindowFixture::SetUp();
    if (IsSkipped()) return;
    tiles_ = std::make_unique<TileServer>();
    ASSERT_NE(tiles_->port(), 0);
    guard_ = std::make_unique<OnlyLocalRequests>(tiles_->port());
    UseLocalTiles(*tiles_);
  }
  void TearDown() override {
    CloseMap();
    if (guard_) {
      EXPECT_TRUE(guard_->Foreign().isEmpty()) << guard_->Foreign().join(' ').toStdString();
    }
    guard_.reset();
    tiles_.reset();
    WindowFixture::TearDown();
  }

  // A map view on its own consumer and queue, shown, its page ready.
  void OpenMap(bool waitReady = true) {
    consumer_ = std::make_unique<vehicle::MapRecordConsumer>(&queue_);
    ASSERT_TRUE(consumer_->Start());
    map_ = std::make_unique<CMapDlg>(nullptr);
    map_->resize(800, 600);
    map_->SetEnlargeHandler([this](bool on) { enlargedCalls_.push_back(on); });
    map_->Attach(consumer_.get(), &queue_, [this](bool on) { accepting_ = on; });
    map_->show();
    if (waitReady) {
      ASSERT_TRUE(WaitUntil([&] { return map_->PageReady(); }, 30000)) << "no GoogleMapOK";
    }
  }
  void CloseMap() {
    if (map_) map_->Detach();
    if (consumer_) consumer_->Stop();
    map_.reset();
    consumer_.reset();
  }
  void Put(const krvtest::Bytes& b) {
    ASSERT_TRUE(WaitUntil([&] { return vehicle::PutRecord(&queue_, 0, b.data(), int(b.size())) == 1; }, 5000));
  }
  QJsonObject State() { return PageState(map_->view()); }
  std::string StateFile() const { return map_->StateFilePath().toStdString(); }

  std::unique_ptr<TileServer> tiles_;
  std::unique_ptr<OnlyLocalRequests> guard_;
  media::ACAMFDataList queue_;
  std::unique_ptr<vehicle::MapRecordConsumer> consumer_;
  std::unique_ptr<CMapDlg> map_;
  std::vector<bool> enlargedCalls_;
  bool accepting_ = false;
};

TEST_F(UiMapTest, TheSavedViewIsRestoredAndAnUnsoundOneGivesTheDefault) {
  const std::string path = GetAppPaths().dataDir + kMapStateFile;
  struct Case {
    const char* cookie;
    double lon, lat;
    int zoom;
  } cases[] = {
      {"rmmapLongCenter=113.3/23.1/12;expires=Thu, 01 Jan 2037 00:00:00 GMT", 113.3, 23.1, 12},
      {"", 179.296875, -0.703107, 1},
      {"rmmapLongCenter=abc/23/4", 179.296875, -0.703107, 1},
      {"rmmapLongCenter=113/95/4", 179.296875, -0.703107, 1},
      {"rmmapLongCenter=113/23/99", 179.296875, -0.703107, 1},
      {"rmmapLongCenter=113/23", 179.296875, -0.703107, 1},
      {"garbage');alert(1);//", 179.296875, -0.703107, 1},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(IniWriteString(path, "GPS", "cookie", c.cookie));
    OpenMap();
    const QJsonObject s = State();
    EXPECT_NEAR(s["lon"].toDouble(), c.lon, 1e-6) << c.cookie;
    EXPECT_NEAR(s["lat"].toDouble(), c.lat, 1e-6) << c.cookie;
    EXPECT_EQ(s["zoom"].toInt(), c.zoom) << c.cookie;
    if (c.zoom == 12) {
      // Restored at 12: the first point drawn keeps the zoom.
      map_->CallPage("DrawTrackLine", {QStringLiteral("K"), 23.2, 113.4});
      EXPECT_EQ(State()["zoom"].toInt(), 12);
    }
    CloseMap();
  }
  EXPECT_GT(tiles_->Requests(), 0) << "the tiles came from the local server";
}

TEST_F(UiMapTest, GpsRecordsDrawTracksAndHeadingMarkersThroughTheBridge) {
  OpenMap();
  EXPECT_TRUE(accepting_) << "records are taken once the view was shown";
  EXPECT_EQ(consumer_->OffsetApplies(), 0) << "OpenStreetMap road tiles take raw positions";
  const std::string label = "<b>\"'</script>";
  Put(Gps(23.10, 113.30, 22.9, "A"));
  Put(Gps(23.11, 113.31, 23, "B"));
  Put(Gps(23.12, 113.32, 337.5, "C"));
  Put(Gps(23.13, 113.33, 338, label));
  Put(Gps(23.14, 113.34, 90, "A"));
  ASSERT_TRUE(WaitUntil([&] { return consumer_->Counts().drawn == 5; }, 10000));
  ASSERT_TRUE(WaitUntil([&] { return State()["markers"].toObject().size() == 4; }, 10000));
  Pump(200);
  QJsonObject s = State();
  const QJsonObject tracks = s["tracks"].toObject();
  const QJsonObject markers = s["markers"].toObject();
  EXPECT_EQ(tracks["A"].toObject()["colour"].toString(), "#0000ff");
  EXPECT_EQ(tracks["B"].toObject()["colour"].toString(), "#000000");
  EXPECT_EQ(tracks["C"].toObject()["colour"].toString(), "#666600");
  EXPECT_EQ(tracks[QString::fromStdString(label)].toObject()["colour"].toString(), "#ff0000");
  EXPECT_EQ(tracks["A"].toObject()["points"].toArray().size(), 2);
  EXPECT_EQ(markers["A"].toObject()["heading"].toString(), "east");
  EXPECT_EQ(markers["B"].toObject()["heading"].toString(), "northeast");
  EXPECT_EQ(markers["C"].toObject()["heading"].toString(), "northwest");
  const QJsonObject odd = markers[QString::fromStdString(label)].toObject();
  EXPECT_EQ(odd["heading"].toString(), "north");
  EXPECT_EQ(odd["text"].toString().toStdString(), label) << "shown as text";
  EXPECT_EQ(odd["childElements"].toInt(), 0) << "never read as markup";
  EXPECT_EQ(s["zoom"].toInt(), 16) << "restored far out: zoomed in on the first point";
  EXPECT_NEAR(s["lat"].toDouble(), 23.14, 1e-4) << "panned to the last fix (to the pixel)";
  EXPECT_NEAR(s["lon"].toDouble(), 113.34, 1e-4);
  EXPECT_NEAR(markers["A"].toObject()["lat"].toDouble(), 23.14, 1e-9);
  EXPECT_EQ(map_->field(CMapDlg::IDC_SATUSED)->text(), "7");
  EXPECT_EQ(map_->field(CMapDlg::IDC_SPEEDTEXT)->text(), "36.500000");

  // The view is kept on every move.
  const std::string saved = IniReadString(StateFile(), "GPS", "cookie", "");
  EXPECT_EQ(saved.rfind("rmmapLongCenter=113.34", 0), 0u) << saved;
  EXPECT_NE(saved.find("/16;expires="), std::string::npos) << saved;

  // "Clear line": the tracks go, the markers stay.
  QTest::mouseClick(map_->clearButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return State()["tracks"].toObject().isEmpty(); }, 5000));
  EXPECT_EQ(State()["markers"].toObject().size(), 4);

  // A "Seek" clears what was drawn since.
  Put(Gps(23.15, 113.35, 0, "A"));
  ASSERT_TRUE(WaitUntil([&] { return State()["tracks"].toObject().size() == 1; }, 5000));
  vehicle::RecordDelivery::QueueReset(&queue_, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return State()["tracks"].toObject().isEmpty(); }, 5000));

  // Another map type: the page asks isOffset (0 off the road map) and the
  // tracks are cleared.
  Put(Gps(23.16, 113.36, 0, "A"));
  ASSERT_TRUE(WaitUntil([&] { return State()["tracks"].toObject().size() == 1; }, 5000));
  consumer_->SetOffsetApplies(1);
  RunJs(map_->view(), "corvaneSetMapType('satellite')");
  ASSERT_TRUE(WaitUntil([&] { return State()["tracks"].toObject().isEmpty(); }, 5000));
  EXPECT_EQ(consumer_->OffsetApplies(), 0);
  EXPECT_EQ(State()["type"].toString(), "satellite");
}

TEST_F(UiMapTest, RoadTilesInTheShiftedDatumTakeCorrectedPositions) {
  UseLocalTiles(*tiles_, 1);
  OpenMap();
  EXPECT_EQ(consumer_->OffsetApplies(), 1);
  Put(Gps(23.497, 113.505, 0, "G"));
  ASSERT_TRUE(WaitUntil([&] { return State()["markers"].toObject().size() == 1; }, 10000));
  const QJsonObject m = State()["markers"].toObject()["G"].toObject();
  EXPECT_NEAR(m["lat"].toDouble(), 23.497 - 0.002578, 1e-9);
  EXPECT_NEAR(m["lon"].toDouble(), 113.505 + 0.005348, 1e-9);
  // The settings dialog's switch (0x47F) turns the correction off.
  controls::PostMessageTo(map_.get(), CMapDlg::kMsgMapOffset, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return consumer_->MapOffsetEnabled() == 0; }, 2000));
  Put(Gps(23.498, 113.506, 0, "G"));
  ASSERT_TRUE(WaitUntil([&] {
    return std::fabs(State()["markers"].toObject()["G"].toObject()["lat"].toDouble() - 23.498) < 1e-9;
  }, 10000));
  controls::PostMessageTo(map_.get(), CMapDlg::kMsgMapOffset, 1, 0);
  ASSERT_TRUE(WaitUntil([&] { return consumer_->MapOffsetEnabled() == 1; }, 2000));
}

TEST_F(UiMapTest, CtrlDShowsTheFieldsAndTheEnlargeButtonToggles) {
  OpenMap();
  for (int id : {CMapDlg::IDC_SATUSED, CMapDlg::IDC_SATVISIBLE, CMapDlg::IDC_SPEEDTEXT, CMapDlg::IDC_COURSE})
    EXPECT_FALSE(map_->field(id)->isVisible()) << id;
  map_->activateWindow();
  map_->setFocus();
  QTest::keyClick(map_.get(), Qt::Key_D, Qt::ControlModifier);
  for (int id : {CMapDlg::IDC_SATUSED, CMapDlg::IDC_SATVISIBLE, CMapDlg::IDC_SPEEDTEXT, CMapDlg::IDC_COURSE})
    EXPECT_TRUE(map_->field(id)->isVisible()) << id;
  QTest::mouseClick(map_->enlargeButton(), Qt::LeftButton);
  QTest::mouseClick(map_->enlargeButton(), Qt::LeftButton);
  EXPECT_EQ(enlargedCalls_, (std::vector<bool>{true, false}));
  EXPECT_FALSE(map_->Enlarged());
}

TEST_F(UiMapTest, ClosingBeforeThePageIsReadyIsClean) {
  OpenMap(false);
  Put(Gps(23.1, 113.3, 0, "A"));
  CloseMap();  // the consumer still waits for the page: the stop ends it
  SUCCEED();
}

}  // namespace
}  // namespace corvane::uitest
