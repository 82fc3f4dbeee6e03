// HiSilicon voice decoder: one voice frame per packet in, up to 481 16-bit
// samples (mono, 8000 Hz) out, in the decoder's own 962-byte buffer. Calls
// the voice engine (hi_voice.h) without CodecLock.
#pragma once

#include <memory>

#include "media/ac_coder.h"

namespace media {

class ACHisiVioceDecoder : public ACDecoder {
 public:
  static constexpr int kOutputSamples = 481;
  static constexpr int kOutputBytes = kOutputSamples * 2;  // 962
  static constexpr int kResetMode = 35;

  ACHisiVioceDecoder();
  ~ACHisiVioceDecoder() override;

  // See ACDecoder::Decode: `first` is the packet type; width, height and
  // output are not used. The whole payload is one voice frame. Null for a
  // null data, a failed reset (tried again on the next call), a frame whose
  // header is malformed or claims more bytes than the packet holds, a step
  // index above 88, or a frame of 482 samples or more.
  unsigned char* Decode(int first, const unsigned char* data, int length, int* outLength, int width, int height,
                        unsigned char* output) override;
  int Open() override;
  int IsOpened() override;

 private:
  int opened_ = 0;
  int openedCompanion_ = 0;
  int firstCall_ = 1;
  std::unique_ptr<int16_t[]> output_;  // kOutputSamples, allocated at construction
  alignas(8) unsigned char state_[16] = {};
};

}  // namespace media
