// The main window: start-up, the pipeline it owns, language texts and close.
#include "ui/main_dlg.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>

#include "acsound/mixer_device.h"
#include "acsound/mutecontrol.h"
#include "acsound/volumcontrol.h"
#include "controls/control_id.h"
#include "controls/message_event.h"
#include "core/settings.h"
#include "ui/calendar_ctrl.h"
#include "ui/dialog_texts.h"
#include "ui/file_property.h"
#include "ui/map_dlg.h"
#include "ui/rec_type_search.h"
#include "ui/url_dlg.h"
#include "ui/video_layout.h"
#include "ui/video_surface.h"
#include "ui/wave_dlg.h"

static void InitCorvaneResources() { Q_INIT_RESOURCE(corvane); }

namespace corvane {

// Posts a notice to the window as its window message (any thread).
class CCorvaneDlg::Sink final : public media::ACMessageSink {
 public:
  explicit Sink(QObject* window) : window_(window) {}
  void PostMessage(uint32_t message, intptr_t wParam, intptr_t lParam) override {
    controls::PostMessageTo(window_, message, wParam, lParam);
  }

 private:
  QObject* const window_;
};

namespace {

struct ButtonSpec {
  int id;
  const char* caption;
  const char* tooltipKey;  // nullptr: none
};
// The buttons of template 102 with their template captions and tooltip keys.
const ButtonSpec kButtons[] = {
    {CCorvaneDlg::IDC_STOP, "O", "IDS_TIPS_BUTTONSTOP"},
    {CCorvaneDlg::IDC_PLAY, ">", "IDS_TIPS_BUTTONPLAY"},
    {CCorvaneDlg::IDC_PAUSE, "||", "IDS_TIPS_BUTTONPUSH"},
    {CCorvaneDlg::IDC_STEP, "|>", "IDS_TIPS_BUTTONSTEP"},
    {CCorvaneDlg::IDC_SECOND, "S>", "IDS_TIPS_BUTTONSSECOND"},
    {CCorvaneDlg::IDC_FULLSCREEN, "F", "IDS_TIPS_BUTTONFULLSCREEN"},
    {CCorvaneDlg::IDC_SINGLE, "1", "IDS_TIPS_BUTTONSINGLEWIN"},
    {CCorvaneDlg::IDC_FOUR, "4", "IDS_TIPS_BUTTONFOURWIN"},
    {CCorvaneDlg::IDC_SNAPSHOT, "snap", "IDS_TIPS_BUTTONSNAPSHOT"},
    {CCorvaneDlg::IDC_SETTING, "set", "IDS_TIPS_BUTTONSETTING"},
    {CCorvaneDlg::IDC_OPENFILE, "OpenFile", "IDS_TIPS_BUTTONOPENFOLDER"},
    {CCorvaneDlg::IDC_SPEEDICON, "V", "IDS_TIPS_VIDEOSPEED"},
    {CCorvaneDlg::IDC_MUTE, "S", "IDS_TIPS_SOUNDBUTTON"},
    {CCorvaneDlg::IDC_LANGUAGE, "Language", nullptr},
    {CCorvaneDlg::IDC_MAP, "Map", nullptr},
    {CCorvaneDlg::IDC_VIDEO, "Video", nullptr},
    {CCorvaneDlg::IDC_LIVE, "Live", nullptr},
    {CCorvaneDlg::IDC_SWAP, "<->", nullptr},
    {CCorvaneDlg::IDC_WIDEN, "<", nullptr},
    {CCorvaneDlg::IDC_NARROW, ">", nullptr},
    {CCorvaneDlg::IDC_CLOSE, "X", "IDS_TIPS_CLOSE"},
    {CCorvaneDlg::IDC_MAXIMISE, "O", nullptr},
    {CCorvaneDlg::IDC_MINIMISE, "-", nullptr},
};

const char* const kSpeedLabels[CCorvaneDlg::kSpeedPositions] = {"1/16", "1/8", "1/4", "1/2", "x1",
                                                                 "x2",   "x4",  "x8",  "x16"};

// A side panel whose part has not come yet: a titled, coloured place.
QWidget* MakePanelPlace(QWidget* parent, const char* name, QColor colour) {
  auto* w = new QWidget(parent);
  w->setObjectName(QString::fromLatin1(name));
  w->setAutoFillBackground(true);
  QPalette p = w->palette();
  p.setColor(QPalette::Window, colour);
  w->setPalette(p);
  return w;
}

// "does.jpg" beside the executable; written there from the resources when
// missing (where the folder is writable), else read from the resources.
QString BackgroundPicturePath() {
  const QString beside = FromUtf8(GetAppPaths().appDir) + QStringLiteral("does.jpg");
  if (QFile::exists(beside)) return beside;
  if (!GetAppPaths().appDir.empty() && QFile::copy(QStringLiteral(":/res/does.jpg"), beside)) return beside;
  return QStringLiteral(":/res/does.jpg");
}

}  // namespace

const char* SpeedLabel(int position) {
  return position >= 0 && position < CCorvaneDlg::kSpeedPositions ? kSpeedLabels[position] : "x1";
}

CCorvaneDlg::CCorvaneDlg(const Options& options)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), records_(std::make_unique<RecordList>()) {
  InitCorvaneResources();
  // The renderer backend is chosen before any pane makes its surface.
  InstallVideoBackend(options.allowOpenGL);
  setObjectName(QStringLiteral("CCorvaneDlg"));
  setMouseTracking(true);
  setMinimumSize(kMinWidth, kMinHeight);
  setGeometry(0, 0, kStartWidth, kStartHeight);

  BuildLanguageMenuWidget();
  CreateControls();
  sink_ = std::make_unique<Sink>(this);

  layout_->Init(this);
  layout_->SetScreenNum(GetSettingInt(kSectionScreenConfig, kKeyScreenNum, 4));
  SetUpList();
  ShowListPanel();
  Button(IDC_SWAP)->hide();
  Button(IDC_VIDEO)->hide();

  StartPipeline(options);
  StartLive();
  layout_->SetBackground(BackgroundPicturePath());
  ApplyLanguageTexts();
  StartVolume(options.mixerDevice, sink_.get());
  listMenu_ = new QMenu(QStringLiteral("List menu"), this);
  connect(listMenu_->addAction(QStringLiteral("Property")), &QAction::triggered, fileProperty_, &FileProperty::Show);
  Relayout();

  if (options.scanStoredFolder) {
    const std::string folder = GetSettingString(kSectionBrightmere, kKeyFolderName, "");
    if (!folder.empty()) {
      scanning_ = true;  // from now until the scan below has run
      QTimer::singleShot(0, this, [this, folder] { OpenFolder(folder); });
    }
  }
}

