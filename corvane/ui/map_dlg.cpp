#include "ui/map_dlg.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QKeySequence>
#include <QShortcut>
#include <QUrl>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "controls/control_id.h"
#include "controls/message_event.h"
#include "core/ini.h"
#include "core/settings.h"
#include "core/text_codec.h"
#include "media/ac_log.h"
#include "media/ac_media_list.h"
#include "ui/dialog_texts.h"

// The map page's resources live in this static library; they are
// registered before the first view loads them.
static void InitMapResources() { Q_INIT_RESOURCE(map); }

namespace corvane {

namespace {

QString CarText(const char* carInfo) { return QString::fromStdString(DecodeForDisplay(carInfo ? carInfo : "")); }

QString SettingText(const char* key, const char* def) {
  return QString::fromStdString(GetSettingString(kSectionMap, key, def));
}

constexpr int kFieldIds[4] = {CMapDlg::IDC_SATUSED, CMapDlg::IDC_SATVISIBLE, CMapDlg::IDC_SPEEDTEXT,
                              CMapDlg::IDC_COURSE};

// The page's script errors go to the log (one line each, quiet unless
// CORVANE_LOG=debug for anything but errors).
class MapPage : public QWebEnginePage {
 public:
  using QWebEnginePage::QWebEnginePage;

 protected:
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int line,
                                const QString& source) override {
    media::LogLine(level == ErrorMessageLevel ? media::LogLevel::kError : media::LogLevel::kDebug, "map",
                   "page %s:%d: %s", source.toUtf8().constData(), line, message.toUtf8().constData());
  }
};

}  // namespace

// ---- the page's host object (window's thread) ------------------------------

MapHost::MapHost(CMapDlg* dlg) : QObject(dlg), dlg_(dlg) {}

QVariantMap MapHost::tiles() const {
  QVariantMap m;
  m[QStringLiteral("road")] = SettingText(kKeyRoadTiles, kDefaultRoadTiles);
  m[QStringLiteral("roadAttribution")] = SettingText(kKeyRoadAttribution, kDefaultRoadAttribution);
  m[QStringLiteral("satellite")] = SettingText(kKeySatelliteTiles, kDefaultSatelliteTiles);
  m[QStringLiteral("satelliteAttribution")] = SettingText(kKeySatelliteAttribution, kDefaultSatelliteAttribution);
  m[QStringLiteral("hybrid")] = SettingText(kKeyHybridTiles, kDefaultHybridTiles);
  m[QStringLiteral("hybridAttribution")] = SettingText(kKeyHybridAttribution, kDefaultHybridAttribution);
  m[QStringLiteral("roadGcj")] = GetSettingInt(kSectionMap, kKeyRoadTilesGcj, 0);
  return m;
}

QString MapHost::mapstateinit() {
  return QString::fromStdString(IniReadString(dlg_->StateFilePath().toStdString(), "GPS", "cookie", "", 1024));
}

void MapHost::mapstatesave(const QVariant& state) {
  IniWriteString(dlg_->StateFilePath().toStdString(), "GPS", "cookie", state.toString().toStdString());
}

void MapHost::isOffset(int on) {
  if (dlg_->consumer_) {
    dlg_->consumer_->SetOffsetApplies(static_cast<int16_t>(on));
    dlg_->consumer_->ClearTracks();
  }
}

void MapHost::GoogleMapOK() { dlg_->OnPageReady(); }

// ---- the view -----------------------------------------------------------------

CMapDlg::CMapDlg(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("CMapDlg"));
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, QColor(0xE8, 0xEE, 0xE0));
  setPalette(p);
  for (int i = 0; i < 4; ++i) {
    fields_[i] = new QLineEdit(this);
    fields_[i]->setReadOnly(true);
    controls::SetControlId(fields_[i], kFieldIds[i]);
    fields_[i]->hide();
  }
  clearLine_ = new QPushButton(QStringLiteral("Clear line"), this);
  controls::SetControlId(clearLine_, IDC_CLEARLINE);
  connect(clearLine_, &QPushButton::clicked, this, [this] {
    if (consumer_) consumer_->ClearTracks();
  });
  enlarge_ = new QPushButton(QStringLiteral("^"), this);
  controls::SetControlId(enlarge_, IDC_ENLARGE);
  enlarge_->setFixedSize(24, 24);
  connect(enlarge_, &QPushButton::clicked, this, [this] {
    SetEnlarged(!enlarged_);
    if (onEnlarge_) onEnlarge_(enlarged_);
  });
  SetEnlarged(false);
  auto* showFields = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_D), this);
  showFields->setContext(Qt::WidgetWithChildrenShortcut);
  connect(showFields, &QShortcut::activated, this, [this] { ShowFields(); });
  ApplyDialogTexts(this, kTemplateId);
  initialised_ = true;
  PlaceControls();
}

CMapDlg::~CMapDlg() {
  Detach();
  // The page is told nothing more; the view goes with its children.
}

void CMapDlg::Attach(vehicle::MapRecordConsumer* consumer, media::ACAMFDataList* queue,
                     std::function<void(bool)> acceptRecords) {
  consumer_ = consumer;
  queue_ = queue;
  acceptRecords_ = std::move(acceptRecords);
  if (acceptRecords_ && !shownOnce_) acceptRecords_(false);
  if (!consumer_) return;
  consumer_->SetMapOffsetEnabled(GetSettingInt(kSectionBrightmere, kKeyMapOffset, 1));
  if (!pageReady_) consumer_->RequirePage();
  {
    std::lock_guard<std::mutex> lock(postMutex_);
    attached_ = true;
  }
  consumer_->SetSink(this);
}

