// The main window: the recording list, the video panes, the lower panel and
// the side panels, and the player (playback::Player) that owns the pipeline
// and the reader threads.
//
// Its buttons and sliders turn user commands into the player's commands;
// the reader threads and the clock do the work and reach the window only by
// posting messages (a QEvent whose type is the message number).
//
// The class is split by concern over several files: main_dlg.cpp (start-up,
// ownership, close), main_commands.cpp (playback commands), main_list.cpp
// (the list, opening recordings, the open-folder command), main_messages.cpp
// (window messages), main_layout.cpp (placing the children), main_frame.cpp
// (the frameless window: title, dragging, edge resizing), main_volume.cpp
// (the volume slider and the sound button on the system's mixer),
// main_search.cpp (the search, the calendar's open request, the settings and
// properties), main_live.cpp (the live page).
#pragma once

#include <QMenu>
#include <QString>
#include <QWidget>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/bitmap_slider.h"
#include "controls/color_list_ctrl.h"
#include "controls/picture_button.h"
#include "core/catalogue.h"
#include "core/language.h"
#include "media/ac_messages.h"
#include "media/ac_movie_filter.h"
#include "playback/player.h"
#include "export/avi_export.h"

class QLabel;
class QProgressDialog;

namespace acsound {
class MixerDevice;
class mutecontrol;
class volumcontrol;
}  // namespace acsound

namespace corvane {

class CDVRCalendarCtrl;
class CGEventMarks;
class CMapDlg;
class CRecTpyeSearch;
class CWaveDlg;
class FileProperty;
class GCEVideoLayoutDialog;
class CUrlDlg;

// The label of a speed slider position (0-8): "1/16" ... "x1" ... "x16".
const char* SpeedLabel(int position);

class CCorvaneDlg : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kTemplateId = 102;
  enum ControlId : int {
    IDC_LIST = 1001,
    IDC_STOP = 1002,
    IDC_PLAY = 1003,
    IDC_PAUSE = 1004,
    IDC_FULLSCREEN = 1005,
    IDC_SINGLE = 1006,
    IDC_FOUR = 1007,
    IDC_SNAPSHOT = 1008,
    IDC_SECOND = 1009,
    IDC_CLOSE = 1010,
    IDC_MAXIMISE = 1011,
    IDC_MINIMISE = 1012,
    IDC_SETTING = 1013,
    IDC_SPEED = 1014,
    IDC_VOLUME = 1015,
    IDC_SPEEDICON = 1016,
    IDC_MUTE = 1017,
    IDC_OPENFILE = 1018,
    IDC_STEP = 1019,
    IDC_LANGUAGE = 1020,
    IDC_MAP = 1022,
    IDC_SWAP = 1061,
    IDC_VIDEO = 1062,
    IDC_WIDEN = 1063,
    IDC_NARROW = 1064,
    IDC_LIVE = 1065,
  };
  static constexpr int kSpeedPositions = 9;
  static constexpr int kNormalSpeedPosition = 4;
  static constexpr int kStartWidth = 1024;
  static constexpr int kStartHeight = 800;
  static constexpr int kMinWidth = 1024;
  static constexpr int kMinHeight = 768;

  struct Options {
    bool allowOpenGL = true;
    // Told of every picture the video filter shows (display threads).
    media::ACMovieFilter::ShowObserver showObserver;
    // Scan the stored FolderName when the window starts.
    bool scanStoredFolder = true;
    // The ALSA mixer device of the volume slider and the sound button;
    // empty: no mixer (the two controls are disabled).
    std::string mixerDevice = "default";
    // Told of every percent an export reports (reader thread), before the
    // window is.
    std::function<void(int percent)> exportObserver;
  };

  explicit CCorvaneDlg(const Options& options);
  CCorvaneDlg() : CCorvaneDlg(Options{}) {}
  ~CCorvaneDlg() override;