CCorvaneDlg::~CCorvaneDlg() {
  CloseVolume();
  EndLive();
  ClosePipeline();
  // A layout still shown full screen is a window of its own.
  if (layout_ && layout_->parentWidget() != this) delete layout_;
}

void CCorvaneDlg::CreateControls() {
  for (const ButtonSpec& b : kButtons) {
    auto* button = new controls::CPictureButton(b.id, QString::fromLatin1(b.caption), this);
    buttons_[b.id - 1000] = button;
  }
  Button(IDC_CLOSE)->SetColors(QColor(0xC0, 0x3A, 0x3A), Qt::white);
  auto on = [this](int id, void (CCorvaneDlg::*handler)()) {
    connect(Button(id), &QAbstractButton::clicked, this, handler);
  };
  on(IDC_STOP, &CCorvaneDlg::OnStop);
  on(IDC_PLAY, &CCorvaneDlg::OnPlayButton);
  on(IDC_PAUSE, &CCorvaneDlg::OnPause);
  on(IDC_STEP, &CCorvaneDlg::OnStep);
  on(IDC_SECOND, &CCorvaneDlg::OnSecondPlay);
  on(IDC_FULLSCREEN, &CCorvaneDlg::OnFullScreen);
  on(IDC_SINGLE, &CCorvaneDlg::OnSingle);
  on(IDC_FOUR, &CCorvaneDlg::OnFour);
  on(IDC_SNAPSHOT, &CCorvaneDlg::OnSnapshot);
  on(IDC_SETTING, &CCorvaneDlg::OnSettings);
  on(IDC_OPENFILE, &CCorvaneDlg::OnOpenFolder);
  on(IDC_MUTE, &CCorvaneDlg::OnMute);
  on(IDC_LANGUAGE, &CCorvaneDlg::OnLanguageButton);
  on(IDC_MAP, &CCorvaneDlg::OnMap);
  on(IDC_VIDEO, &CCorvaneDlg::OnVideo);
  on(IDC_SWAP, &CCorvaneDlg::OnSwap);
  on(IDC_WIDEN, &CCorvaneDlg::OnWiden);
  on(IDC_NARROW, &CCorvaneDlg::OnNarrow);
  on(IDC_CLOSE, &CCorvaneDlg::OnClose);
  on(IDC_MAXIMISE, &CCorvaneDlg::OnMaximise);
  on(IDC_MINIMISE, &CCorvaneDlg::OnMinimise);
  on(IDC_LIVE, &CCorvaneDlg::OnLive);

  speedSlider_ = new controls::CBitmapSlider(IDC_SPEED, this);
  speedSlider_->SetRange(0, kSpeedPositions - 1);
  speedSlider_->SetPos(kNormalSpeedPosition);
  volumeSlider_ = new controls::CBitmapSlider(IDC_VOLUME, this);
  volumeSlider_->SetRange(0, 127);  // the mixer's range once it is open
  volumeSlider_->SetPos(64);
  speedLabel_ = new QLabel(speedText_, this);
  speedLabel_->setObjectName(QStringLiteral("speedText"));
  speedLabel_->setStyleSheet(QStringLiteral("background: rgb(217, 234, 244); color: rgb(2, 114, 186);"));

  list_ = new controls::CColorListCtrl(IDC_LIST, this);
  layout_ = new GCEVideoLayoutDialog(this);
  layout_->setObjectName(QStringLiteral("GCEVideoLayoutDialog"));
  wave_ = new CWaveDlg(this);
  wave_->setObjectName(QStringLiteral("CWaveDlg"));
  map_ = CreateMapView();
  live_ = MakePanelPlace(this, "LiveView", QColor(0x20, 0x28, 0x30));
  recSearch_ = new CRecTpyeSearch(this);
  search_ = recSearch_;
  connect(recSearch_, &CRecTpyeSearch::SearchRequested, this, [this] { OnSearch(); });
  wave_->calendar()->SetOwner(this);
  fileProperty_ = new FileProperty(this);
  fileProperty_->hide();
  map_->hide();
  live_->hide();
}

