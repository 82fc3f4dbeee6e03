#include "playback/player.h"

#include <chrono>

#include "krvreader/record_start.h"
#include "live/live_rtp.h"
#include "media/ac_log.h"
#include "media/heap_policy.h"
#include "playback/player_export.h"
#include "media/ac_play_clock.h"
#include "media/ac_snapshot_filter.h"
#include "media/ac_sound_device.h"
#include "media/ac_sound_player.h"
#include "vehicle/record_consumers.h"

namespace playback {

// The video filter with the clock's CurDTS calls told on the way through.
class Player::Filter_ final : public media::ACMovieFilter {
 public:
  explicit Filter_(const std::function<void(int64_t)>& tick) : tick_(tick) {}
  void CurDTS(int64_t dts) override {
    media::ACMovieFilter::CurDTS(dts);
    if (tick_) tick_(dts);
  }

 private:
  const std::function<void(int64_t)>& tick_;
};

// The clock's messages, handed on (clock thread).
class Player::Sink final : public media::ACMessageSink {
 public:
  explicit Sink(const PlayerCallbacks& callbacks) : callbacks_(callbacks) {}
  void PostMessage(uint32_t message, intptr_t wParam, intptr_t lParam) override {
    if (callbacks_.message) callbacks_.message(message, wParam, lParam);
  }

 private:
  const PlayerCallbacks& callbacks_;
};

// What the reader threads report besides the pipeline (reader threads).
class Player::Host final : public ReaderHost {
 public:
  explicit Host(Player* player) : player_(player) {}
  void RecordingOpened(int64_t startTime) override {
    player_->lastStartTime_.store(startTime);
    if (player_->options_.callbacks.recordingOpened) player_->options_.callbacks.recordingOpened(startTime);
  }
  void SpeedResetToNormal() override { player_->SpeedResetToNormal(); }

