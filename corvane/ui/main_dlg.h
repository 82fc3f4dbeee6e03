// The main window: the recording list, the video panes, the lower panel and
// the side panels, the media objects of the playback pipeline and the two
// reader threads that feed it.
//
// Its buttons and sliders turn user commands into changes of the shared
// play state (krv::PlayState), the play gates and the clock's modes; the
// reader threads and the clock do the work and reach the window only by
// posting messages (a QEvent whose type is the message number).
//
// The class is split by concern over several files: main_dlg.cpp (start-up,
// ownership, close), main_commands.cpp (playback commands), main_list.cpp
// (the list, opening recordings, the open-folder command), main_messages.cpp
// (window messages), main_layout.cpp (placing the children), main_frame.cpp
// (the frameless window: title, dragging, edge resizing).
#pragma once

#include <QMenu>
#include <QString>
#include <QWidget>
#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "controls/bitmap_slider.h"
#include "controls/color_list_ctrl.h"
#include "controls/picture_button.h"
#include "core/catalogue.h"
#include "core/language.h"
#include "krvreader/play_state.h"
#include "media/ac_messages.h"
#include "media/ac_movie_filter.h"

class QLabel;
class QProgressDialog;

namespace krv {
class ReaderThreads;
}
namespace media {
class ACPlayClock;
class ACSnapshotFilter;
class ACSoundPlayer;
}  // namespace media

namespace corvane {

class CWaveDlg;
class GCEVideoLayoutDialog;

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
  };

  explicit CCorvaneDlg(const Options& options);
  CCorvaneDlg() : CCorvaneDlg(Options{}) {}
  ~CCorvaneDlg() override;

  // ---- commands (user-interface thread) ----------------------------------
  void Play(int restart);
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
  // A double-click on a row (the list has the focus).
  void OpenRow(int row);
  // Advance to the next recording (message 0x472).
  void AdvanceToNext();
  // The speed slider (message 0x28D1 / 0x28D2 of slider 1014).
  void SetSpeedPosition(int position);
  void ChooseLanguage(int commandId);

  // ---- what the window shows and owns (tests and other parts) ------------
  krv::PlayState& playState() { return state_; }
  controls::CColorListCtrl* list() const { return list_; }
  GCEVideoLayoutDialog* videoLayout() const { return layout_; }
  CWaveDlg* waveDlg() const { return wave_; }
  QWidget* mapPanel() const { return map_; }
  QWidget* livePanel() const { return live_; }
  QWidget* searchPanel() const { return search_; }
  controls::CBitmapSlider* speedSlider() const { return speedSlider_; }
  QLabel* speedLabel() const { return speedLabel_; }
  QMenu* languageMenu() const { return languageMenu_; }
  const RecordList& records() const { return *records_; }
  media::ACMovieFilter* movieFilter() const { return movieFilter_.get(); }
  media::ACSoundPlayer* soundPlayer() const { return soundPlayer_.get(); }
  media::ACPlayClock* clock() const { return clock_.get(); }
  media::ACSnapshotFilter* snapshotFilter() const { return snapshotFilter_.get(); }
  krv::ReaderThreads* readers() const { return readers_.get(); }
  const QString& speedText() const { return speedText_; }
  int lowerPanelLevel() const { return lowerPanelLevel_; }
  int splitLevel() const { return splitLevel_; }
  bool panelsSwapped() const { return panelsSwapped_; }
  bool muted() const { return muted_; }
  bool scanning() const { return scanning_; }
  // True once Close ended every thread of the pipeline.
  bool pipelineClosed() const { return pipelineClosed_; }
  // Lays the children out again (size, levels or swap changed).
  void Relayout();

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
  class Host;
  enum class Prepare { kOpen, kPlayButton };

  // main_dlg.cpp
  void CreateControls();
  void StartPipeline(const Options& options);
  void ClosePipeline();
  void ApplyLanguageTexts();
  void BuildLanguageMenuWidget();
  void ShowAbout();
  // main_commands.cpp
  // Opens the play gate of the open recording's kind (KRV or AVI).
  void OpenReaderGate();
  // Starts the reader thread of the open recording's kind if it is not running.
  void EnsureReader();
  // main_list.cpp
  void SetUpList();
  void FillList();
  bool PrepareRow(int row, Prepare how);
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
  // main_frame.cpp
  Qt::Edges EdgesAt(const QPoint& pos) const;

  // Play state shared with the reader threads.
  krv::PlayState state_;
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
  QWidget* live_ = nullptr;
  QWidget* search_ = nullptr;
  QMenu* languageMenu_ = nullptr;
  QMenu* listMenu_ = nullptr;
  controls::CBitmapSlider* speedSlider_ = nullptr;
  controls::CBitmapSlider* volumeSlider_ = nullptr;
  QLabel* speedLabel_ = nullptr;
  std::array<controls::CPictureButton*, 100> buttons_{};  // by id - 1000 (ids 1001-1064)
  controls::CPictureButton* Button(int id) const { return buttons_[id - 1000]; }

  std::unique_ptr<RecordList> records_;

  // The pipeline; destroyed in the order of the close.
  std::unique_ptr<Sink> sink_;
  std::unique_ptr<Host> host_;
  std::unique_ptr<media::ACSnapshotFilter> snapshotFilter_;
  std::unique_ptr<media::ACMovieFilter> movieFilter_;
  std::unique_ptr<media::ACSoundPlayer> soundPlayer_;
  std::unique_ptr<media::ACPlayClock> clock_;
  std::unique_ptr<krv::ReaderThreads> readers_;
};

}  // namespace corvane