void CMapDlg::Detach() {
  if (consumer_) consumer_->SetSink(nullptr);
  // The consumer and the queue belong to the player, which may go first.
  consumer_ = nullptr;
  queue_ = nullptr;
  acceptRecords_ = nullptr;
  std::lock_guard<std::mutex> lock(postMutex_);
  attached_ = false;
}

void CMapDlg::SetEnlarged(bool on) {
  enlarged_ = on;
  const int face = on ? 226 : 225;
  enlarge_->setStyleSheet(QStringLiteral("background: rgb(%1, %1, %1);").arg(face));
}

QString CMapDlg::StateFilePath() const {
  return QString::fromStdString(GetAppPaths().dataDir) + QString::fromLatin1(kMapStateFile);
}

QLineEdit* CMapDlg::field(int id) const {
  for (int i = 0; i < 4; ++i)
    if (kFieldIds[i] == id) return fields_[i];
  return nullptr;
}

void CMapDlg::ShowFields() {
  for (QLineEdit* f : fields_) {
    f->show();
    f->raise();
  }
}

void CMapDlg::CreateView() {
  InitMapResources();
  view_ = new QWebEngineView(this);
  view_->setObjectName(QStringLiteral("mapView"));
  view_->setPage(new MapPage(view_));
  view_->setContextMenuPolicy(Qt::NoContextMenu);
  host_ = new MapHost(this);
  channel_ = new QWebChannel(this);
  channel_->registerObject(QStringLiteral("host"), host_);
  view_->page()->setWebChannel(channel_);
  view_->setHtml(QStringLiteral("<HTML></HTML>"));
  view_->show();
  PlaceControls();
}

void CMapDlg::ShownOrHidden(bool shown) {
  if (!pageLoadStarted_) {
    pageLoadStarted_ = true;
    CreateView();
    view_->load(QUrl(QStringLiteral("qrc:/map/map.html")));
  }
  if (!shownOnce_ && shown) {
    shownOnce_ = true;
    if (acceptRecords_) acceptRecords_(true);
  }
  if (queue_) {
    queue_->Lock(-1);
    queue_->ClearPackets();
    queue_->Unlock();
  }
}

void CMapDlg::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  ShownOrHidden(true);
}

void CMapDlg::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (pageLoadStarted_) ShownOrHidden(false);
}

void CMapDlg::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (initialised_) PlaceControls();
}

void CMapDlg::PlaceControls() {
  if (view_) view_->setGeometry(rect());
  int x = 2;
  for (QLineEdit* f : fields_) {
    f->setGeometry(x, 2, 90, 22);
    f->raise();
    x += 94;
  }
  const QSize size = clearLine_->sizeHint();
  clearLine_->setGeometry(2, height() - 60, size.width(), size.height());
  clearLine_->raise();
  enlarge_->move(2 + size.width() + 4, height() - 60);
  enlarge_->raise();
}

void CMapDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_D && (event->modifiers() & Qt::ControlModifier)) {
    ShowFields();
    event->accept();
    return;
  }
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
      event->accept();  // swallowed
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

bool CMapDlg::event(QEvent* event) {
  if (controls::ACMessageEvent* m = controls::AsMessage(event)) {
    if (m->message() == kMsgMapOffset) {
      if (consumer_) consumer_->SetMapOffsetEnabled(m->wParam != 0);
      return true;
    }
  }
  return QWidget::event(event);
}

void CMapDlg::OnPageReady() {
  pageReady_ = true;
  if (consumer_) consumer_->PageReady();
  emit PageLoaded();
}

void CMapDlg::CallPage(const QString& function, const QVariantList& args) {
  if (!view_ || !pageReady_) return;
  // The arguments go in as JSON data, never as script text of their own.
  const QByteArray json = QJsonDocument(QJsonArray::fromVariantList(args)).toJson(QJsonDocument::Compact);
  view_->page()->runJavaScript(function + QStringLiteral(".apply(null, ") + QString::fromUtf8(json) +
                               QStringLiteral(");"));
}

void CMapDlg::Post(std::function<void()> fn) {
  std::lock_guard<std::mutex> lock(postMutex_);
  if (!attached_) return;
  QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

// ---- vehicle::MapSink (map consumer's thread) ---------------------------------

void CMapDlg::ClearAllTrackLine(const char* carInfo) {
  QString car = CarText(carInfo);
  Post([this, car] { CallPage(QStringLiteral("clearAllTrackLine"), {car}); });
}

void CMapDlg::DrawTrackLine(const char* carInfo, double lat, double lon) {
  QString car = CarText(carInfo);
  Post([this, car, lat, lon] { CallPage(QStringLiteral("DrawTrackLine"), {car, lat, lon}); });
}

void CMapDlg::MoveCar(const char* carInfo, double lat, double lon, int direction) {
  QString car = CarText(carInfo);
  Post([this, car, lat, lon, direction] { CallPage(QStringLiteral("MoveCar"), {car, lat, lon, direction}); });
}

void CMapDlg::Flyto(double lat, double lon) {
  Post([this, lat, lon] { CallPage(QStringLiteral("flyto"), {lat, lon}); });
}

void CMapDlg::ShowFields(int satUsed, int satVisible, double speed, double course) {
  Post([this, satUsed, satVisible, speed, course] {
    fields_[0]->setText(QString::asprintf("%d", satUsed));
    fields_[1]->setText(QString::asprintf("%d", satVisible));
    fields_[2]->setText(QString::asprintf("%f", speed));
    fields_[3]->setText(QString::asprintf("%f", course));
  });
}

}  // namespace corvane
