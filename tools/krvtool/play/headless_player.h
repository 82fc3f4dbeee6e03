// The player without a window: playback::Player with null renderers and a
// log of what reached each station. krvtool play and the playback tests
// drive the very player the window owns, and read back the log.
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

#include "media/ac_messages.h"
#include "media/ac_play_clock.h"
#include "media/vo_null.h"
#include "playback/player.h"
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

// What krvtool play and the playback tests read back: every picture shown,
// every CurDTS call of the clock, every WM_PLAY_TIME post and every
// snapshot, logged by the player's callbacks into buffers reserved at
// start.
class PlayLog {
 public:
  struct Options {
    // Entries kept of each log (reserved at start, never grown).
    int pictureLogCapacity = 1 << 16;
    int tickLogCapacity = 1 << 17;
  };
  explicit PlayLog(const Options& options);
  PlayLog(const PlayLog&) = delete;
  PlayLog& operator=(const PlayLog&) = delete;

  // The callbacks that fill the logs.
  playback::PlayerCallbacks Callbacks();
  // The player asked for the clock's speed and the sound's played time at
  // each tick; ticks before it is attached log neither.
  void Attach(const playback::Player* player) { player_.store(player); }
  // The null renderer of each pane, as the player's pane handles.
  void* Pane(int channel) { return &voStats_[channel]; }
  const media::VoNullStats& RendererStats(int channel) const { return voStats_[channel]; }

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
  // Wall time since construction.
  double ElapsedMs() const;
  // A command was given: pacing is measured between two commands only.
  void Command() { epoch_.fetch_add(1); }

  // ---- exports ----
  // Until the number of exports ended exceeds `endedBefore`, or timeoutMs.
  // True with the last one's result when one did.
  bool WaitForExportEnd(int timeoutMs, int64_t endedBefore, avexport::ExportResult* result);
  int64_t ExportsEnded() const;
  // Every percent the exports reported, in order.
  std::vector<int> ExportProgress() const;

 private:
  void NoteTick(int64_t dts);
  void NotePicture(int channel, int64_t dts, int width, int height);
  void NotePost(uint32_t message, intptr_t wParam, intptr_t lParam);

  const SteadyClock::time_point created_ = SteadyClock::now();
  std::atomic<const playback::Player*> player_{nullptr};
  media::VoNullStats voStats_[4];
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
  std::condition_variable exportEnded_;
  std::vector<int> exportProgress_;        // guarded by logMutex_
  avexport::ExportResult exportResult_;    // guarded by logMutex_
  int64_t exportsEnded_ = 0;               // guarded by logMutex_
};

// A player with null renderers whose callbacks fill a PlayLog: the player
// of `krvtool play` and of the playback tests. Its commands are the
// player's own; the openers below are the row commands of the window for a
// path given directly.
class HeadlessPlayer : public PlayLog, public playback::Player {
 public:
  struct Options : PlayLog::Options {
    // The null sound device from the start (else SDL's, or the null one
    // when SDL cannot open a device).
    bool nullSound = false;
    // The speed a seek resets to (the window's slider goes to x1).
    int speedAfterSeek = media::ACPlayClock::kNormalSpeed;
    // Snapshot folder ending in '/'; empty = the filter's default.
    std::string snapshotFolder;
  };

  // The records the map and chart consumers keep for Map().Seen() and
  // Chart().Seen(): a headless run is short and is inspected afterwards.
  static constexpr int kRecordLogEntries = 16384;

  explicit HeadlessPlayer(const Options& options);
  HeadlessPlayer() : HeadlessPlayer(Options{}) {}
  ~HeadlessPlayer() override;

  // A double-click on a KRV row: the reader opens it from its start.
  void OpenKrv(const std::string& path);
  // A double-click on an AVI row of channel `currentChannel` whose period
  // group is `paths` (each file goes to the channel its name gives).
  void OpenAvi(const std::vector<std::string>& paths, int currentChannel);
  // The advance to the next recording at the end of one (message 0x472).
  void AdvanceKrv(const std::string& path);

 private:
  static playback::PlayerOptions MakeOptions(const Options& options, PlayLog* log);
};

}  // namespace krvplayer