 private:
  Player* const player_;
};

Player::Player(const PlayerOptions& options) : options_(options), speedAfterSeek_(options.speedAfterSeek) {
  media::FixHeapThresholds();  // before the decoders' first tables
  const PlayerCallbacks& cb = options_.callbacks;
  ShutGates();
  sink_ = std::make_unique<Sink>(cb);
  host_ = std::make_unique<Host>(this);

  // The parameter block: four channels, each with its pane's renderer; the
  // sound fields 1, 22050, 16.
  media::ACParam param;
  param.owner = options_.owner;
  param.channelCount = media::ACMovieFilter::kChannels;
  for (int c = 0; c < media::ACMovieFilter::kChannels; ++c) param.windows[c] = options_.panes[c];
  param.soundChannels = 1;
  param.soundSampleRate = 22050;
  param.soundBitsPerSample = 16;

  snapshot_ = std::make_unique<media::ACSnapshotFilter>();
  if (options_.snapshotFolder) snapshot_->SetFolderProvider(options_.snapshotFolder);
  if (cb.snapshotWritten) snapshot_->SetWrittenObserver(cb.snapshotWritten);
  snapshot_->InitFilter(&param);

  filter_ = std::make_unique<Filter_>(cb.clockTick);
  if (cb.pictureShown) filter_->SetShowObserver(cb.pictureShown);
  if (cb.newPicture) filter_->SetNewPictureObserver(cb.newPicture);
  filter_->SetPlayGates(&state_.gates);
  filter_->InitFilter(&param);
  filter_->SetFilter(snapshot_.get());

  sound_ = std::make_unique<media::ACSoundPlayer>();
  sound_->SetPlayGates(&state_.gates);
  if (options_.sound == PlayerOptions::Sound::kSdl) {
    soundReady_ = sound_->Init(options_.owner, 1, 8000, 16) != 0;
    if (!soundReady_) media::LogLine(media::LogLevel::kError, "sound", "no sound device; playing without sound");
  }
  if (!soundReady_) {
    soundReady_ = sound_->Init(options_.owner, 1, 8000, 16, media::CreateNullSoundDevice()) != 0;
    soundIsNull_ = true;
  }
  if (soundReady_) sound_->Start();

  clock_ = std::make_unique<media::ACPlayClock>(sink_.get());
  clock_->SetPlayGates(&state_.gates);
  clock_->Start(filter_.get(), soundReady_ ? sound_.get() : nullptr);

  map_ = std::make_unique<vehicle::MapRecordConsumer>(&mapQueue_, options.recordLogEntries);
  chart_ = std::make_unique<vehicle::ChartRecordConsumer>(&chartQueue_, options.recordLogEntries);
  map_->Start();
  chart_->Start();

  state_.movieFilter = filter_.get();
  state_.soundPlayer = soundReady_ ? sound_.get() : nullptr;
  state_.clock = clock_.get();
  state_.mapQueue.store(&mapQueue_);
  state_.chartQueue.store(&chartQueue_);
  state_.host = host_.get();
  export_ = std::make_unique<PlayerExport>(&state_);
  avexport::AviExport::Callbacks exportCallbacks;
  exportCallbacks.progress = cb.exportProgress;
  exportCallbacks.finished = cb.exportFinished;
  export_->Session().SetCallbacks(exportCallbacks);
  state_.exportBranch = export_.get();
  readers_ = std::make_unique<ReaderThreads>(&state_);
  live_ = std::make_unique<live::LiveRtp>();
  live_->SetMovieFilter(filter_.get());
}

Player::~Player() { Close(); }

bool Player::Close() {
  if (closed_) return closeResult_;
  CancelExport();
  closed_ = true;
  Commanded();
  // The live channels first: they push into the filter until their threads
  // have ended, and their recordings are finished on the way.
  live_->CloseAll();
  // Exit requested and each reader waited for (bounded).
  closeResult_ = readers_->Close();
  if (!closeResult_) {
    // A reader held inside the pipeline: stopping the filter and the sound
    // player makes every push return, so its retry loops see the exit.
    filter_->FinalFilter();
    sound_->Stop();
    closeResult_ = readers_->Close();
  }
  if (!closeResult_) {
    // Still running: everything it may touch stays alive for good.
    media::LogLine(media::LogLevel::kError, "player", "a reader thread did not end; the pipeline is left in place");
    (void)readers_.release();
    (void)export_.release();
    (void)clock_.release();
    (void)filter_.release();
    (void)sound_.release();
    (void)snapshot_.release();
    (void)map_.release();
    (void)chart_.release();
    return false;
  }
  // Then the window's order: the clock, the filter, the sound player, the
  // snapshot filter (a snapshot being written is let finish), the consumers.
  clock_.reset();
  state_.clock = nullptr;  // the readers have ended: nobody reads it any more
  filter_->FinalFilter();
  sound_->Stop();
  snapshot_->WaitIdle(500);
  // A snapshot still being written after that finishes, but tells no one:
  // the owner may be going away.
  snapshot_->SetWrittenObserver({});
  snapshot_->FinalFilter();
  map_->Stop();
  chart_->Stop();
  ShutGates();
  return true;
}

// ---- selection --------------------------------------------------------------

void Player::SelectKrv(const std::string& path, Select how) {
  if (closed_) return;
  CancelExport();
  Commanded();
  ShutGates();
  if (how == Select::kOpen) {
    state_.krvOpenPath.Clear();
    for (int c = 0; c < 4; ++c) {
      state_.aviPath[c].Clear();
      state_.aviOpenPath[c].Clear();
    }
  } else {
    for (SharedPath& p : state_.aviPath) p.Clear();
  }
  state_.krvPath.Set(path.c_str());
  state_.fileKind.store(PlayState::kKrv);
}

bool Player::SelectAvi(const std::array<std::string, 4>& byChannel, int current, Select how) {
  if (closed_) return false;
  CancelExport();
  Commanded();
  ShutGates();
  if (how == Select::kOpen) {
    state_.krvOpenPath.Clear();
    for (SharedPath& p : state_.aviOpenPath) p.Clear();
  } else {
    state_.krvPath.Clear();
  }
  int first = -1;
  for (int c = 0; c < 4; ++c) {
    state_.aviPath[c].Set(byChannel[c].c_str());
    if (first < 0 && !byChannel[c].empty()) first = c;
  }
  state_.fileKind.store(PlayState::kAvi);
  if (first < 0) return false;
  if (current < 0 || current > 3 || byChannel[current].empty()) current = first;
  state_.currentChannel.store(current);
  return true;
}

std::array<std::string, 4> Player::AviByChannel(const std::vector<std::string>& paths) {
  std::array<std::string, 4> out;
  for (const std::string& p : paths) {
    const int channel = krv::RecordChannelFromName(p.c_str());
    if (channel >= 0 && channel < 4) out[channel] = p;
  }
  return out;
}

void Player::ClearSelection() {
  if (closed_) return;
  CancelExport();
  Commanded();
  ShutGates();
  state_.krvPath.Clear();
  state_.krvOpenPath.Clear();
  for (int c = 0; c < 4; ++c) {
    state_.aviPath[c].Clear();
    state_.aviOpenPath[c].Clear();
  }
  state_.currentItem.store(-1);
}

bool Player::HasSelection() const {
  if (state_.fileKind.load() == PlayState::kKrv) return !state_.krvPath.Empty();
  for (const SharedPath& p : state_.aviPath)
    if (!p.Empty()) return true;
  return false;
}

bool Player::SelectionDiffersFromOpen() const {
  if (state_.fileKind.load() == PlayState::kKrv) return !state_.krvPath.EqualsNoCase(state_.krvOpenPath);
  int c = state_.currentChannel.load();
  c = c >= 0 && c < 4 ? c : 0;
  return !state_.aviPath[c].EqualsNoCase(state_.aviOpenPath[c]);
}

// ---- commands ---------------------------------------------------------------

void Player::OpenGate() {
  (state_.fileKind.load() == PlayState::kKrv ? state_.gates.krv : state_.gates.avi).Set();
}

void Player::ShutGates() {
  state_.gates.ResetBoth();
  // A reader waiting to retry a refused push retries now: with the gates
  // shut the push is dropped as taken and the reader goes on.
  state_.interruptEvent.Set();
}

void Player::EnsureReader() {
  if (state_.fileKind.load() == PlayState::kKrv)
    readers_->EnsureKrvThread();
  else
    readers_->EnsureAviThread();
}

bool Player::ReaderRunning() const {
  return state_.fileKind.load() == PlayState::kKrv ? readers_->KrvRunning() : readers_->AviRunning();
}

void Player::Commanded() {
  if (options_.callbacks.command) options_.callbacks.command();
}

void Player::Start(int restart) {
  Commanded();
  CloseAllLive();
  // Every start supersedes a stop the reader has not carried out yet (a
  // reader parked at the end of a recording, or not yet created, would
  // otherwise take it on its next pass and park again).
  state_.stopRequested.store(0);
  state_.restartRequested.store(restart);
  if (restart != 0) state_.interruptEvent.Set();
  state_.secondPlayEvent.Reset();
  OpenGate();
  EnsureReader();
  clock_->SetMode(media::ACPlayClock::kModePlay);
}

void Player::Open() {
  if (closed_) return;
  CancelExport();
  state_.ended.store(0);
  state_.exitRequested.store(0);
  Start(1);
}

void Player::OpenAt(int second) {
  if (closed_) return;
  CancelExport();
  state_.ended.store(0);
  state_.seekTarget.store(second);
  state_.seekPending.store(1);
  state_.exitRequested.store(0);
  Start(1);
}

bool Player::Play() {
  if (closed_) return false;
  // Both gates shut, then (Start) the selection's opened again. A reader
  // waiting to retry a refused push is not woken for the moment between:
  // it would retry with the gates shut and drop its packet (a picture lost
  // on resuming a pause). Resuming, its push is taken once the pipeline
  // moves again; a new selection restarts it (Start wakes it for that);
  // without a selection it is woken to drop its pushes and park.
  state_.gates.ResetBoth();
  state_.ended.store(0);
  if (!HasSelection()) {
    state_.interruptEvent.Set();
    return false;
  }
  state_.exitRequested.store(0);
  Start(SelectionDiffersFromOpen() ? 1 : 0);
  return true;
}

void Player::Pause() {
  if (closed_) return;
  Commanded();
  state_.secondPlayEvent.Reset();
  clock_->SetMode(media::ACPlayClock::kModePause);
}

void Player::Step() {
  if (closed_) return;
  Commanded();
  CloseAllLive();
  state_.stopRequested.store(0);  // as in Start: a start supersedes a pending stop
  state_.secondPlayEvent.Reset();
  EnsureReader();
  clock_->SetMode(media::ACPlayClock::kModeStep);
  OpenGate();
}

void Player::SecondPlay() {
  if (closed_) return;
  CloseAllLive();
  SetSpeed(media::ACPlayClock::kNormalSpeed);
  ShutGates();
  if (soundReady_) sound_->ClearSound();
  filter_->EmptyData();
  clock_->ClearDTS();
  state_.stopRequested.store(0);
  state_.secondPlayEvent.Set();
  OpenGate();
  EnsureReader();
  clock_->SetMode(media::ACPlayClock::kModeFast);
}

void Player::Stop() {
  if (closed_) return;
  CancelExport();
  Commanded();
  state_.secondPlayEvent.Reset();
  state_.stopRequested.store(1);
  state_.restartRequested.store(1);
  state_.interruptEvent.Set();
  clock_->SetMode(media::ACPlayClock::kModeStop);
  state_.krvOpenPath.Clear();
  for (SharedPath& p : state_.aviOpenPath) p.Clear();
  SetSpeed(media::ACPlayClock::kNormalSpeed);
}

void Player::Seek(int second) {
  if (closed_) return;
  CancelExport();
  Commanded();
  state_.seekTarget.store(second);
  state_.seekPending.store(1);
}

void Player::SetSpeed(int speedCode) {
  if (closed_) return;
  Commanded();
  state_.secondPlayEvent.Reset();
  state_.speedCode.store(speedCode);
  clock_->SetSpeed(speedCode);
}

void Player::SetAudioChannel(int channel) { state_.audioChannel.store(channel); }

void Player::Snapshot(int channel) {
  if (!closed_) snapshot_->RequestSnapshot(channel);
}

void Player::Advance() {
  if (closed_) return;
  OpenGate();
  EnsureReader();
}

void Player::SpeedResetToNormal() {
  // On the reader thread, during its seek: the clock goes on at this speed.
  const int code = speedAfterSeek_.load();
  state_.speedCode.store(code);
  clock_->SetSpeed(code);
  if (options_.callbacks.speedReset) options_.callbacks.speedReset(code);
}

// ---- export -----------------------------------------------------------------

std::string Player::Export(avexport::ExportRequest request) {
  if (closed_) return "The player is closed.";
  if (!HasSelection()) return "No recording is selected.";
  std::vector<std::string> sources;
  if (state_.fileKind.load() == PlayState::kKrv) {
    sources.push_back(state_.krvPath.Get());
    sources.push_back(state_.krvOpenPath.Get());
  } else {
    for (int c = 0; c < 4; ++c) {
      sources.push_back(state_.aviPath[c].Get());
      sources.push_back(state_.aviOpenPath[c].Get());
    }
  }
  std::string refused = avexport::AviExport::Check(request, sources);
  if (!refused.empty()) return refused;
  CancelExport();
  Commanded();
  if (request.recordingStart == 0) {
    request.recordingStart = lastStartTime_.load();
    if (request.recordingStart == 0) {
      for (const std::string& s : sources)
        if (!s.empty() && (request.recordingStart = krv::RecordStartFromName(s.c_str())) > 0) break;
      if (request.recordingStart < 0) request.recordingStart = 0;
    }
  }
  for (int c = 0; c < 4; ++c) state_.exportPath[c].Set(request.outputs[c].c_str());
  export_->Session().Begin(request);
  // The request words in the order the reader reads them: the number of the
  // request before the seek, the seek before the export.
  const int seq = export_->NextSeq();
  state_.exportSeq.store(seq);
  state_.seekTarget.store(request.startSecond);
  state_.exportEnd.store(request.endSecond);
  state_.seekPending.store(1);
  state_.exportPending.store(1);
  // A reader parked at the end of its recording, or after a stop, is woken:
  // the export's seek brings it back into the recording.
  state_.stopRequested.store(0);
  state_.secondPlayEvent.Reset();
  OpenGate();
  EnsureReader();
  clock_->SetMode(media::ACPlayClock::kModePlay);
  return "";
}

bool Player::CancelExport() {
  if (!export_) return false;
  state_.exportPending.store(0);
  return export_->Session().Cancel();
}

bool Player::Exporting() const { return export_ && export_->Session().Active(); }

avexport::ExportResult Player::LastExportResult() const {
  return export_ ? export_->Session().LastResult() : avexport::ExportResult{};
}

// ---- live channels ------------------------------------------------------------

bool Player::WaitReadersParked(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const bool krvParked = state_.readerInPass[0].load() == 0 || !readers_->KrvRunning();
    const bool aviParked = state_.readerInPass[1].load() == 0 || !readers_->AviRunning();
    if (krvParked && aviParked) return true;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) return false;
    state_.readerParked.Wait(static_cast<int>(left));
  }
}

