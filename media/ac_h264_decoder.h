// H.264 video decoder of one channel, over libavcodec.
//
// Decodes one access unit per call into the caller's buffer as a planar YUV
// 4:2:0 picture laid out for the stored width and height. The caller holds
// CodecLock around every call. The library is set up on the first call and
// again on the next call after a failed set-up.
//
// Picture sizes come from the recording and are not trusted: a stored size
// that is not even, is larger than 704 x 576 or does not fit the caller's
// buffer, and a decoded picture that is odd-sized, not 4:2:0 or larger than
// the stored size, make the call return null without writing the buffer.
// The packet still goes through the decoder, so the pictures that follow
// decode as usual.
#pragma once

#include <cstdint>
#include <memory>

#include "media/ac_coder.h"
#include "media/ac_records.h"

struct AVCodec;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace media {

class ACH264Decoder : public ACDecoder {
 public:
  // Largest access unit accepted: the size of a packet slot.
  static constexpr int kMaxPacketBytes = kMediaBufferBytes;

  ACH264Decoder();
  ~ACH264Decoder() override;

  // See ACDecoder::Decode. Returns `output` with *outLength = width x height
  // x 3 / 2 whether or not a new picture came out (without one, the buffer
  // keeps the previous picture); null for a null data or output, a refused
  // size (above), a packet longer than kMaxPacketBytes, or a failed set-up.
  unsigned char* Decode(int first, const unsigned char* data, int length, int* outLength, int width, int height,
                        unsigned char* output) override;
  void SetWidth(int width) override;
  void SetHeight(int height) override;
  int Open() override;
  int IsOpened() override;

  // The size in bytes of the caller's output buffer. Until set, the buffer
  // is taken to hold the largest planar picture (704 x 576 x 3 / 2 bytes).
  void SetOutputCapacity(int bytes);
  // True when the last Decode wrote a new picture into the output.
  bool LastHadPicture() const { return lastHadPicture_; }

 private:
  bool SetUp();
  bool CopyPicture(const AVFrame* frame, unsigned char* output) const;
  bool StoredSizeFits() const;

  int opened_ = 0;
  int openedCompanion_ = 0;
  int firstCall_ = 1;
  int width_ = 0;
  int height_ = 0;
  int outputCapacity_ = kMaxPlanarPictureBytes;
  bool lastHadPicture_ = false;
  const AVCodec* codec_ = nullptr;
  struct Handles;
  std::unique_ptr<Handles> av_;
};

}  // namespace media
