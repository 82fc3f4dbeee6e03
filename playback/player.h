// The one player: the play state, the pipeline objects (video filter with
// its snapshot filter, sound player, clock), the two reader threads, and the
// map and chart queues with their consumers; and the playback commands.
//
// The window and `krvtool play` each own one Player and differ only in what
// they observe: the callbacks set before start carry the pictures shown, the
// clock's messages, the recordings opened, the speed reset of a seek and the
// snapshots written out of the player. Nothing here includes Qt; nothing
// calls up except through those callbacks, which must not block.
//
// Threads: the commands are called from one driving thread (the window's,
// or krvtool's main thread); the reader threads, the clock and the display
// threads only read the play state the commands write (every word atomic).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "media/ac_media_list.h"
#include "media/ac_messages.h"
#include "media/ac_movie_filter.h"
#include "export/avi_export.h"
#include "playback/play_state.h"
#include "playback/reader_threads.h"

namespace media {
class ACPlayClock;
class ACSnapshotFilter;
class ACSoundPlayer;
}  // namespace media

namespace live {
class LiveRtp;
struct LiveCredentials;
}  // namespace live

namespace vehicle {
class MapRecordConsumer;
class ChartRecordConsumer;
}  // namespace vehicle

namespace playback {

class PlayerExport;

// What the player tells its owner. Each is optional; each is called on one
// of the pipeline's threads (named) and must not block.
struct PlayerCallbacks {
  // The clock's window messages, WM_PLAY_TIME above all (clock thread).
  std::function<void(uint32_t message, intptr_t wParam, intptr_t lParam)> message;
  // A recording was opened: its start time, seconds since 1970 (reader thread).
  std::function<void(int64_t startTime)> recordingOpened;
  // A seek set the speed back to `speedCode` (reader thread).
  std::function<void(int speedCode)> speedReset;
  // Every picture a renderer was given (display threads).
  media::ACMovieFilter::ShowObserver pictureShown;
  // Every new picture a display thread took from its pool (display threads).
  media::ACMovieFilter::ShowObserver newPicture;
  // Every time the clock handed to the video filter (clock thread).
  std::function<void(int64_t dts)> clockTick;
  // A snapshot was written (ok) or could not be (snapshot worker).
  std::function<void(const std::string& path, bool ok)> snapshotWritten;
  // A command was given (driving thread): what the clock does may change
  // from here on, so timings measured across it are not comparable.
  std::function<void()> command;
  // An export's progress: each new percent, raw (below 0 before the start
  // second, 100 at the end packet) (reader thread).
  std::function<void(int percent)> exportProgress;
  // An export ended: finished, stopped early, failed or cancelled (the
  // reader thread, or the driving thread for a cancel).
  std::function<void(const avexport::ExportResult& result)> exportFinished;
};

struct PlayerOptions {
  // The sound device: SDL's, falling back to one that plays into nothing in
  // real time when SDL cannot open a device; or that one from the start.
  enum class Sound { kSdl, kNull };
  Sound sound = Sound::kSdl;
  // The renderer of each pane (ImplACVirtualMovie window handles); a null
  // pane gets no renderer.
  std::array<void*, 4> panes{};
  // Handed to the filters and the sound player as their owner window.
  void* owner = nullptr;
  // The snapshot folder, asked at each snapshot ("" or unset: the filter's
  // default, $HOME/KRSnap/). Called on the snapshot worker.
  std::function<std::string()> snapshotFolder;
  // The speed a seek resets to (the window's slider goes to x1; krvtool
  // keeps its --speed).
  int speedAfterSeek = 16;
  // How many records the map and chart consumers each keep for inspection
  // (Map().Seen(), Chart().Seen(): tests and reports). 0: they are only
  // counted, and a long session holds no log that fills as it plays.
  int recordLogEntries = 0;
  PlayerCallbacks callbacks;
};

class Player {
 public:
  // How a selection treats the recording the reader has open.
  enum class Select {
    kOpen,      // a double-click or the advance: the reader opens it afresh
    kKeepOpen,  // the Play button: a recording already open plays on
  };

  // Assembles the pipeline in the window's order: snapshot filter, video
  // filter (with the snapshot filter downstream), sound player, clock, the
  // record consumers, then the reader threads (not yet started).
  explicit Player(const PlayerOptions& options);
  virtual ~Player();  // Close()
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  // ---- choosing what plays ------------------------------------------------
  // A KRV recording. The gates are reset first: no reader pushes while the
  // paths change.
  void SelectKrv(const std::string& path, Select how);
  // The AVI files of one period, by channel ("" for none); `current` is the
  // channel whose video times drive the clock. False when no file is given
  // for any channel.
  bool SelectAvi(const std::array<std::string, 4>& byChannel, int current, Select how);
  // The files of a period sorted into their channels by their names' "_CC"
  // (files of channels above 4 are left out).
  static std::array<std::string, 4> AviByChannel(const std::vector<std::string>& paths);
  // Nothing selected: gates reset, every path cleared (a folder is being
  // opened and its rows go).
  void ClearSelection();
  bool HasSelection() const;

