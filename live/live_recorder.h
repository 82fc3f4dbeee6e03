// The recording of one live channel: KRV files of one video stream whose
// identifier is the channel, so that a recording plays back in the pane the
// channel was shown in.
//
// Each file starts at a key frame, holds at most kSplitUs of pictures and
// is never overwritten: a name that exists already is not used. Every end
// (Finish, or the destructor) writes the trailer, so the file says its
// duration and size.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "krvreader/krv.h"

namespace live {

// A new file every 30 minutes of pictures.
constexpr int64_t kSplitUs = 30LL * 60 * 1000000;

// The manual record type: type digits "1000".
constexpr char kLiveRecordTypes[] = "1000";

// FOLDER/YYYYMMDD/YYYYMMDDhhmmss_1000_CC.krv for the local time `when` and
// channel (CC = channel + 1, two digits). FOLDER "" means $HOME/KRRec/.
std::string LiveRecordPath(const std::string& folder, int channel, std::time_t when);

// Makes the day folder and creates, exclusively, the first free name of
// channel `channel` from `when` on (a taken name moves the time one second
// on). "" with *error set when no file could be made.
std::string CreateLiveRecordFile(const std::string& folder, int channel, std::time_t when, std::time_t* used,
                                 std::string* error);

// Makes the recording folder ("" = $HOME/KRRec/) and checks it can be
// written. False with *error.
bool PrepareRecordFolder(const std::string& folder, std::string* error);

class LiveRecorder {
 public:
  struct Stream {
    int channel = 0;
    int width = 0;
    int height = 0;
    int framesPerSecond = 25;
  };

  LiveRecorder() = default;
  ~LiveRecorder() { Finish(); }
  LiveRecorder(const LiveRecorder&) = delete;
  LiveRecorder& operator=(const LiveRecorder&) = delete;

  // Opens `path` (which the caller has created, empty or new) and writes the
  // header. startSeconds is the name's time read as UTC. False with *error.
  bool Begin(const std::string& path, const Stream& stream, int64_t startSeconds, std::string* error);
  // One access unit; `timeUs` on the source's time line. The first packet
  // of a file must be a key frame (the caller waits for one). Times going
  // backwards are moved to just after the previous one. False on a write
  // error (the file is finished then).
  bool Write(const unsigned char* data, int size, bool key, int64_t timeUs, int64_t durationUs);
  // True when the next key frame at timeUs should start a new file.
  bool SplitDue(int64_t timeUs) const { return open_ && timeUs - firstUs_ >= kSplitUs; }
  // Writes the trailer and closes the file. False on a write error.
  bool Finish();

  bool Open() const { return open_; }
  const std::string& Path() const { return path_; }
  int64_t Packets() const { return packets_; }

 private:
  krv::RecordingContext ctx_{};
  bool open_ = false;
  std::string path_;
  int64_t firstUs_ = 0;
  int64_t lastUs_ = -1;
  int64_t packets_ = 0;
};

}  // namespace live
