// HiSilicon voice frames: IMA (DVI4) ADPCM behind a 4-byte frame header.
#include "media/hi_voice.h"

#include <cstring>

namespace {

constexpr int16_t kStepTable[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

constexpr int kIndexTable[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

constexpr uint32_t kDecoderMagic = 0x44564948;  // "HIVD"
constexpr uint32_t kEncoderMagic = 0x45564948;  // "HIVE"
constexpr int kMaxStepIndex = 88;

// The state as it sits in the caller's 16 bytes (copied in and out, so the
// caller's buffer needs no alignment).
struct VoiceState {
  uint32_t magic;
  int32_t mode;
  int32_t stepIndex;  // encoder: carried from frame to frame
  uint32_t frames;
};
static_assert(sizeof(VoiceState) == HI_VOICE_STATE_BYTES);

VoiceState load(const void* state) {
  VoiceState s;
  std::memcpy(&s, state, sizeof s);
  return s;
}

void store(void* state, const VoiceState& s) { std::memcpy(state, &s, sizeof s); }

int clampIndex(int i) { return i < 0 ? 0 : (i > kMaxStepIndex ? kMaxStepIndex : i); }

int clampSample(int v) { return v < -32768 ? -32768 : (v > 32767 ? 32767 : v); }

// Reconstruction of one 4-bit code: the difference is (2 |code| + 1) x step
// / 8, computed exactly (the IMA reference adds step, step/2, step/4 and
// step/8 after truncating each, which can come out a little lower). This is
// how libavcodec reconstructs IMA ADPCM in WAV files, so its decoder checks
// ours bit for bit. Encoder and decoder both use it, so the encoder tracks
// exactly what the decoder will produce.
int expand(int code, int& predictor, int& stepIndex) {
  const int step = kStepTable[stepIndex];
  const int diff = ((2 * (code & 7) + 1) * step) >> 3;
  predictor = clampSample((code & 8) ? predictor - diff : predictor + diff);
  stepIndex = clampIndex(stepIndex + kIndexTable[code]);
  return predictor;
}

// The code whose reconstruction interval holds the sample: |difference| in
// steps of step / 4, at most 7, with the sign in bit 3.
int quantise(int sample, int predictor, int stepIndex) {
  const int step = kStepTable[stepIndex];
  const int delta = sample - predictor;
  const int magnitude = (delta < 0 ? -delta : delta) * 4 / step;
  return (magnitude > 7 ? 7 : magnitude) | (delta < 0 ? 8 : 0);
}

int reset(void* state, int mode, uint32_t magic) {
  if (state == nullptr) return HI_VOICE_ERR_NULL;
  if (mode != HI_VOICE_MODE_ADPCM_IMA) return HI_VOICE_ERR_MODE;
  store(state, VoiceState{magic, mode, 0, 0});
  return HI_VOICE_OK;
}

}  // namespace

extern "C" {

int HI_VOICE_DecReset(void* state, int mode) { return reset(state, mode, kDecoderMagic); }

int HI_VOICE_EncReset(void* state, int mode) { return reset(state, mode, kEncoderMagic); }

int HI_VOICE_FrameBytes(const unsigned char* frame, int available) {
  if (frame == nullptr) return HI_VOICE_ERR_NULL;
  if (available < HI_VOICE_HEADER_BYTES) return HI_VOICE_ERR_HEADER;
  if (frame[0] != 0x00 || frame[1] != 0x01 || frame[3] != 0x00) return HI_VOICE_ERR_HEADER;
  const int words = frame[2];
  if (words < 2) return HI_VOICE_ERR_HEADER;  // no room for the ADPCM header
  const int bytes = HI_VOICE_HEADER_BYTES + 2 * words;
  if (bytes > available) return HI_VOICE_ERR_HEADER;
  return bytes;
}

int HI_VOICE_DecodeFrame(void* state, const unsigned char* frame, int16_t* pcm, int* samples) {
  if (state == nullptr || frame == nullptr || pcm == nullptr || samples == nullptr) return HI_VOICE_ERR_NULL;
  VoiceState s = load(state);
  if (s.magic != kDecoderMagic || s.mode != HI_VOICE_MODE_ADPCM_IMA) return HI_VOICE_ERR_MODE;
  const int bytes = HI_VOICE_FrameBytes(frame, HI_VOICE_MAX_FRAME_BYTES);
  if (bytes < 0) return bytes;
  const unsigned char* p = frame + HI_VOICE_HEADER_BYTES;
  const int codeBytes = bytes - HI_VOICE_HEADER_BYTES - 4;
  const int count = 1 + 2 * codeBytes;
  int stepIndex = p[2];
  if (stepIndex > kMaxStepIndex) return HI_VOICE_ERR_STEP;
  if (*samples < count) return HI_VOICE_ERR_SPACE;

  int predictor = static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
  int16_t* out = pcm;
  *out++ = static_cast<int16_t>(predictor);
  for (int i = 0; i < codeBytes; ++i) {
    const int b = p[4 + i];
    *out++ = static_cast<int16_t>(expand(b & 0x0F, predictor, stepIndex));
    *out++ = static_cast<int16_t>(expand(b >> 4, predictor, stepIndex));
  }
  *samples = count;
  ++s.frames;
  store(state, s);
  return HI_VOICE_OK;
}

int HI_VOICE_EncodeFrame(void* state, const int16_t* pcm, int count, unsigned char* frame, int* frameBytes) {
  if (state == nullptr || pcm == nullptr || frame == nullptr || frameBytes == nullptr) return HI_VOICE_ERR_NULL;
  VoiceState s = load(state);
  if (s.magic != kEncoderMagic || s.mode != HI_VOICE_MODE_ADPCM_IMA) return HI_VOICE_ERR_MODE;
  if (count < 1 || count > HI_VOICE_MAX_SAMPLES || (count - 1) % 4 != 0) return HI_VOICE_ERR_SAMPLES;
  const int codeBytes = (count - 1) / 2;
  const int bytes = HI_VOICE_HEADER_BYTES + 4 + codeBytes;
  if (*frameBytes < bytes) return HI_VOICE_ERR_SPACE;

  int stepIndex = clampIndex(s.stepIndex);
  int predictor = pcm[0];
  frame[0] = 0x00;
  frame[1] = 0x01;
  frame[2] = static_cast<unsigned char>((bytes - HI_VOICE_HEADER_BYTES) / 2);
  frame[3] = 0x00;
  unsigned char* p = frame + HI_VOICE_HEADER_BYTES;
  const auto first = static_cast<uint16_t>(pcm[0]);
  p[0] = static_cast<unsigned char>(first & 0xFF);
  p[1] = static_cast<unsigned char>(first >> 8);
  p[2] = static_cast<unsigned char>(stepIndex);
  p[3] = 0;
  for (int i = 0; i < codeBytes; ++i) {
    const int lo = quantise(pcm[1 + 2 * i], predictor, stepIndex);
    expand(lo, predictor, stepIndex);
    const int hi = quantise(pcm[2 + 2 * i], predictor, stepIndex);
    expand(hi, predictor, stepIndex);
    p[4 + i] = static_cast<unsigned char>(lo | (hi << 4));
  }
  s.stepIndex = stepIndex;
  ++s.frames;
  store(state, s);
  *frameBytes = bytes;
  return HI_VOICE_OK;
}

}  // extern "C"
