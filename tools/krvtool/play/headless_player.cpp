#include "headless_player.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "media/ac_sound_player.h"

namespace krvplayer {

PlayLog::PlayLog(const Options& options) {
  pictures_.reserve(static_cast<size_t>(std::max(0, options.pictureLogCapacity)));
  ticks_.reserve(static_cast<size_t>(std::max(0, options.tickLogCapacity)));
  posts_.reserve(1 << 14);
  exportProgress_.reserve(1 << 10);
}

playback::PlayerCallbacks PlayLog::Callbacks() {
  playback::PlayerCallbacks cb;
  cb.message = [this](uint32_t message, intptr_t wParam, intptr_t lParam) { NotePost(message, wParam, lParam); };
  cb.recordingOpened = [this](int64_t startTime) {
    lastStartTime_.store(startTime);
    recordingsOpened_.fetch_add(1);
  };
  cb.speedReset = [this](int) { speedResets_.fetch_add(1); };
  cb.newPicture = [this](int channel, int64_t dts, const unsigned char*, int width, int height) {
    NotePicture(channel, dts, width, height);
  };
  cb.clockTick = [this](int64_t dts) { NoteTick(dts); };
  cb.command = [this] { Command(); };
  cb.snapshotWritten = [this](const std::string& path, bool ok) {
    if (!ok) {
      snapshotsFailed_.fetch_add(1);
      return;
    }
    std::lock_guard<std::mutex> lock(logMutex_);
    snapshots_.push_back(path);
  };
  cb.exportProgress = [this](int percent) {
    std::lock_guard<std::mutex> lock(logMutex_);
    exportProgress_.push_back(percent);
  };
  cb.exportFinished = [this](const avexport::ExportResult& result) {
    {
      std::lock_guard<std::mutex> lock(logMutex_);
      exportResult_ = result;
      ++exportsEnded_;
    }
    exportEnded_.notify_all();
  };
  return cb;
}

bool PlayLog::WaitForExportEnd(int timeoutMs, int64_t endedBefore, avexport::ExportResult* result) {
  std::unique_lock<std::mutex> lock(logMutex_);
  if (!exportEnded_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return exportsEnded_ > endedBefore; }))
    return false;
  if (result) *result = exportResult_;
  return true;
}

int64_t PlayLog::ExportsEnded() const {
  std::lock_guard<std::mutex> lock(logMutex_);
  return exportsEnded_;
}

std::vector<int> PlayLog::ExportProgress() const {
  std::lock_guard<std::mutex> lock(logMutex_);
  return exportProgress_;
}

playback::PlayerOptions HeadlessPlayer::MakeOptions(const Options& options, PlayLog* log) {
  playback::PlayerOptions o;
  o.sound = options.nullSound ? playback::PlayerOptions::Sound::kNull : playback::PlayerOptions::Sound::kSdl;
  for (int c = 0; c < 4; ++c) o.panes[c] = log->Pane(c);
  o.owner = log;
  if (!options.snapshotFolder.empty()) {
    const std::string folder = options.snapshotFolder;
    o.snapshotFolder = [folder] { return folder; };
  }
  o.speedAfterSeek = options.speedAfterSeek;
  o.recordLogEntries = kRecordLogEntries;
  o.callbacks = log->Callbacks();
  return o;
}

HeadlessPlayer::HeadlessPlayer(const Options& options)
    : PlayLog(options), playback::Player(MakeOptions(options, this)) {
  Attach(this);
}

HeadlessPlayer::~HeadlessPlayer() { Close(); }

void HeadlessPlayer::OpenKrv(const std::string& path) {
  SelectKrv(path, Select::kOpen);
  Open();
}

void HeadlessPlayer::OpenAvi(const std::vector<std::string>& paths, int currentChannel) {
  SelectAvi(AviByChannel(paths), currentChannel, Select::kOpen);
  Open();
}

void HeadlessPlayer::AdvanceKrv(const std::string& path) {
  SelectKrv(path, Select::kOpen);
  Advance();
}

// ---- what the pipeline tells ------------------------------------------------

void PlayLog::NotePost(uint32_t message, intptr_t wParam, intptr_t lParam) {
  if (message != media::WM_PLAY_TIME) return;
  {
    std::lock_guard<std::mutex> lock(logMutex_);
    posts_.push_back({static_cast<int64_t>(wParam), static_cast<int64_t>(lParam)});
  }
  postArrived_.notify_all();
}

void PlayLog::NoteTick(int64_t dts) {
  ClockTick t;
  t.at = SteadyClock::now();
  t.dts = dts;
  const playback::Player* player = player_.load();
  // (The speed the commands set: the clock itself goes while it is taken down.)
  t.speed = player ? player->State().speedCode.load() : media::ACPlayClock::kNormalSpeed;
  media::ACSoundPlayer* sound = player && player->SoundReady() ? player->Sound() : nullptr;
  t.playedMs = sound ? sound->PlayedTime() : 0;
  t.epoch = epoch_.load();
  std::lock_guard<std::mutex> lock(logMutex_);
  if (ticks_.size() < ticks_.capacity()) ticks_.push_back(t);
}

void PlayLog::NotePicture(int channel, int64_t dts, int width, int height) {
  if (channel < 0 || channel >= 4) return;
  std::lock_guard<std::mutex> lock(logMutex_);
  ChannelSummary& c = channels_[channel];
  if (c.pictures > 0 && dts < c.lastDts) ++c.outOfOrder;
  if (c.pictures == 0) c.firstDts = dts;
  c.lastDts = dts;
  ++c.pictures;
  if (pictures_.size() < pictures_.capacity()) pictures_.push_back({channel, dts, width, height});
}

std::vector<ShownPicture> PlayLog::Pictures() const {
  std::lock_guard<std::mutex> lock(logMutex_);
  return pictures_;
}

ChannelSummary PlayLog::Channel(int channel) const {
  std::lock_guard<std::mutex> lock(logMutex_);
  return channel >= 0 && channel < 4 ? channels_[channel] : ChannelSummary{};
}

std::vector<ClockTick> PlayLog::Ticks() const {
  std::lock_guard<std::mutex> lock(logMutex_);
  return ticks_;
}

std::vector<PlayTimePost> PlayLog::Posts() const {
  std::lock_guard<std::mutex> lock(logMutex_);
  return posts_;
}

std::vector<std::string> PlayLog::SnapshotsWritten() const {
  std::lock_guard<std::mutex> lock(logMutex_);
  return snapshots_;
}

double PlayLog::ElapsedMs() const {
  return std::chrono::duration<double, std::milli>(SteadyClock::now() - created_).count();
}

PacingSummary PlayLog::Pacing() const {
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

size_t PlayLog::PostCount() const {
  std::lock_guard<std::mutex> lock(logMutex_);
  return posts_.size();
}

bool PlayLog::WaitForPost(const std::function<bool(const PlayTimePost&)>& pred, int timeoutMs, size_t from) {
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

bool PlayLog::WaitUntil(const std::function<bool()>& pred, int timeoutMs) {
  const auto until = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (SteadyClock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace krvplayer
