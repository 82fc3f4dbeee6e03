// libFuzzer target: arbitrary packets through the sound decoders, as the
// sound player's decode thread hands them over (HiSilicon voice frames and
// Microsoft ADPCM blocks), one decoder of each kind for the whole run.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "media/ac_adpcm_decoder.h"
#include "media/ac_hisi_voice_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static media::ACHisiVioceDecoder voice;
  static media::ACADPCMDecoder adpcm;
  if (size < 1) return 0;
  // The first byte picks the decoder; the rest is the payload, copied so the
  // fuzzer sees reads past its end.
  std::vector<uint8_t> payload(data + 1, data + size);
  int outLength = 0;
  unsigned char* out = nullptr;
  if (data[0] & 1)
    out = voice.Decode(69632, payload.data(), static_cast<int>(payload.size()), &outLength, 0, 0, nullptr);
  else
    out = adpcm.Decode(69638, payload.data(), static_cast<int>(payload.size()), &outLength, 0, 0, nullptr);
  if (out && outLength > 0) {
    // Touch every byte reported, so an over-long length shows as a bad read.
    unsigned sum = 0;
    for (int i = 0; i < outLength; ++i) sum += out[i];
    if (sum == 0xFFFFFFFFu) __builtin_trap();  // keeps the loop from being optimised away
  }
  return 0;
}
