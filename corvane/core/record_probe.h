// One look into a recording for the catalogue: duration, car number and, per
// video channel, bit rate, picture size and frame rate. Nothing is decoded.
#pragma once

#include <cstdint>
#include <string>

namespace corvane {

inline constexpr int kProbeChannels = 4;

struct ProbeFacts {
  int64_t durationUs = 0;   // 0 when unknown
  std::string carNumber;    // bytes as stored in the recording, at most 255
  int32_t videoBitrate[kProbeChannels] = {0, 0, 0, 0};  // bits per second
  int32_t width[kProbeChannels] = {0, 0, 0, 0};
  int32_t height[kProbeChannels] = {0, 0, 0, 0};
  int32_t frameRate[kProbeChannels] = {0, 0, 0, 0};  // frames per second
};

// The container's probe of a KRV recording. A file that cannot be opened
// leaves facts zero.
void ProbeKrv(const std::string& path, ProbeFacts* facts);
// The same for the file `name` in the folder open as dirFd, whose path is
// `path`, that the folder's listing showed to be a regular file (a folder
// scan has the folder open and its entries typed: the kernel then looks up
// one name instead of the whole path, and nobody asks what the file is).
void ProbeKrvAt(int dirFd, const std::string& name, const std::string& path, ProbeFacts* facts);

// The AVI probe through libavformat: reads the header and index only (no
// stream analysis, no decoding). Video streams in file order fill channels
// 0..3. A file that cannot be opened leaves facts as they are.
void ProbeAvi(const std::string& path, ProbeFacts* facts);

}  // namespace corvane
