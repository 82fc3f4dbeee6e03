// The HiSilicon voice engine: the frame codec of the recorder's voice
// channel (codec identifier 69632). Our own implementation of the vendor
// library's decoder calls, plus the matching encoder.
//
// Frame: a 4-byte header 00 01 LL 00, where LL is the number of 16-bit words
// that follow, then the payload: IMA (DVI4) ADPCM with the first sample as
// 16-bit little-endian, the step index (0..88), a reserved byte, then 4-bit
// codes, low nibble first. N code bytes decode to 1 + 2N samples; the
// recorder's frames carry 240 code bytes, 481 samples (248 bytes in all).
// Reset mode 35 selects this format. A code c reconstructs the difference
// (2 |c| + 1) x step / 8 exactly, as libavcodec's IMA ADPCM decoder does.
//
// Every call returns 0 on success and a negative HI_VOICE_ERR_* otherwise.
#pragma once

#include <cstdint>

extern "C" {

enum {
  HI_VOICE_STATE_BYTES = 16,  // size of a decoder or encoder state
  HI_VOICE_MODE_ADPCM_IMA = 35,
  HI_VOICE_HEADER_BYTES = 4,
  HI_VOICE_MAX_WORDS = 255,
  HI_VOICE_MAX_FRAME_BYTES = HI_VOICE_HEADER_BYTES + 2 * HI_VOICE_MAX_WORDS,  // 514
  HI_VOICE_MAX_SAMPLES = 4 * HI_VOICE_MAX_WORDS - 7,                          // 1013
};

enum {
  HI_VOICE_OK = 0,
  HI_VOICE_ERR_NULL = -1,     // a null state, frame or sample pointer
  HI_VOICE_ERR_MODE = -2,     // a reset mode other than 35, or a state never reset
  HI_VOICE_ERR_HEADER = -3,   // not 00 01 LL 00, or LL too small for the ADPCM header
  HI_VOICE_ERR_STEP = -4,     // step index above 88
  HI_VOICE_ERR_SPACE = -5,    // the output holds fewer samples or bytes than the frame needs
  HI_VOICE_ERR_SAMPLES = -6,  // a sample count the frame format cannot carry
};

// Decoder. `state` points to HI_VOICE_STATE_BYTES bytes.
int HI_VOICE_DecReset(void* state, int mode);
// Decodes one frame. On entry *samples is the room in `pcm` (in samples); on
// return the number decoded. `frame` must hold the whole frame as its header
// gives it: check that first with HI_VOICE_FrameBytes.
int HI_VOICE_DecodeFrame(void* state, const unsigned char* frame, int16_t* pcm, int* samples);

// The size in bytes of the frame at `frame` as its header tells, when the
// header is well-formed and the frame lies within `available` bytes;
// otherwise a negative HI_VOICE_ERR_*.
int HI_VOICE_FrameBytes(const unsigned char* frame, int available);

// Encoder. `state` points to HI_VOICE_STATE_BYTES bytes; the step index is
// carried from frame to frame.
int HI_VOICE_EncReset(void* state, int mode);
// Encodes `count` samples (1 + 4k for k = 0..253: 481 for the recorder's
// frames) into one frame. On entry *frameBytes is the room in `frame`; on
// return the size of the frame written.
int HI_VOICE_EncodeFrame(void* state, const int16_t* pcm, int count, unsigned char* frame, int* frameBytes);

}  // extern "C"