  // ---- commands (user-interface thread) ----------------------------------
  void OnPlayButton();
  void OnStop();
  void OnPause();
  void OnStep();
  void OnSecondPlay();
  void OnSnapshot();
  void OnSingle();
  void OnFour();
  void OnFullScreen();
  void OnMute();
  void OnMap();
  void OnVideo();
  void OnSwap();
  void OnWiden();
  void OnNarrow();
  void OnLanguageButton();
  void OnSettings();
  void OnMinimise();
  void OnMaximise();
  void OnClose();
  void OnOpenFolder();
  // The open-folder command once a folder was chosen (also used at start
  // for the stored folder). The scan runs on a worker behind a progress bar
  // with Cancel; this returns when it has ended.
  FolderScanStatus OpenFolder(const std::string& path);
  // The search panel's "Search": the stored folder scanned again with its
  // filter; the summary, the car box and the calendar stay.
  FolderScanStatus OnSearch();
  // A double-click on a row (the list has the focus).
  void OpenRow(int row);
  // Fills the file-properties dialog from a row (a right-click on it).
  void FillPropertyFromRow(int row);
  // The calendar's open request (0x484): the listed row with the request's
  // path, opened and sought to offsetSeconds; nothing when the list lacks it.
  void OpenFromCalendar(intptr_t serial, intptr_t offsetSeconds);
  // Advance to the next recording (message 0x472).
  void AdvanceToNext();
  // The speed slider (message 0x28D1 / 0x28D2 of slider 1014).
  void SetSpeedPosition(int position);
  void ChooseLanguage(int commandId);
  // The "Live" button: the live page in the side area.
  void OnLive();

  // ---- what the window shows and owns (tests and other parts) ------------
  playback::Player& player() { return *player_; }
  playback::PlayState& playState() { return player_->State(); }
  controls::CColorListCtrl* list() const { return list_; }
  GCEVideoLayoutDialog* videoLayout() const { return layout_; }
  CWaveDlg* waveDlg() const { return wave_; }
  QWidget* mapPanel() const { return map_; }
  CMapDlg* mapDlg() const { return mapDlg_; }
  bool mapEnlarged() const { return mapEnlarged_; }
  CGEventMarks* gEventMarks() const { return gEventMarks_; }
  QWidget* livePanel() const { return live_; }
  QWidget* searchPanel() const { return search_; }
  CRecTpyeSearch* searchDialog() const { return recSearch_; }
  CDVRCalendarCtrl* calendar() const;
  FileProperty* fileProperty() const { return fileProperty_; }
  QMenu* listMenu() const { return listMenu_; }
  controls::CBitmapSlider* speedSlider() const { return speedSlider_; }
  QLabel* speedLabel() const { return speedLabel_; }
  controls::CBitmapSlider* volumeSlider() const { return volumeSlider_; }
  // The open sound mixer; null without one.
  acsound::MixerDevice* mixer() const { return mixer_.get(); }
  QMenu* languageMenu() const { return languageMenu_; }
  const RecordList& records() const { return *records_; }
  media::ACMovieFilter* movieFilter() const { return player_->Filter(); }
  media::ACSoundPlayer* soundPlayer() const { return player_->Sound(); }
  media::ACPlayClock* clock() const { return player_->Clock(); }
  media::ACSnapshotFilter* snapshotFilter() const { return player_->Snapshots(); }
  playback::ReaderThreads* readers() const { return &player_->Readers(); }
  const QString& speedText() const { return speedText_; }
  int lowerPanelLevel() const { return lowerPanelLevel_; }
  int splitLevel() const { return splitLevel_; }
  bool panelsSwapped() const { return panelsSwapped_; }
  bool muted() const { return muted_; }
  bool scanning() const { return scanning_; }
  // True once Close ended every thread of the pipeline.
  bool pipelineClosed() const { return pipelineClosed_; }
  CUrlDlg* urlDlg() const { return urlDlg_; }
  // Lays the children out again (size, levels or swap changed).
  void Relayout();
  // The export's progress dialog while an export runs, else null.
  QProgressDialog* exportProgressDialog() const { return exportProgress_; }
  // The window's own notice that an export ended (posted by the player's
  // callback; the result is the player's).
  static constexpr uint32_t kMsgExportEnded = 0x4A0;

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  class Sink;
  enum class Prepare { kOpen, kPlayButton };