  // ---- the commands ------------------------------------------------------
  // The selected recording from its start (a double-click on its row).
  void Open();
  // The selected recording from `second` on (a click into the calendar).
  void OpenAt(int second);
  // The Play button: the selected recording plays on where it is when it
  // is the one open, else from its start. False when nothing is selected.
  bool Play();
  void Pause();
  // One picture forward; the selected recording is opened when none is.
  void Step();
  // Key frames only, as fast as they come, no sound, no GPS.
  void SecondPlay();
  void Stop();
  // The seek slider: carried out by the reader at its next pass.
  void Seek(int second);
  // The speed slider: 1, 2, 4 ... 256; 16 = x1.
  void SetSpeed(int speedCode);
  void SetAudioChannel(int channel);
  void Snapshot(int channel);
  // At the end of a recording, the next one was selected (Select::kOpen):
  // its reader is let go on, without a new start of the clock.
  void Advance();
  // Exit requested, the readers waited for within their bounded waits, then
  // the pipeline taken down in the window's order. When a reader does not
  // end, nothing it uses is freed (a line on stderr says so). True when
  // every thread ended. Later calls return the first result.
  bool Close();
  bool Closed() const { return closed_; }

  // ---- export ------------------------------------------------------------
  // Copies the stretch of the selected recording to the request's outputs:
  // the reader seeks to the start and writes instead of playing until each
  // channel's end packet, then plays on from there. A running export is
  // cancelled first. Empty when it started; else why it was refused (the
  // request's paths are checked against the recording being read).
  std::string Export(avexport::ExportRequest request);
  // Ends a running export and removes its files. True when one ran. A
  // seek, Stop, another selection and Close cancel it first.
  bool CancelExport();
  bool Exporting() const;
  avexport::ExportResult LastExportResult() const;

  // ---- what the player holds ----------------------------------------------
  PlayState& State() { return state_; }
  const PlayState& State() const { return state_; }
  ReaderThreads& Readers() { return *readers_; }
  bool ReaderRunning() const;  // the reader of the selected kind
  media::ACMovieFilter* Filter() const { return filter_.get(); }
  media::ACSoundPlayer* Sound() const { return sound_.get(); }
  media::ACPlayClock* Clock() const { return clock_.get(); }
  media::ACSnapshotFilter* Snapshots() const { return snapshot_.get(); }
  bool SoundReady() const { return soundReady_; }
  bool SoundIsNull() const { return soundIsNull_; }
  media::ACAMFDataList& MapQueue() { return mapQueue_; }
  media::ACAMFDataList& ChartQueue() { return chartQueue_; }
  vehicle::MapRecordConsumer& Map() { return *map_; }
  vehicle::ChartRecordConsumer& Chart() { return *chart_; }
  // Whether the readers queue GPS records to the map (true at start). A map
  // view takes records only once it has been shown; until then queuing to it
  // is a no-op.
  void AcceptMapRecords(bool on) { state_.mapQueue.store(on ? &mapQueue_ : nullptr); }
  void SetSpeedAfterSeek(int speedCode) { speedAfterSeek_.store(speedCode); }

  // ---- live channels ---------------------------------------------------------
  // Live channels feed the filter's four channels as playback does, so the
  // two exclude each other: opening a live channel first stops playback and
  // waits for the reader to park; starting playback (Open, OpenAt, Play,
  // Step, SecondPlay) closes every live channel. Close() closes them
  // (threads joined, recordings finished) before the filter goes.
  live::LiveRtp& Live() { return *live_; }
  // LiveRtp::OpenChannel after playback has stopped. 0 for a channel
  // outside 0..3 or a malformed address.
  int OpenLive(int channel, const std::string& url, const std::string& recFolder,
               const live::LiveCredentials* credentials = nullptr);
  void CloseLive(int channel);
  void CloseAllLive();
  bool AnyLive() const;
  // How long OpenLive waits for a reader to park.
  static constexpr int kParkWaitMs = 500;

 private:
  class Filter_;
  class Sink;
  class Host;

  void Commanded();
  void Start(int restart);
  void OpenGate();
  void ShutGates();  // both play gates reset
  void EnsureReader();
  bool SelectionDiffersFromOpen() const;
  void SpeedResetToNormal();
  void StopPlaybackForLive();
  bool WaitReadersParked(int timeoutMs);

  const PlayerOptions options_;
  PlayState state_;
  std::atomic<int> speedAfterSeek_;
  std::unique_ptr<Sink> sink_;
  std::unique_ptr<Host> host_;
  std::unique_ptr<media::ACSnapshotFilter> snapshot_;
  std::unique_ptr<media::ACMovieFilter> filter_;
  std::unique_ptr<media::ACSoundPlayer> sound_;
  std::unique_ptr<media::ACPlayClock> clock_;
  media::ACAMFDataList mapQueue_;
  media::ACAMFDataList chartQueue_;
  std::unique_ptr<vehicle::MapRecordConsumer> map_;
  std::unique_ptr<vehicle::ChartRecordConsumer> chart_;
  std::unique_ptr<ReaderThreads> readers_;
  std::unique_ptr<PlayerExport> export_;
  std::atomic<int64_t> lastStartTime_{0};  // written by the reader threads
  std::unique_ptr<live::LiveRtp> live_;
  bool soundReady_ = false;
  bool soundIsNull_ = false;
  bool closed_ = false;
  bool closeResult_ = true;
};

}  // namespace playback
