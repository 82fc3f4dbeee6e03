// The whole playback road without a window: the play state, the reader
// threads and the pipeline objects the main window owns (video filter with
// null renderers, snapshot filter, sound player, clock), the map and chart
// queues with their consumers, and the window's playback commands. krvtool
// play and the tests drive the very same threads the window will, and read
// back what reached each station.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "krvreader/play_state.h"
#include "krvreader/reader_threads.h"
#include "media/ac_media_list.h"
#include "media/ac_messages.h"
#include "media/ac_movie_filter.h"
#include "media/ac_play_clock.h"
#include "media/ac_snapshot_filter.h"
#include "media/ac_sound_player.h"
#include "media/vo_null.h"
#include "vehicle/record_consumers.h"

namespace krvplayer {

using SteadyClock = std::chrono::steady_clock;

// One picture a display thread took from its pool and showed.
struct ShownPicture {
  int channel = 0;
  int64_t dts = 0;
  int width = 0;
  int height = 0;
};

// One CurDTS call of the clock.
struct ClockTick {
  SteadyClock::time_point at;
  int64_t dts = 0;
  int speed = 16;
  int64_t playedMs = 0;  // the sound player's played time just then (0 = unknown)
  int64_t epoch = 0;     // commands given before it: intervals are measured within one
};

// One WM_PLAY_TIME post: wParam the length in seconds, lParam the second or a marker.
struct PlayTimePost {
  int64_t lengthSeconds = 0;
  int64_t value = 0;
};

struct ChannelSummary {
  int64_t pictures = 0;
  int64_t firstDts = -1;
  int64_t lastDts = -1;
  int64_t outOfOrder = 0;  // pictures whose time is before the one shown before them
};

struct PacingSummary {
  int64_t intervals = 0;
  double medianMs = 0;
  double p99Ms = 0;
};

class HeadlessPlayer : private media::ACMessageSink, private krv::ReaderHost {
 public:
  struct Options {
    // The sound device: SDL's (as the program has it) or one that plays
    // into nothing in real time. When SDL cannot open a device the null one
    // is taken.
    bool nullSound = false;
    // The speed a seek resets to (the window's slider goes to x1).
    int speedAfterSeek = media::ACPlayClock::kNormalSpeed;
    // Snapshot folder ending in '/'; empty = the filter's default.
    std::string snapshotFolder;
    // Entries kept of each log (reserved at start, never grown).
    int pictureLogCapacity = 1 << 16;
    int tickLogCapacity = 1 << 17;
  };

  explicit HeadlessPlayer(const Options& options);
  ~HeadlessPlayer() override;  // Close()
  HeadlessPlayer(const HeadlessPlayer&) = delete;
  HeadlessPlayer& operator=(const HeadlessPlayer&) = delete;

  // ---- the main window's commands (callable from one driving thread; ----
  // ---- after Close they do nothing) ----------------------------------------
  // Double-click on a KRV row: the reader reopens it from its start.
  void OpenKrv(const std::string& path);
  // Double-click on an AVI row of channel `currentChannel` whose period
  // group is `paths` (each file goes to the channel its name gives).
  void OpenAvi(const std::vector<std::string>& paths, int currentChannel);
  // The row preparation alone (paths set, open paths cleared, gates
  // reset), for Step and Second play on a recording not yet playing.
  void SelectKrv(const std::string& path);
  // The advance to the next recording at the end of one (message 0x472):
  // prepared as above and its gate signalled; `ended` is left as it is.
  void AdvanceKrv(const std::string& path);
  void Play();        // the Play button on the recording that is open
  void Pause();
  void Step();
  void SecondPlay();
  void Stop();
  void Seek(int second);        // the seek slider
  void SetSpeed(int speedCode); // the speed slider
  void SetAudioChannel(int channel);
  void Snapshot(int channel);
  // The window's Close: exit requested, readers joined within their bounded
  // waits, then the pipeline torn down. True when every reader ended within
  // its wait. Later calls do nothing and return the first result.
  bool Close();
  // The speed a seek resets to (krvtool keeps its --speed).
  void SetSpeedAfterSeek(int speedCode) { speedAfterSeek_.store(speedCode); }

