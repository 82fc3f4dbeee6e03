// The map view (dialog template 129): a web map page with one track line and
// one heading marker per vehicle, panned to each fix, and four text fields
// (satellites used and visible, speed, course) shown by Ctrl+D.
//
// The player's map consumer walks the GPS records on its own thread and
// tells this view what to draw (vehicle::MapSink); each call becomes a
// runJavaScript on the window's thread with its arguments JSON-encoded. The
// page talks back through a web channel object ("host") with the four
// methods mapstateinit, mapstatesave, isOffset and GoogleMapOK. The web view
// is made when the view is first shown, so a window that never shows its map
// starts no browser.
#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <QWidget>
#include <functional>
#include <mutex>

#include "vehicle/record_consumers.h"

class QWebEngineView;
class QWebChannel;

namespace media {
class ACAMFDataList;
}

namespace corvane {

// Section "Map" of setting.ini: the tile sources ({z}, {x}, {y} templates)
// with their attributions, and whether the road tiles use the shifted datum
// of the offset table (then the road map takes corrected positions).
inline constexpr char kSectionMap[] = "Map";
inline constexpr char kKeyRoadTiles[] = "RoadTiles";
inline constexpr char kKeyRoadAttribution[] = "RoadAttribution";
inline constexpr char kKeySatelliteTiles[] = "SatelliteTiles";
inline constexpr char kKeySatelliteAttribution[] = "SatelliteAttribution";
inline constexpr char kKeyHybridTiles[] = "HybridTiles";
inline constexpr char kKeyHybridAttribution[] = "HybridAttribution";
inline constexpr char kKeyRoadTilesGcj[] = "RoadTilesGcj";
inline constexpr char kDefaultRoadTiles[] = "https://tile.openstreetmap.org/{z}/{x}/{y}.png";
inline constexpr char kDefaultRoadAttribution[] = "&copy; OpenStreetMap contributors";
inline constexpr char kDefaultSatelliteTiles[] =
    "https://server.arcgisonline.com/ArcGIS/rest/services/World_Imagery/MapServer/tile/{z}/{y}/{x}";
inline constexpr char kDefaultSatelliteAttribution[] = "Imagery &copy; Esri";
inline constexpr char kDefaultHybridTiles[] =
    "https://server.arcgisonline.com/ArcGIS/rest/services/Reference/World_Boundaries_and_Places/MapServer/tile/"
    "{z}/{y}/{x}";
inline constexpr char kDefaultHybridAttribution[] = "Labels &copy; Esri";

// The map state file in the data folder: section "GPS", key "cookie".
inline constexpr char kMapStateFile[] = "temp.ini";

class CMapDlg;

// The page's view of the window (the web channel object "host").
class MapHost : public QObject {
  Q_OBJECT
  Q_PROPERTY(QVariantMap tiles READ tiles CONSTANT)
 public:
  explicit MapHost(CMapDlg* dlg);
  QVariantMap tiles() const;
  Q_INVOKABLE QString mapstateinit();
  Q_INVOKABLE void mapstatesave(const QVariant& state);
  Q_INVOKABLE void isOffset(int on);
  Q_INVOKABLE void GoogleMapOK();

 private:
  CMapDlg* dlg_;
};

class CMapDlg : public QWidget, public vehicle::MapSink {
  Q_OBJECT
 public:
  static constexpr int kTemplateId = 129;
  enum : int {
    IDC_SATUSED = 1056,
    IDC_SATVISIBLE = 1057,
    IDC_SPEEDTEXT = 1058,
    IDC_CLEARLINE = 1059,
    IDC_ENLARGE = 1060,
    IDC_COURSE = 1113,
  };
  static constexpr int kMsgMapOffset = 0x47F;

  explicit CMapDlg(QWidget* parent);
  ~CMapDlg() override;

  // Plugs the view into the player's map consumer and queue: the consumer
  // waits for the page and draws through this view; `acceptRecords(true)` is
  // called at the first show (the readers queue GPS records from then on).
  void Attach(vehicle::MapRecordConsumer* consumer, media::ACAMFDataList* queue,
              std::function<void(bool)> acceptRecords);
  // No more drawing calls and no more use of the consumer and the queue
  // (before either or this view goes away).
  void Detach();

  // Called when "^" toggles the enlarged layout.
  void SetEnlargeHandler(std::function<void(bool)> handler) { onEnlarge_ = std::move(handler); }
  bool Enlarged() const { return enlarged_; }
  void SetEnlarged(bool on);

  QWebEngineView* view() const { return view_; }
  bool PageReady() const { return pageReady_; }
  bool ShownOnce() const { return shownOnce_; }
  QString StateFilePath() const;
  QLineEdit* field(int id) const;
  QPushButton* clearButton() const { return clearLine_; }
  QPushButton* enlargeButton() const { return enlarge_; }
  // Shows the four text fields (Ctrl+D).
  void ShowFields();
  // Runs a script function of the page with JSON-encoded arguments (the
  // window's thread). Calls made before the page is ready are dropped.
  void CallPage(const QString& function, const QVariantList& args);

  // vehicle::MapSink, on the map consumer's thread.
  void ClearAllTrackLine(const char* carInfo) override;
  void DrawTrackLine(const char* carInfo, double lat, double lon) override;
  void MoveCar(const char* carInfo, double lat, double lon, int direction) override;
  void Flyto(double lat, double lon) override;
  void ShowFields(int satUsed, int satVisible, double speed, double course) override;

 signals:
  // The page called GoogleMapOK.
  void PageLoaded();

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  friend class MapHost;
  void ShownOrHidden(bool shown);
  void CreateView();
  void PlaceControls();
  // Queues fn to the window's thread unless detached (any thread).
  void Post(std::function<void()> fn);
  void OnPageReady();

  QWebEngineView* view_ = nullptr;
  QWebChannel* channel_ = nullptr;
  MapHost* host_ = nullptr;
  QLineEdit* fields_[4] = {};  // 1056, 1057, 1058, 1113
  QPushButton* clearLine_ = nullptr;
  QPushButton* enlarge_ = nullptr;
  std::function<void(bool)> onEnlarge_;
  std::function<void(bool)> acceptRecords_;

  // Window's thread.
  bool initialised_ = false;
  bool pageLoadStarted_ = false;
  bool shownOnce_ = false;
  bool pageReady_ = false;
  bool enlarged_ = false;
  vehicle::MapRecordConsumer* consumer_ = nullptr;
  media::ACAMFDataList* queue_ = nullptr;

  std::mutex postMutex_;  // guards attached_ against Detach while posting
  bool attached_ = false;
};

}  // namespace corvane
