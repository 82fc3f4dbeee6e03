#include "synth/adpcm_ms.h"

#include <cstdlib>
#include <cstring>

namespace krvsynth {

namespace {

constexpr int kCoef1[7] = {256, 512, 0, 192, 240, 460, 392};
constexpr int kCoef2[7] = {0, -256, 0, 64, 0, -208, -232};
constexpr int kAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230};

struct State {
  int sample1, sample2, delta, coef1, coef2;
};

int clip16(int v) { return v < -32768 ? -32768 : v > 32767 ? 32767 : v; }

// One code: the nibble nearest to the sample, and the decoder's state update.
int encodeSample(State& s, int sample) {
  // Truncating division, as the decoder does it.
  int predictor = (s.sample1 * s.coef1 + s.sample2 * s.coef2) / 256;
  int diff = sample - predictor;
  // Nearest multiple of delta, halves away from zero.
  int code = diff >= 0 ? (2 * diff + s.delta) / (2 * s.delta) : -((-2 * diff + s.delta) / (2 * s.delta));
  if (code > 7) code = 7;
  if (code < -8) code = -8;
  int nibble = code & 0x0F;
  s.sample2 = s.sample1;
  s.sample1 = clip16(predictor + code * s.delta);
  s.delta = kAdaptation[nibble] * s.delta >> 8;
  if (s.delta < 16) s.delta = 16;
  return nibble;
}

int64_t encodeWith(const int16_t* pcm, int samples, int predictor, int delta, uint8_t* codes, int16_t* decoded) {
  State s{pcm[1], pcm[0], delta, kCoef1[predictor], kCoef2[predictor]};
  int64_t error = 0;
  for (int i = 2; i < samples; ++i) {
    int nibble = encodeSample(s, pcm[i]);
    int64_t e = s.sample1 - pcm[i];
    error += e * e;
    if (codes) {
      int byte = (i - 2) / 2;
      if ((i - 2) % 2 == 0) codes[byte] = static_cast<uint8_t>(nibble << 4);
      else codes[byte] = static_cast<uint8_t>(codes[byte] | nibble);
    }
    if (decoded) decoded[i] = static_cast<int16_t>(s.sample1);
  }
  return error;
}

void putLe16(uint8_t* p, int v) {
  p[0] = static_cast<uint8_t>(v & 0xFF);
  p[1] = static_cast<uint8_t>(v >> 8 & 0xFF);
}

}  // namespace

void EncodeAdpcmMsBlock(const int16_t* pcm, int blockBytes, uint8_t* out, int16_t* decoded) {
  const int samples = AdpcmSamplesPerBlock(blockBytes);
  int delta = std::abs(pcm[1] - pcm[0]) / 4;
  if (delta < 16) delta = 16;
  // The predictor that reconstructs the block best.
  int best = 0;
  int64_t bestError = -1;
  for (int p = 0; p < 7; ++p) {
    int64_t e = encodeWith(pcm, samples, p, delta, nullptr, nullptr);
    if (bestError < 0 || e < bestError) {
      bestError = e;
      best = p;
    }
  }
  out[0] = static_cast<uint8_t>(best);
  putLe16(out + 1, delta);
  putLe16(out + 3, pcm[1]);
  putLe16(out + 5, pcm[0]);
  std::memset(out + 7, 0, static_cast<size_t>(blockBytes - 7));
  encodeWith(pcm, samples, best, delta, out + 7, decoded);
  if (decoded) {
    decoded[0] = pcm[0];
    decoded[1] = pcm[1];
  }
}

std::vector<uint8_t> AdpcmMsExtradata(int samplesPerBlock) {
  std::vector<uint8_t> x(4 + 7 * 4);
  putLe16(x.data(), samplesPerBlock);
  putLe16(x.data() + 2, 7);
  for (int i = 0; i < 7; ++i) {
    putLe16(x.data() + 4 + i * 4, kCoef1[i] & 0xFFFF);
    putLe16(x.data() + 6 + i * 4, kCoef2[i] & 0xFFFF);
  }
  return x;
}

}  // namespace krvsynth
