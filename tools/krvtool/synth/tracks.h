// What the synthetic recordings carry, shared by the KRV and the AVI writers.
#pragma once

#include <cstdint>
#include <vector>

#include "synth/adpcm_ms.h"

namespace krvsynth {

constexpr int kAudioRate = 8000;
constexpr int64_t kAudioBlockUs = static_cast<int64_t>(kAdpcmBlockSamples) * 1000000 / kAudioRate;  // 507500
// Microsoft ADPCM at 8 kHz in 2036-byte blocks, in bits per second.
constexpr int kAudioBitRate = kAdpcmBlockBytes * 8 * kAudioRate / kAdpcmBlockSamples;

// Number of whole sound blocks that end within `seconds`.
inline int64_t AudioBlockCount(int seconds) { return static_cast<int64_t>(seconds) * kAudioRate / kAdpcmBlockSamples; }

// Block `index` of channel `channel`: a tone of its own per channel
// (400, 600, 800, 1000 Hz).
std::vector<uint8_t> AudioBlock(int channel, int64_t index);

// HiSilicon voice frames: 481 samples (60.125 ms) in a 248-byte frame.
constexpr int kHisiFrameSamples = 481;
constexpr int kHisiFrameBytes = 248;
constexpr int64_t kHisiFrameUs = static_cast<int64_t>(kHisiFrameSamples) * 1000000 / kAudioRate;  // 60125
constexpr int kHisiBitRate = kHisiFrameBytes * 8 * kAudioRate / kHisiFrameSamples;
inline int64_t HisiFrameCount(int seconds) { return static_cast<int64_t>(seconds) * kAudioRate / kHisiFrameSamples; }

// Frame `index` of channel `channel`, the same tone as AudioBlock's.
std::vector<uint8_t> HisiFrame(int channel, int64_t index);

// Video bit rate asked of the encoder: about 0.1 bit per pixel.
inline int64_t VideoBitRate(int width, int height, int fps) {
  int64_t r = static_cast<int64_t>(width) * height * fps / 10;
  return r < 32000 ? 32000 : r;
}

}  // namespace krvsynth
