// A Microsoft ADPCM block encoder, mono. libavcodec's encoder accepts only
// power-of-two block sizes; the recorder writes 2036-byte blocks.
//
// A mono block: predictor index (1 byte), initial delta (16-bit LE), the
// second and then the first sample (16-bit LE each), then 4-bit codes, high
// nibble first. N bytes hold 2 + 2 * (N - 7) samples.
#pragma once

#include <cstdint>
#include <vector>

namespace krvsynth {

constexpr int kAdpcmBlockBytes = 2036;
constexpr int kAdpcmBlockSamples = 2 + 2 * (kAdpcmBlockBytes - 7);  // 4060

constexpr int AdpcmSamplesPerBlock(int blockBytes) { return 2 + 2 * (blockBytes - 7); }

// Encodes AdpcmSamplesPerBlock(blockBytes) samples into one block of
// blockBytes bytes (blockBytes >= 8). When `decoded` is given it receives the
// samples a standard decoder reconstructs from the block.
void EncodeAdpcmMsBlock(const int16_t* pcm, int blockBytes, uint8_t* out, int16_t* decoded = nullptr);

// The codec-specific part of the WAVEFORMATEX of Microsoft ADPCM (32 bytes):
// samples per block, the number of coefficient pairs (7) and the pairs.
std::vector<uint8_t> AdpcmMsExtradata(int samplesPerBlock);

}  // namespace krvsynth
