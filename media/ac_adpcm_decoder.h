// Microsoft ADPCM audio decoder, over libavcodec: one packet (one ADPCM
// block) in, 16-bit PCM, mono, 8000 Hz out, in the decoder's own 192000-byte
// buffer. Takes CodecLock itself around the set-up and each decode.
//
// A failed set-up writes "pCodec not found\n" or "could not open pCodec\n"
// to the standard error stream, yields null, and is tried again on the next
// call.
#pragma once

#include <memory>

#include "media/ac_coder.h"
#include "media/codec_map.h"

struct AVCodec;

namespace media {

class ACADPCMDecoder : public ACDecoder {
 public:
  static constexpr int kOutputBytes = 192000;
  // Largest packet accepted (the largest block libavcodec writes).
  static constexpr int kMaxPacketBytes = 8192;

  // `codecId` is the container's identifier of the stream; the sound output
  // makes this decoder for Microsoft ADPCM (69638).
  explicit ACADPCMDecoder(int codecId = AC_CODEC_ADPCM_MS);
  ~ACADPCMDecoder() override;

  // See ACDecoder::Decode: `first` is the packet type; width, height and
  // output are not used. Null for a null data, a failed set-up, a packet
  // longer than kMaxPacketBytes, or a packet that yields no sound.
  unsigned char* Decode(int first, const unsigned char* data, int length, int* outLength, int width, int height,
                        unsigned char* output) override;
  int Open() override;
  int IsOpened() override;

 private:
  bool SetUp();

  const int codecId_;
  int opened_ = 0;
  int openedCompanion_ = 0;
  int firstCall_ = 1;
  std::unique_ptr<unsigned char[]> output_;  // kOutputBytes, allocated at construction
  const AVCodec* codec_ = nullptr;
  struct Handles;
  std::unique_ptr<Handles> av_;
};

}  // namespace media