void CCorvaneDlg::StartPipeline(const Options& options) {
  playback::PlayerOptions o;
  o.owner = this;
  for (int i = 0; i < media::ACMovieFilter::kChannels; ++i) {
    int channel = 0;
    VideoSurface* surface = layout_->AssignStream(QStringLiteral("Channel %1").arg(i + 1), &channel);
    if (surface) o.panes[channel] = surface->RendererHandle();
  }
  o.snapshotFolder = [] {
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : ".";
    std::string folder = GetSettingString(kSectionBrightmere, kKeySnapshotPath, home + "/KRSnap/");
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
  };
  o.speedAfterSeek = 1 << kNormalSpeedPosition;
  // Every call below comes from a pipeline thread: each only posts.
  playback::PlayerCallbacks& cb = o.callbacks;
  cb.message = [this](uint32_t message, intptr_t wParam, intptr_t lParam) {
    controls::PostMessageTo(this, message, wParam, lParam);
  };
  CWaveDlg* wave = wave_;
  cb.recordingOpened = [wave](int64_t startTime) { wave->SetRecordingStart(startTime); };
  cb.speedReset = [this](int) { controls::PostMessageTo(this, controls::kMsgSliderMoved, IDC_SPEED, kNormalSpeedPosition); };
  cb.pictureShown = options.showObserver;
  // A snapshot folder that cannot be made is told once per session.
  cb.snapshotWritten = [this](const std::string& path, bool ok) {
    if (!ok) QMetaObject::invokeMethod(this, [this, path] { OnSnapshotFailed(path); }, Qt::QueuedConnection);
  };
  SetUpExport(&cb, options);
  player_ = std::make_unique<playback::Player>(o);
  StartVehicleViews();
}

void CCorvaneDlg::ClosePipeline() {
  if (pipelineClosed_) return;
  pipelineClosed_ = true;
  CloseVehicleViews();
  // The player's close: readers first (bounded), then the pipeline; what a
  // reader that does not end still uses is left in place.
  player_->Close();
}

void CCorvaneDlg::BuildLanguageMenuWidget() {
  if (!languageMenu_) {
    languageMenu_ = new QMenu(QStringLiteral("Language"), this);
    connect(languageMenu_, &QMenu::triggered, this, [this](QAction* a) { ChooseLanguage(a->data().toInt()); });
  }
  languageMenu_->clear();
  languageItems_ = BuildLanguageMenu();
  for (const LanguageMenuItem& item : languageItems_) {
    QAction* a = languageMenu_->addAction(FromUtf8(item.name));
    a->setData(item.commandId);
    a->setCheckable(true);
    a->setChecked(item.checked);
  }
}

void CCorvaneDlg::ChooseLanguage(int commandId) {
  if (!ChooseLanguageCommand(languageItems_, commandId)) return;
  for (QAction* a : languageMenu_->actions()) {
    for (const LanguageMenuItem& item : languageItems_)
      if (a->data().toInt() == item.commandId) a->setChecked(item.checked);
  }
  ApplyLanguageTexts();
  update();
}

void CCorvaneDlg::ApplyLanguageTexts() {
  for (const ButtonSpec& b : kButtons)
    if (b.tooltipKey) Button(b.id)->setToolTip(LangText(b.tooltipKey));
  QStringList headers;
  for (const ListColumnSpec& c : kListColumns) headers << LangText(c.headerKey);
  list_->SetHeaderTexts(headers);
  ApplyDialogTexts(this, kTemplateId);
  setWindowTitle(LangText("IDD102_Title"));
  ApplyDialogTexts(wave_, CWaveDlg::kTemplateId);
  UpdateVolumeControls();
  recSearch_->ApplyTexts();
  if (urlDlg_) urlDlg_->ApplyTexts();
  // The map (129) takes its texts when it comes.
  update();
}

void CCorvaneDlg::ShowAbout() {
  QDialog about(this);
  about.setWindowTitle(QStringLiteral("About Corvane"));
  auto* text = new QLabel(QStringLiteral("monitor, Version 2.0"), &about);
  controls::SetControlId(text, 1021);
  auto* ok = new QPushButton(QStringLiteral("OK"), &about);
  controls::SetControlId(ok, 1);
  connect(ok, &QPushButton::clicked, &about, &QDialog::accept);
  auto* box = new QVBoxLayout(&about);
  box->addWidget(text);
  box->addWidget(ok);
  ApplyDialogTexts(&about, 100);
  about.exec();
}

}  // namespace corvane
