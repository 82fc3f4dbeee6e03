// The RTSP peer of the live tests (tests/live/rtsp_server.py) run as a child
// process: started, its port read, killed by its PID.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace livetest {

class RtspPeer {
 public:
  RtspPeer() = default;
  ~RtspPeer() { Kill(); }
  RtspPeer(const RtspPeer&) = delete;
  RtspPeer& operator=(const RtspPeer&) = delete;

  // Starts the server with these options (plus --push-log when pushLog is
  // set); port 0 = any. False when it did not print its port in 20 s.
  bool Start(const std::vector<std::string>& options = {}, int port = 0, const std::string& pushLog = "");
  // SIGKILL and reap. Safe to call twice.
  void Kill();
  int Port() const { return port_; }
  std::string Url(int channel, const std::string& userInfo = "") const;

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

// The frame number of a picture's luma barcode (16 blocks of 22 pixels in
// rows 0-31), read from a packed YUY2 picture of at least 352 x 32.
int BarcodeOfYuy2(const unsigned char* picture, int width, int height);

// The push log: (channel, frame) -> CLOCK_MONOTONIC nanoseconds.
std::map<std::pair<int, int>, int64_t> ReadPushLog(const std::string& path);

// CLOCK_MONOTONIC in nanoseconds.
int64_t MonotonicNs();

// What a recording holds, read with the container's probe and reader.
struct Probed {
  int64_t durationUs = 0;
  int videoStreams = 0;
  int width = 0, height = 0;
  int firstId = -1;          // stream identifier of the first packet
  bool firstKey = false;
  bool firstHasSps = false;  // the first packet carries an SPS
  int packets = 0;
  int endResult = 0;         // the reader's last result: -32 at a clean end
};
Probed ProbeFile(const std::string& path);

// A fresh folder under /tmp (removed by the caller).
std::string TempFolder(const std::string& tag);

}  // namespace livetest
