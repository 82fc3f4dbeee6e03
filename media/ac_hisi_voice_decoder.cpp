#include "media/ac_hisi_voice_decoder.h"

#include "media/hi_voice.h"

namespace media {

static_assert(sizeof(int16_t) * ACHisiVioceDecoder::kOutputSamples == ACHisiVioceDecoder::kOutputBytes);

ACHisiVioceDecoder::ACHisiVioceDecoder() : output_(new int16_t[kOutputSamples]) {}

ACHisiVioceDecoder::~ACHisiVioceDecoder() = default;

int ACHisiVioceDecoder::Open() {
  opened_ = 1;
  openedCompanion_ = 0;
  return 1;
}

int ACHisiVioceDecoder::IsOpened() { return opened_; }

unsigned char* ACHisiVioceDecoder::Decode(int first, const unsigned char* data, int length, int* outLength, int, int,
                                          unsigned char*) {
  (void)first;
  if (data == nullptr) return nullptr;
  if (firstCall_) {
    if (HI_VOICE_DecReset(state_, kResetMode) != 0) return nullptr;
    firstCall_ = 0;
  }
  if (!output_) return nullptr;
  // The engine reads as far as the frame's header says: make sure the packet
  // holds that much.
  if (HI_VOICE_FrameBytes(data, length) < 0) return nullptr;
  int n = kOutputBytes / 2;
  if (HI_VOICE_DecodeFrame(state_, data, output_.get(), &n) != 0 || n >= kOutputSamples + 1 || n < 0) return nullptr;
  if (outLength != nullptr) *outLength = n * 2;
  return reinterpret_cast<unsigned char*>(output_.get());
}

}  // namespace media
