// The export of a stretch of a recording to one AVI file per channel: the
// branch the reader threads hand their packets to while an export runs.
//
// The driving thread (the window's, or krvtool's) checks and begins a
// request and may cancel it; the reader thread hands in the packets after
// the export's seek and tells when its recording ran out. Every call takes
// the export's lock; a packet holds it for one write, so a cancel waits at
// most that long (the trailer and the checksums look at the cancel word
// as they go).
//
// Outputs open per channel on the channel's first key frame after the seek
// point and end with its first video packet at or after the end. Each is
// written as NAME.part and renamed when all have finished; a failure or a
// cancel removes every file of the export. Optional sidecars: a SHA-256
// manifest in sha256sum's format and a GPX 1.1 track of the stretch's
// usable GPS fixes, written after the outputs.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "export/avi_output.h"
#include "export/export_packet.h"

namespace vehicle {
struct GpsState;
}

namespace avexport {

struct ExportRequest {
  int startSecond = 0;  // whole seconds from the recording's start
  int endSecond = 0;
  // Channel c's output file; empty: the channel is not exported.
  std::array<std::string, 4> outputs;
  bool sha256 = false;
  bool gpx = false;
  // The sidecars are sidecarBase + ".sha256" / ".gpx"; empty: the first
  // output's path without its extension.
  std::string sidecarBase;
  // Seconds since 1970 of the recording's start (GPX times).
  int64_t recordingStart = 0;
};

struct ExportResult {
  enum class Outcome { kNone, kRunning, kFinished, kStoppedEarly, kFailed, kCancelled };
  Outcome outcome = Outcome::kNone;
  std::vector<std::string> files;            // every file written, outputs first
  std::vector<int> channelsWithoutPictures;  // named channels that got no file
  std::string failedPath;                    // kFailed: the file and why
  std::string reason;
  std::array<int64_t, 4> videoPackets{};
  std::array<int64_t, 4> audioPackets{};
  std::array<int64_t, 4> firstVideoMs{-1, -1, -1, -1};
  std::array<int64_t, 4> lastVideoMs{-1, -1, -1, -1};
  std::vector<int> progress;                 // every new percent, in order
  int gpsFixes = 0;
};

const char* OutcomeName(ExportResult::Outcome outcome);

class AviExport {
 public:
  struct Callbacks {
    // A new percent (may be below 0 before the start second); reader
    // thread, without the export's lock (a cancel need not wait for it).
    std::function<void(int percent)> progress;
    // The export ended (finished, stopped early, failed or cancelled), on
    // the thread that ended it. Must not call back into the export.
    std::function<void(const ExportResult&)> finished;
  };

  AviExport();
  ~AviExport();  // Cancel()
  AviExport(const AviExport&) = delete;
  AviExport& operator=(const AviExport&) = delete;

  void SetCallbacks(const Callbacks& callbacks);
  // The request word the export clears, under its lock, the moment it ends
  // (the reader's exportPending), so that a request begun after the end is
  // never cleared by it.
  void SetEndFlag(std::atomic<int>* flag) { endFlag_ = flag; }

  // The reasons a request is refused before it starts: no channel named, an
  // end before the start, a path over 1023 bytes, the same path for two
  // channels, or a path that is one of `sources` (the recording being
  // read). Empty when the request may start.
  static std::string Check(const ExportRequest& request, const std::vector<std::string>& sources);

  // Driving thread. A running export is cancelled first. The packets handed
  // in are ignored until Arm() (the reader has carried out the seek).
  void Begin(const ExportRequest& request);
  void Arm();
  bool Armed() const { return armed_.load(); }
  bool Active() const { return active_.load(); }

  // Reader thread. True while the export goes on; false when it ended with
  // this packet (or had ended), so the reader clears its request.
  bool Packet(const SourcePacket& packet);
  // Reader thread: the recording ran out before the end. The outputs are
  // finished and the result says it stopped early.
  void SourceEnded();

  // Any thread: ends a running export and removes its files. True when one
  // was running.
  bool Cancel();

  ExportResult LastResult() const;

 private:
  struct Channel {
    AviOutput output;
    bool seen = false;     // a video packet of it came since the seek
    bool done = false;     // its end packet was written (or passed without a picture)
  };

  bool HandlePacket(const SourcePacket& p, std::string* error, std::string* failedPath);
  bool OpenChannel(int c, const SourcePacket& p, std::string* error);
  void NoteProgress(int64_t timeMs);
  void NoteGps(const SourcePacket& p);
  bool AllDone() const;
  // End states; the lock held. Fill result_ and return it for the callback.
  void FinishAll(ExportResult::Outcome outcome);
  void Fail(const std::string& path, const std::string& reason);
  void RemoveAll();
  bool WriteManifest(std::string* error);
  bool WriteGpx(std::string* error);
  std::string SidecarBase() const;
  void Ended(std::unique_lock<std::mutex>& lock);

  mutable std::mutex mutex_;
  Callbacks callbacks_;          // set before use, read under mutex_
  std::atomic<int>* endFlag_ = nullptr;  // set before use
  std::atomic<bool> active_{false};
  std::atomic<bool> armed_{false};
  std::atomic<bool> cancel_{false};
  // Guarded by mutex_:
  ExportRequest request_;
  std::array<Channel, 4> channels_;
  std::vector<std::string> sidecars_;
  ExportResult result_;
  int lastPercent_ = 0;
  bool havePercent_ = false;
  bool tellProgress_ = false;    // the last packet gave a new percent
  std::unique_ptr<vehicle::GpsState> gps_;
  struct Fix {
    double lat, lon, ele;
    int64_t time;
  };
  std::vector<Fix> fixes_;
};

}  // namespace avexport
