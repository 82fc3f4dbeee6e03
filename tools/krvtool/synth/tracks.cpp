#include "synth/tracks.h"

#include <cmath>

namespace krvsynth {

std::vector<uint8_t> AudioBlock(int channel, int64_t index) {
  constexpr double kPi = 3.14159265358979323846;
  const double freq = 400.0 + 200.0 * (channel & 3);
  int16_t pcm[kAdpcmBlockSamples];
  int64_t first = index * kAdpcmBlockSamples;
  for (int i = 0; i < kAdpcmBlockSamples; ++i) {
    int64_t n = first + i;
    // The phase is taken modulo one period so that it stays exact in long files.
    int64_t period = kAudioRate * 10;
    double t = static_cast<double>(n % period) / kAudioRate;
    pcm[i] = static_cast<int16_t>(std::lround(6000.0 * std::sin(2.0 * kPi * freq * t)));
  }
  std::vector<uint8_t> block(kAdpcmBlockBytes);
  EncodeAdpcmMsBlock(pcm, kAdpcmBlockBytes, block.data());
  return block;
}

}  // namespace krvsynth
