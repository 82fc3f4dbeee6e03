#include "synth/tracks.h"

#include <cmath>

#include "media/hi_voice.h"

namespace krvsynth {

namespace {

// Samples first .. first + count - 1 of the channel's tone (400, 600, 800,
// 1000 Hz).
void ToneSamples(int channel, int64_t first, int count, int16_t* pcm) {
  constexpr double kPi = 3.14159265358979323846;
  const double freq = 400.0 + 200.0 * (channel & 3);
  for (int i = 0; i < count; ++i) {
    int64_t n = first + i;
    // The phase is taken modulo one period so that it stays exact in long files.
    int64_t period = kAudioRate * 10;
    double t = static_cast<double>(n % period) / kAudioRate;
    pcm[i] = static_cast<int16_t>(std::lround(6000.0 * std::sin(2.0 * kPi * freq * t)));
  }
}

}  // namespace

std::vector<uint8_t> AudioBlock(int channel, int64_t index) {
  int16_t pcm[kAdpcmBlockSamples];
  ToneSamples(channel, index * kAdpcmBlockSamples, kAdpcmBlockSamples, pcm);
  std::vector<uint8_t> block(kAdpcmBlockBytes);
  EncodeAdpcmMsBlock(pcm, kAdpcmBlockBytes, block.data());
  return block;
}

std::vector<uint8_t> HisiFrame(int channel, int64_t index) {
  int16_t pcm[kHisiFrameSamples];
  ToneSamples(channel, index * kHisiFrameSamples, kHisiFrameSamples, pcm);
  // Every frame carries its own first sample and step index; the encoder's
  // step index starts afresh per frame so that frames stand alone.
  unsigned char state[HI_VOICE_STATE_BYTES] = {};
  std::vector<uint8_t> frame(HI_VOICE_MAX_FRAME_BYTES);
  int bytes = static_cast<int>(frame.size());
  if (HI_VOICE_EncReset(state, HI_VOICE_MODE_ADPCM_IMA) != 0 ||
      HI_VOICE_EncodeFrame(state, pcm, kHisiFrameSamples, frame.data(), &bytes) != 0)
    return {};
  frame.resize(static_cast<size_t>(bytes));
  return frame;
}

}  // namespace krvsynth