  // main_dlg.cpp
  void CreateControls();
  void StartPipeline(const Options& options);
  void ClosePipeline();
  void ApplyLanguageTexts();
  void BuildLanguageMenuWidget();
  void ShowAbout();
  // main_list.cpp
  void SetUpList();
  void FillList();
  bool PrepareRow(int row, Prepare how);
  // Stops playback and forgets the paths before the list is cleared.
  void StopForScan();
  // Runs scan on a worker into a new list that starts with the current
  // summary, behind a progress bar with Cancel; the list then replaces the
  // current one and is shown.
  FolderScanStatus RunScan(const std::string& label,
                           const std::function<FolderScanStatus(RecordList&, const ScanControl&)>& scan);
  // The rows of the list handed to the calendar, in list order.
  void FillCalendar();
  // main_search.cpp
  void RunSettingDialog();
  int SelectedOrFirstRow() const;
  void ShowListPanel();
  // A warning that does not block the window: a message box named `name`
  // (so tests find it) that deletes itself when closed.
  void ShowNotice(const QString& name, const QString& text);
  // A snapshot could not be written (told once per session).
  void OnSnapshotFailed(const std::string& path);
  // main_messages.cpp
  bool HandleMessage(uint32_t message, intptr_t wParam, intptr_t lParam, intptr_t* result);
  void OnPlayTime(intptr_t lengthSeconds, intptr_t second);
  void OnSliderMoved(intptr_t sliderId, intptr_t position);
  // main_map.cpp: the map view and the sensor chart on the player's queues.
  CMapDlg* CreateMapView();
  void StartVehicleViews();
  void CloseVehicleViews();
  void OnMapEnlarged(bool on);
  // The opened recording's G events marked on the seek slider.
  void ScanGEvents(const std::string& path);
  // main_frame.cpp
  Qt::Edges EdgesAt(const QPoint& pos) const;
  // main_volume.cpp
  // Opens the mixer `device` (none when empty) with notifications to `sink`.
  void StartVolume(const std::string& device, media::ACMessageSink* sink);
  void CloseVolume();
  void OnVolumeSlider(int position);
  void OnMixerChange(intptr_t mixerHandle);
  // Enables the volume slider and the sound button when their controls
  // exist, with their tooltips.
  void UpdateVolumeControls();
  // main_export.cpp
  // The player's export callbacks and the lower panel's save hooks.
  void SetUpExport(playback::PlayerCallbacks* callbacks, const Options& options);
  bool HandleExportMessage(uint32_t message, intptr_t wParam, intptr_t lParam);
  void OnExportEnded();
  // main_live.cpp
  void StartLive();
  void EndLive();
  // A channel's live state over its pane ("" clears it).
  void ShowLiveNotice(int channel, const QString& text);

  // Fields of the window alone (user-interface thread).
  QString speedText_ = QStringLiteral("x1");
  int lowerPanelLevel_ = 1;
  int splitLevel_ = 2;
  bool panelsSwapped_ = false;
  bool muted_ = false;
  bool mapEnlarged_ = false;
  bool playTimeFirst_ = true;  // the next play time gives the duration
  bool scanning_ = false;
  bool pipelineClosed_ = false;
  // What the layout asks for (messages 0x46A and 0x46B).
  int channelCount_ = 4;
  int paneQuery_ = 4;
  bool snapshotFailureShown_ = false;
  std::vector<LanguageMenuItem> languageItems_;

  // Frame dragging when the platform does not move the window itself.
  bool manualDrag_ = false;
  QPoint dragOffset_;

  // Children.
  controls::CColorListCtrl* list_ = nullptr;
  GCEVideoLayoutDialog* layout_ = nullptr;
  CWaveDlg* wave_ = nullptr;
  QWidget* map_ = nullptr;
  CMapDlg* mapDlg_ = nullptr;  // map_ as what it is
  CGEventMarks* gEventMarks_ = nullptr;
  QWidget* live_ = nullptr;
  QWidget* search_ = nullptr;
  CRecTpyeSearch* recSearch_ = nullptr;  // search_ as what it is
  CUrlDlg* urlDlg_ = nullptr;            // the live page, inside live_
  FileProperty* fileProperty_ = nullptr;
  QMenu* languageMenu_ = nullptr;
  QMenu* listMenu_ = nullptr;
  controls::CBitmapSlider* speedSlider_ = nullptr;
  controls::CBitmapSlider* volumeSlider_ = nullptr;
  QLabel* speedLabel_ = nullptr;
  std::array<controls::CPictureButton*, 100> buttons_{};  // by id - 1000 (ids 1001-1064)
  controls::CPictureButton* Button(int id) const { return buttons_[id - 1000]; }

  std::unique_ptr<RecordList> records_;

  // The player: the pipeline, the reader threads and the record queues.
  std::unique_ptr<playback::Player> player_;

  // Posts the mixer's change notices to the window (any thread).
  std::unique_ptr<Sink> sink_;
  // The system's sound mixer, shared by the volume and the mute control;
  // null when there is none or it went away (user-interface thread).
  std::shared_ptr<acsound::MixerDevice> mixer_;
  std::unique_ptr<acsound::volumcontrol> volume_;
  std::unique_ptr<acsound::mutecontrol> mute_;

  // The export (user-interface thread, but the percent last posted, which
  // the reader thread's callback keeps).
  avexport::ExportRequest stagedExport_;
  QProgressDialog* exportProgress_ = nullptr;
  std::atomic<int> exportPercentPosted_{-1};
};

}  // namespace corvane
