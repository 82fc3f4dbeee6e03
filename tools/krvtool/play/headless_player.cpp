#include "headless_player.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "krvreader/record_start.h"
#include "media/ac_sound_device.h"
#include "media/play_gates.h"

namespace krvplayer {

// The video filter with the clock's CurDTS calls timed on the way through.
class HeadlessPlayer::TimedFilter : public media::ACMovieFilter {
 public:
  explicit TimedFilter(HeadlessPlayer* owner) : owner_(owner) {}
  void CurDTS(int64_t dts) override {
    media::ACMovieFilter::CurDTS(dts);
    owner_->NoteTick(dts);
  }

 private:
  HeadlessPlayer* const owner_;
};

HeadlessPlayer::HeadlessPlayer(const Options& options) : options_(options), speedAfterSeek_(options.speedAfterSeek) {
  pictures_.reserve(static_cast<size_t>(std::max(0, options_.pictureLogCapacity)));
  ticks_.reserve(static_cast<size_t>(std::max(0, options_.tickLogCapacity)));
  posts_.reserve(1 << 14);
  media::krvGate.Reset();
  media::aviGate.Reset();

  // The parameter block as the window builds it: four channels, each with
  // its (null) pane, the sound fields 1, 22050, 16.
  media::ACParam param;
  param.channelCount = 4;
  for (int c = 0; c < 4; ++c) param.windows[c] = &voStats_[c];
  param.owner = this;
  param.soundChannels = 1;
  param.soundSampleRate = 22050;
  param.soundBitsPerSample = 16;

  snapshot_ = std::make_unique<media::ACSnapshotFilter>();
  snapshot_->InitFilter(&param);
  if (!options_.snapshotFolder.empty()) {
    std::string folder = options_.snapshotFolder;
    snapshot_->SetFolderProvider([folder] { return folder; });
  }
  snapshot_->SetWrittenObserver([this](const std::string& path, bool ok) {
    if (!ok) {
      snapshotsFailed_.fetch_add(1);
      return;
    }
    std::lock_guard<std::mutex> lock(logMutex_);
    snapshots_.push_back(path);
  });

  filter_ = std::make_unique<TimedFilter>(this);
  filter_->SetNewPictureObserver([this](int channel, int64_t dts, const unsigned char*, int width, int height) {
    NotePicture(channel, dts, width, height);
  });
  filter_->InitFilter(&param);
  filter_->SetFilter(snapshot_.get());

  sound_ = std::make_unique<media::ACSoundPlayer>();
  if (!options_.nullSound) soundReady_ = sound_->Init(this, 1, 8000, 16) != 0;
  if (!soundReady_) {
    soundReady_ = sound_->Init(this, 1, 8000, 16, media::CreateNullSoundDevice()) != 0;
    soundIsNull_ = true;
  }
  if (soundReady_) sound_->Start();

  clock_.reset(new media::ACPlayClock(static_cast<media::ACMessageSink*>(this)));
  clockForTicks_ = clock_.get();
  clock_->Start(filter_.get(), soundReady_ ? sound_.get() : nullptr);

  map_ = std::make_unique<vehicle::MapRecordConsumer>(&mapQueue_);
  chart_ = std::make_unique<vehicle::ChartRecordConsumer>(&chartQueue_);
  map_->Start();
  chart_->Start();

  state_.movieFilter = filter_.get();
  state_.soundPlayer = soundReady_ ? sound_.get() : nullptr;
  state_.clock = clock_.get();
  state_.mapQueue.store(&mapQueue_);  // the map counts as shown
  state_.chartQueue.store(&chartQueue_);
  state_.host = static_cast<krv::ReaderHost*>(this);
  readers_ = std::make_unique<krv::ReaderThreads>(&state_);
}

HeadlessPlayer::~HeadlessPlayer() { Close(); }

media::ACMovieFilter& HeadlessPlayer::Filter() { return *filter_; }

bool HeadlessPlayer::Close() {
  if (closed_) return closeResult_;
  closed_ = true;
  Command();
  // The window's order: exit requested and each reader waited for at most
  // 500 ms, then the clock, the filter, the sound player and the snapshot
  // filter.
  closeResult_ = readers_->Close();
  if (!closeResult_) {
    // A reader held inside the pipeline past its wait: stopping the filter
    // and the player lets every retry loop see the exit request; it is
    // waited for before anything it uses goes away.
    filter_->FinalFilter();
    sound_->Stop();
    while (!readers_->Close()) {
    }
  }
  clock_.reset();
  filter_->FinalFilter();
  sound_->Stop();
  snapshot_->WaitIdle(2000);
  snapshot_->FinalFilter();
  map_->Stop();
  chart_->Stop();
  media::krvGate.Reset();
  media::aviGate.Reset();
  return closeResult_;
}

// ---- commands -----------------------------------------------------------

void HeadlessPlayer::ResetGates() {
  media::krvGate.Reset();
  media::aviGate.Reset();
}

void HeadlessPlayer::EnsureReader() {
  if (state_.fileKind.load() == krv::PlayState::kKrv)
    readers_->EnsureKrvThread();
  else
    readers_->EnsureAviThread();
}

void HeadlessPlayer::PlayRestart(int restart) {
  if (closed_) return;
  Command();
  state_.restartRequested.store(restart);
  state_.secondPlayEvent.Reset();
  if (state_.fileKind.load() == krv::PlayState::kKrv)
    media::krvGate.Set();
  else
    media::aviGate.Set();
  EnsureReader();
  clock_->SetMode(media::ACPlayClock::kModePlay);
}

void HeadlessPlayer::SelectKrv(const std::string& path) {
  if (closed_) return;
  Command();
  ResetGates();
  state_.krvOpenPath.Clear();
  for (int i = 0; i < 4; ++i) {
    state_.aviPath[i].Clear();
    state_.aviOpenPath[i].Clear();
  }
  state_.krvPath.Set(path.c_str());
  state_.fileKind.store(krv::PlayState::kKrv);
}

void HeadlessPlayer::AdvanceKrv(const std::string& path) {
  SelectKrv(path);
  media::krvGate.Set();
}

void HeadlessPlayer::OpenKrv(const std::string& path) {
  SelectKrv(path);
  state_.ended.store(0);
  PlayRestart(1);
}

void HeadlessPlayer::OpenAvi(const std::vector<std::string>& paths, int currentChannel) {
  if (closed_) return;
  ResetGates();
  state_.krvOpenPath.Clear();
  for (int i = 0; i < 4; ++i) {
    state_.aviPath[i].Clear();
    state_.aviOpenPath[i].Clear();
  }
  for (const std::string& p : paths) {
    int channel = krv::RecordChannelFromName(p.c_str());
    if (channel >= 0 && channel < 4) state_.aviPath[channel].Set(p.c_str());
  }
  state_.currentChannel.store(currentChannel);
  state_.fileKind.store(krv::PlayState::kAvi);
  state_.ended.store(0);
  PlayRestart(1);
}

void HeadlessPlayer::Play() {
  if (closed_) return;
  ResetGates();
  state_.ended.store(0);
  state_.exitRequested.store(0);
  bool differs;
  if (state_.fileKind.load() == krv::PlayState::kKrv) {
    differs = !state_.krvPath.EqualsNoCase(state_.krvOpenPath);
  } else {
    int c = state_.currentChannel.load();
    c = c >= 0 && c < 4 ? c : 0;
    differs = !state_.aviPath[c].EqualsNoCase(state_.aviOpenPath[c]);
  }
  PlayRestart(differs ? 1 : 0);
}

void HeadlessPlayer::Pause() {
  if (closed_) return;
  Command();
  state_.secondPlayEvent.Reset();
  clock_->SetMode(media::ACPlayClock::kModePause);
}

void HeadlessPlayer::Step() {
  if (closed_) return;
  Command();
  state_.secondPlayEvent.Reset();
  EnsureReader();
  clock_->SetMode(media::ACPlayClock::kModeStep);
  if (state_.fileKind.load() == krv::PlayState::kKrv)
    media::krvGate.Set();
  else
    media::aviGate.Set();
}

void HeadlessPlayer::SecondPlay() {
  if (closed_) return;
  SetSpeed(media::ACPlayClock::kNormalSpeed);  // the speed slider to x1
  ResetGates();
  if (soundReady_) sound_->ClearSound();
  filter_->EmptyData();
  clock_->ClearDTS();
  state_.secondPlayEvent.Set();
  if (state_.fileKind.load() == krv::PlayState::kKrv)
    media::krvGate.Set();
  else
    media::aviGate.Set();
  EnsureReader();
  clock_->SetMode(media::ACPlayClock::kModeFast);
}

void HeadlessPlayer::Stop() {
  if (closed_) return;
  Command();
  state_.secondPlayEvent.Reset();
  state_.stopRequested.store(1);
  state_.restartRequested.store(1);
  clock_->SetMode(media::ACPlayClock::kModeStop);
  state_.krvOpenPath.Clear();
  for (int i = 0; i < 4; ++i) state_.aviOpenPath[i].Clear();
  SetSpeed(media::ACPlayClock::kNormalSpeed);
}

void HeadlessPlayer::Seek(int second) {
  if (closed_) return;
  Command();
  state_.seekTarget.store(second);
  state_.seekPending.store(1);
}

void HeadlessPlayer::SetSpeed(int speedCode) {
  if (closed_) return;
  Command();
  state_.secondPlayEvent.Reset();
  state_.speedCode.store(speedCode);
  clock_->SetSpeed(speedCode);
}

void HeadlessPlayer::SetAudioChannel(int channel) { state_.audioChannel.store(channel); }

void HeadlessPlayer::Snapshot(int channel) {
  if (!closed_) snapshot_->RequestSnapshot(channel);
}

// ---- what the pipeline tells ------------------------------------------------

void HeadlessPlayer::PostMessage(uint32_t message, intptr_t wParam, intptr_t lParam) {
  if (message != media::WM_PLAY_TIME) return;
  {
    std::lock_guard<std::mutex> lock(logMutex_);
    posts_.push_back({static_cast<int64_t>(wParam), static_cast<int64_t>(lParam)});
  }
  postArrived_.notify_all();
}

void HeadlessPlayer::RecordingOpened(int64_t startTime) {
  lastStartTime_.store(startTime);
  // (The window's lower panel stores the start time and is posted
  // WM_RECORDING_OPENED; here the count is all there is to it.)
  recordingsOpened_.fetch_add(1);
}

void HeadlessPlayer::SpeedResetToNormal() {
  speedResets_.fetch_add(1);
  const int code = speedAfterSeek_.load();
  state_.speedCode.store(code);
  clock_->SetSpeed(code);
}

void HeadlessPlayer::NoteTick(int64_t dts) {
  ClockTick t;
  t.at = SteadyClock::now();
  t.dts = dts;
  t.speed = clockForTicks_->Speed();
  t.playedMs = soundReady_ ? sound_->PlayedTime() : 0;
  t.epoch = epoch_.load();
  std::lock_guard<std::mutex> lock(logMutex_);
  if (ticks_.size() < ticks_.capacity()) ticks_.push_back(t);
}

void HeadlessPlayer::NotePicture(int channel, int64_t dts, int width, int height) {
  if (channel < 0 || channel >= 4) return;
  std::lock_guard<std::mutex> lock(logMutex_);
  ChannelSummary& c = channels_[channel];
  if (c.pictures > 0 && dts < c.lastDts) ++c.outOfOrder;
  if (c.pictures == 0) c.firstDts = dts;
  c.lastDts = dts;
  ++c.pictures;
  if (pictures_.size() < pictures_.capacity()) pictures_.push_back({channel, dts, width, height});
}

std::vector<ShownPicture> HeadlessPlayer::Pictures() const {
  std::lock_guard<std::mutex> lock(logMutex_);
  return pictures_;
}

ChannelSummary HeadlessPlayer::Channel(int channel) const {
  std::lock_guard<std::mutex> lock(logMutex_);
  return channel >= 0 && channel < 4 ? channels_[channel] : ChannelSummary{};
}

std::vector<ClockTick> HeadlessPlayer::Ticks() const {
  std::lock_guard<std::mutex> lock(logMutex_);
  return ticks_;
}

std::vector<PlayTimePost> HeadlessPlayer::Posts() const {
  std::lock_guard<std::mutex> lock(logMutex_);
  return posts_;
}

std::vector<std::string> HeadlessPlayer::SnapshotsWritten() const {
  std::lock_guard<std::mutex> lock(logMutex_);
  return snapshots_;
}

double HeadlessPlayer::ElapsedMs() const {
  return std::chrono::duration<double, std::milli>(SteadyClock::now() - created_).count();
}

PacingSummary HeadlessPlayer::Pacing() const {
  std::vector<ClockTick> ticks = Ticks();
  std::vector<double> errors;
  errors.reserve(ticks.size());
  for (size_t i = 1; i < ticks.size(); ++i) {
    const ClockTick& a = ticks[i - 1];
    const ClockTick& b = ticks[i];
    // Only ordinary consecutive times of one stretch of playing: no marker,
    // no command and no change of speed in between.
    if (a.dts < 0 || b.dts <= a.dts || a.epoch != b.epoch || a.speed != b.speed || b.speed <= 0) continue;
    const double gap = static_cast<double>(std::min<int64_t>(b.dts - a.dts, 640));
    const double expected = gap * 16.0 / b.speed;
    const double actual = std::chrono::duration<double, std::milli>(b.at - a.at).count();
    errors.push_back(std::abs(actual - expected));
  }
  PacingSummary s;
  s.intervals = static_cast<int64_t>(errors.size());
  if (errors.empty()) return s;
  std::sort(errors.begin(), errors.end());
  s.medianMs = errors[errors.size() / 2];
  s.p99Ms = errors[std::min(errors.size() - 1, static_cast<size_t>(static_cast<double>(errors.size()) * 0.99))];
  return s;
}

size_t HeadlessPlayer::PostCount() const {
  std::lock_guard<std::mutex> lock(logMutex_);
  return posts_.size();
}

bool HeadlessPlayer::WaitForPost(const std::function<bool(const PlayTimePost&)>& pred, int timeoutMs, size_t from) {
  const auto until = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock<std::mutex> lock(logMutex_);
  size_t looked = from;
  for (;;) {
    for (; looked < posts_.size(); ++looked)
      if (pred(posts_[looked])) return true;
    if (postArrived_.wait_until(lock, until) == std::cv_status::timeout) {
      for (; looked < posts_.size(); ++looked)
        if (pred(posts_[looked])) return true;
      return false;
    }
  }
}

bool HeadlessPlayer::WaitUntil(const std::function<bool()>& pred, int timeoutMs) {
  const auto until = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (SteadyClock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace krvplayer
