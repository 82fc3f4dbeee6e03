// The live streaming library: up to four channels of a recorder, each an
// RTSP stream over TCP read by its own thread, handed picture by picture to
// the video filter under the channel's index and, on request, recorded to
// KRV files.
//
// One thread per open channel: it checks the recorder is reachable (a TCP
// connect completed within 0.3 s), opens the stream with libavformat (TCP
// transport, video only, a 3 s socket time-out, an interrupt callback that
// ends every wait on close), then reads access units. Each goes to the
// filter with the picture size from the SPS; a key frame without SPS and
// PPS in band gets the SDP's in front. When the filter's ring is full the
// channel drops packets up to the next key frame, so reading never waits on
// the decoder. A stream that ends or breaks after playing is reopened with
// a back-off of 1, 2, 4 ... 30 s; a recording goes on in a new file.
//
// States are told to the observer (on the channel's thread; it must not
// block); the calls below never wait on the network. The calls come from
// one driving thread (the window's, or the tool's). Credentials never
// appear in a state, a log line or an address shown.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace media {
class ACMovieFilter;
}

namespace live {

constexpr int kLiveChannels = 4;

enum class LiveState : int {
  kClosed = 0,
  kConnecting,
  kPlaying,
  kNotReachable,  // no completed connect within the wait
  kRefused,       // nothing listens on the port
  kAuthFailed,    // the recorder refused the credentials
  kLost,          // the stream ended or broke; reconnecting
  kFailed,        // another failure; see the reason
};

struct LiveEvent {
  int channel = 0;
  LiveState state = LiveState::kClosed;
  std::string reason;      // detail for kFailed and kLost (no credentials)
  int retryInSeconds = 0;  // kLost: the next attempt
  bool recording = false;
};

// A fixed English text for a state, e.g. "Not reachable".
const char* LiveStateText(LiveState state);
// "Channel 2: Lost, retrying in 4 s" and the like.
std::string LiveEventText(const LiveEvent& event);

struct LiveCredentials {
  std::string username;
  std::string password;
};

// What a channel did, counted by its thread.
struct LiveChannelStats {
  int64_t packets = 0;        // access units read
  int64_t keyFrames = 0;
  int64_t pushed = 0;         // taken by the filter
  int64_t dropped = 0;        // left out while the filter's ring was full
  int64_t recorded = 0;       // written to recordings
  int64_t recordFiles = 0;    // recordings begun
  int64_t connects = 0;       // streams opened
  int width = 0;
  int height = 0;
  LiveState state = LiveState::kClosed;
};

class LiveRtp {
 public:
  LiveRtp();
  ~LiveRtp();  // CloseAll
  LiveRtp(const LiveRtp&) = delete;
  LiveRtp& operator=(const LiveRtp&) = delete;

  // The filter live pictures go to (null: read and record only). Set before
  // the first channel opens; its channels are marked live while open.
  void SetMovieFilter(media::ACMovieFilter* filter);
  // Told every state change (channel threads; must not block). Set before
  // the first channel opens.
  void SetObserver(std::function<void(const LiveEvent&)> observer);

  // Opens channel `channel` (0..3) on `url` (rtsp://host[:port]/path),
  // recordings to go to `recFolder` ("" = $HOME/KRRec/). An open channel is
  // closed first (its recording finished). 0 for a channel outside 0..3 or
  // a malformed address, else 1 (the outcome is told as states).
  int OpenChannel(int channel, const char* url, const char* recFolder, const LiveCredentials* credentials = nullptr);
  // Ends the channel's thread (bounded wait) and finishes its recording.
  // Closing a channel that is not open is allowed.
  void CloseChannel(int channel);
  // Closes every channel: all are told to stop first, then each is waited for.
  void CloseAll();
  // Starts recording an open channel from its next key frame. 1 when the
  // recording is set up (the folder can be written), 0 otherwise (*error
  // says why when given).
  int StartRec(int channel, std::string* error = nullptr);
  // As StartRec, into the file `path` exactly (it must not exist); a split
  // goes on in PATH-2.krv, PATH-3.krv ... Used by the command-line tool.
  int StartRecTo(int channel, const std::string& path, std::string* error = nullptr);
  void StopRec(int channel);
  // 0 = not recording, 1 = recording (or waiting for its first key frame).
  int GetRecStatus(int channel) const;

  bool IsOpen(int channel) const;
  bool AnyOpen() const;
  LiveChannelStats Stats(int channel) const;
  // The recordings a channel has begun since the library was made, open or
  // closed, oldest first (for tests and tools).
  std::vector<std::string> RecordedFiles(int channel) const;

  // The bounded wait for one channel's thread.
  static constexpr int kCloseWaitMs = 900;

 private:
  struct Channel;
  // The recordings begun, by channel; shared with the channel threads.
  struct RecordedList {
    std::mutex lock;
    std::array<std::vector<std::string>, kLiveChannels> paths;  // guarded by lock
  };
  std::shared_ptr<RecordedList> files_;
  std::atomic<media::ACMovieFilter*> filter_{nullptr};
  std::shared_ptr<const std::function<void(const LiveEvent&)>> observer_;
  std::array<std::unique_ptr<Channel>, kLiveChannels> channels_;
};

}  // namespace live
