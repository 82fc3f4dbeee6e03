// H.264 through libavcodec's libx264: no B-frames, no look-ahead, one thread,
// a key frame (IDR with SPS and PPS in band) exactly every `gop` frames, so
// that every packet decodes to its own picture at once and the output is the
// same from run to run.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "synth/picture.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace krvsynth {

struct EncodedPacket {
  std::vector<uint8_t> data;
  bool key = false;
  int64_t frameIndex = 0;
};

class H264Encoder {
 public:
  H264Encoder();
  ~H264Encoder();
  H264Encoder(const H264Encoder&) = delete;
  H264Encoder& operator=(const H264Encoder&) = delete;

  bool Open(int width, int height, int fps, int gop, int64_t bitRate, std::string* error);
  // The picture to draw the next frame into (valid until the next Encode).
  PlanarPicture Picture();
  // Encodes the picture drawn for frame `frameIndex`; the packet comes out at once.
  bool Encode(int64_t frameIndex, EncodedPacket* out, std::string* error);

 private:
  struct Deleter {
    void operator()(AVCodecContext* c) const;
    void operator()(AVFrame* f) const;
    void operator()(AVPacket* p) const;
  };
  std::unique_ptr<AVCodecContext, Deleter> ctx_;
  std::unique_ptr<AVFrame, Deleter> frame_;
  std::unique_ptr<AVPacket, Deleter> pkt_;
  int gop_ = 25;
};

}  // namespace krvsynth