  // ---- waits ----
  // Until a WM_PLAY_TIME post satisfies pred (looked at in order, from
  // post number `from` on), or timeoutMs. True when one did.
  bool WaitForPost(const std::function<bool(const PlayTimePost&)>& pred, int timeoutMs, size_t from = 0);
  bool WaitForEnd(int timeoutMs, size_t from = 0) {
    return WaitForPost([](const PlayTimePost& p) { return p.value == media::DTS_END; }, timeoutMs, from);
  }
  size_t PostCount() const;
  // Until pred() holds, polling every millisecond.
  static bool WaitUntil(const std::function<bool()>& pred, int timeoutMs);

  // ---- what reached each station ----
  krv::PlayState& State() { return state_; }
  krv::ReaderThreads& Readers() { return *readers_; }
  media::ACMovieFilter& Filter();
  media::ACPlayClock& Clock() { return *clock_; }
  media::ACSoundPlayer& Sound() { return *sound_; }
  bool SoundReady() const { return soundReady_; }
  bool SoundIsNull() const { return soundIsNull_; }
  const media::VoNullStats& RendererStats(int channel) const { return voStats_[channel]; }

  std::vector<ShownPicture> Pictures() const;
  ChannelSummary Channel(int channel) const;
  std::vector<ClockTick> Ticks() const;
  std::vector<PlayTimePost> Posts() const;
  PacingSummary Pacing() const;
  std::vector<std::string> SnapshotsWritten() const;
  int64_t SnapshotsFailed() const { return snapshotsFailed_.load(); }
  int64_t RecordingsOpened() const { return recordingsOpened_.load(); }
  int64_t LastStartTime() const { return lastStartTime_.load(); }
  int64_t SpeedResets() const { return speedResets_.load(); }
  vehicle::MapRecordConsumer& Map() { return *map_; }
  vehicle::ChartRecordConsumer& Chart() { return *chart_; }
  // Wall time since construction.
  double ElapsedMs() const;

 private:
  class TimedFilter;

  // ACMessageSink: WM_PLAY_TIME and the recording-opened notice.
  void PostMessage(uint32_t message, intptr_t wParam, intptr_t lParam) override;
  // ReaderHost
  void RecordingOpened(int64_t startTime) override;
  void SpeedResetToNormal() override;

  void PlayRestart(int restart);
  void EnsureReader();
  void ResetGates();
  void NoteTick(int64_t dts);
  void NotePicture(int channel, int64_t dts, int width, int height);
  void Command() { epoch_.fetch_add(1); }

  const Options options_;
  const SteadyClock::time_point created_ = SteadyClock::now();
  krv::PlayState state_;
  media::VoNullStats voStats_[4];
  std::unique_ptr<media::ACSnapshotFilter> snapshot_;
  std::unique_ptr<TimedFilter> filter_;
  std::unique_ptr<media::ACSoundPlayer> sound_;
  std::unique_ptr<media::ACPlayClock> clock_;
  media::ACPlayClock* clockForTicks_ = nullptr;  // the clock, for its own thread's CurDTS calls
  media::ACAMFDataList mapQueue_;
  media::ACAMFDataList chartQueue_;
  std::unique_ptr<vehicle::MapRecordConsumer> map_;
  std::unique_ptr<vehicle::ChartRecordConsumer> chart_;
  std::unique_ptr<krv::ReaderThreads> readers_;
  bool soundReady_ = false;
  bool soundIsNull_ = false;
  bool closed_ = false;
  bool closeResult_ = true;
  std::atomic<int> speedAfterSeek_;

  mutable std::mutex logMutex_;
  std::condition_variable postArrived_;
  std::vector<ShownPicture> pictures_;  // guarded by logMutex_
  ChannelSummary channels_[4];          // guarded by logMutex_
  std::vector<ClockTick> ticks_;        // guarded by logMutex_
  std::vector<PlayTimePost> posts_;     // guarded by logMutex_
  std::vector<std::string> snapshots_;  // guarded by logMutex_
  std::atomic<int64_t> snapshotsFailed_{0};
  std::atomic<int64_t> recordingsOpened_{0};
  std::atomic<int64_t> lastStartTime_{0};
  std::atomic<int64_t> speedResets_{0};
  std::atomic<int64_t> epoch_{0};
};

}  // namespace krvplayer