void Player::StopPlaybackForLive() {
  if (readers_->KrvRunning() || readers_->AviRunning()) {
    Stop();
    // With the gates shut every reader push returns at once; the reader
    // finishes its pass and parks on its gate.
    ShutGates();
    if (!WaitReadersParked(kParkWaitMs))
      media::LogLine(media::LogLevel::kError, "player", "the reader did not park before a live channel opened");
  }
  // What playback left in the pipeline goes.
  if (soundReady_) sound_->ClearSound();
  filter_->EmptyData();
  clock_->ClearDTS();
}

int Player::OpenLive(int channel, const std::string& url, const std::string& recFolder,
                     const live::LiveCredentials* credentials) {
  if (closed_ || channel < 0 || channel >= media::ACMovieFilter::kChannels) return 0;
  Commanded();
  if (!live_->AnyOpen()) StopPlaybackForLive();
  return live_->OpenChannel(channel, url.c_str(), recFolder.c_str(), credentials);
}

void Player::CloseLive(int channel) {
  if (!closed_) live_->CloseChannel(channel);
}

void Player::CloseAllLive() {
  if (!closed_ && live_->AnyOpen()) live_->CloseAll();
}

bool Player::AnyLive() const { return live_ && live_->AnyOpen(); }

}  // namespace playback
