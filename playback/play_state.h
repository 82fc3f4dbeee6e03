// The play state that the window, the reader threads and krvtool share, and
// the pipeline objects the reader threads feed.
//
// Who writes what:
//  - the user-interface thread (the window, or krvtool's driver) writes the
//    requests, paths, speed and channels; the reader threads poll them
//    between packets;
//  - a reader thread writes `ended`, the open paths and its own running flag.
// Every word is atomic; a path buffer is guarded by its own lock. The window
// resets the gates before it rewrites the paths; a reader compares the paths
// at the top of each pass.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "media/ac_messages.h"
#include "media/ac_sync.h"
#include "media/play_gates.h"

namespace media {
class ACAMFDataList;
class ACMovieFilter;
class ACPlayClock;
class ACSoundPlayer;
}  // namespace media

namespace playback {

class ReaderExport;

// A 1024-byte path text written by one thread and read by another.
class SharedPath {
 public:
  static constexpr int kCapacity = 1024;
  void Set(const char* text);  // truncated to kCapacity - 1 bytes
  void Clear() { Set(""); }
  std::string Get() const;
  // Copies the text with its terminating zero into out (capacity bytes,
  // truncated to fit) without allocating; returns the length copied.
  size_t CopyTo(char* out, size_t capacity) const;
  size_t Length() const;
  bool Empty() const { return Length() == 0; }
  // Compared without regard to (ASCII) case.
  bool EqualsNoCase(const SharedPath& other) const;

 private:
  mutable std::mutex mutex_;
  char text_[kCapacity] = {};
};

// Where the reader threads report to, besides the pipeline. Every call may
// come from a reader thread and must not block.
class ReaderHost {
 public:
  virtual ~ReaderHost() = default;
  // A recording was opened: its start time (seconds since 1970, from the
  // file name). The lower panel stores it and is posted WM_RECORDING_OPENED.
  virtual void RecordingOpened(int64_t startTime) = 0;
  // A seek moved the speed back to normal: the speed slider goes to x1.
  virtual void SpeedResetToNormal() = 0;
};

// What the reader threads passed on, for tests, tools and diagnostics.
// Counted by the reader threads; read from any thread.
struct ReaderStats {
  std::atomic<int64_t> opened{0};          // recordings opened
  std::atomic<int64_t> seeks{0};           // seeks carried out
  std::atomic<int64_t> videoPassed{0};     // video packets into the movie filter
  std::atomic<int64_t> videoSkipped{0};    // non-key frames left out (fast play)
  std::atomic<int64_t> audioPassed{0};     // audio packets into the sound player
  std::atomic<int64_t> clockTimes{0};      // times pushed into the clock
  std::atomic<int64_t> dataRecords{0};     // data packets handed to the delivery
  std::atomic<int64_t> exported{0};        // packets handed to the export branch
  std::atomic<int64_t> markers[3] = {};    // DTS_BEGIN, DTS_SWITCH, DTS_END pushed
};

struct PlayState {
  enum FileKind : int { kKrv = 0, kAvi = 1 };

  // ---- requests and state, written by the user-interface thread ----------
  std::atomic<int> fileKind{kKrv};
  SharedPath krvPath;
  SharedPath aviPath[4];
  SharedPath exportPath[4];
  std::atomic<int> exitRequested{0};
  std::atomic<int> restartRequested{0};
  std::atomic<int> stopRequested{0};
  std::atomic<int> seekPending{0};
  std::atomic<int> seekTarget{0};  // whole seconds from the recording's start
  std::atomic<int> exportPending{0};
  std::atomic<int> exportEnd{0};
  // Numbers each export request; written before seekPending, so a reader
  // that takes seekPending and then reads it knows the seek serves that
  // request (or a later one).
  std::atomic<int> exportSeq{0};
  std::atomic<int> speedCode{16};
  std::atomic<int> currentItem{-1};
  std::atomic<int> currentChannel{0};  // AVI: channel whose video times drive the clock
  std::atomic<int> audioChannel{0};
  // Signalled during second play: key frames only, no sound, no GPS.
  media::ACEvent secondPlayEvent{media::ACEvent::kManualReset};
  // The play gates: the owner signals `krv` while the KRV reader plays and
  // `avi` while the AVI reader plays; the reader resets its own at the end
  // of a recording and on a stop. The pipeline objects are given them.
  media::PlayGates gates;

  // ---- written by the reader threads -------------------------------------
  SharedPath krvOpenPath;
  SharedPath aviOpenPath[4];
  std::atomic<int> ended{0};
  ReaderStats stats;
  // 1 while a reader is inside a pass (between its gate and the next wait
  // on it), by reader: 0 KRV, 1 AVI. A reader that leaves a pass to wait on
  // its gate signals `readerParked`; the owner, having reset the gates,
  // waits on it until neither reader is inside a pass.
  std::atomic<int> readerInPass[2] = {0, 0};
  media::ACEvent readerParked{media::ACEvent::kAutoReset};

  // ---- the pipeline, set once before the first reader starts -------------
  media::ACMovieFilter* movieFilter = nullptr;
  media::ACSoundPlayer* soundPlayer = nullptr;
  media::ACPlayClock* clock = nullptr;
  // The map's and the charts' record queues. The map's stays null until the
  // map view has been shown (records for it are dropped until then), so the
  // window may set it while a reader runs.
  std::atomic<media::ACAMFDataList*> mapQueue{nullptr};
  std::atomic<media::ACAMFDataList*> chartQueue{nullptr};
  ReaderHost* host = nullptr;
  // The export branch a reader hands its packets to while exportPending is
  // set (playback/reader_export.h). With none, an export request only
  // seeks: exportPending is cleared and playback goes on.
  ReaderExport* exportBranch = nullptr;

  // A reader whose push was refused waits for the queue to free a slot;
  // whoever raises exitRequested or restartRequested calls this after it,
  // so that the reader sees the request at once and gives up.
  void WakeRefusedPushes();
};

}  // namespace playback
