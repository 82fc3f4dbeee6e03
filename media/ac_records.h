// The records that travel between the stations of the pipeline: compressed
// packets, decoded pictures and timestamp entries, and the timestamp markers.
#pragma once

#include <cstdint>

namespace media {

// Recording time in the pipeline: signed 64-bit milliseconds. Negative values
// are markers and travel through the sound player, the video filter and the
// clock.
constexpr int64_t DTS_BEGIN = -1;   // a recording begins; consumers reset their reference times
constexpr int64_t DTS_SWITCH = -2;  // the reader is switching files; queued pictures are dropped
constexpr int64_t DTS_END = -3;     // the recording has ended

inline bool acIsMarker(int64_t dts) { return dts == DTS_BEGIN || dts == DTS_SWITCH || dts == DTS_END; }

// The largest picture of the recorder and the size of every picture and
// packet buffer (704 x 576 x 2, a YUY2 picture of that size).
constexpr int kMaxPictureWidth = 704;
constexpr int kMaxPictureHeight = 576;
constexpr int kMediaBufferBytes = kMaxPictureWidth * kMaxPictureHeight * 2;  // 811008
// A planar YUV 4:2:0 picture of the largest size.
constexpr int kMaxPlanarPictureBytes = kMaxPictureWidth * kMaxPictureHeight * 3 / 2;  // 608256

// One compressed packet: one slot of ACMediaList.
struct ACMediaPacket {
  int32_t lead0 = -1;  // not used
  int32_t lead1 = 0;   // not used
  int32_t type = 0;    // the stream's codec identifier, as the producer gives it
  int64_t dts = 0;     // ms; negative = marker
  unsigned char* data = nullptr;  // owned by the list, allocated once
  int32_t length = 0;
  int32_t capacity = 0;
  int32_t width = 0;   // video; 0 for audio and markers
  int32_t height = 0;
};

// One decoded picture: one slot of ACMovieList. Packed YUY2 (Y0 U Y1 V for
// each pair of pixels), rows of width x 2 bytes without padding.
struct ACMovieFrame {
  int64_t dts = 0;        // ms; negative = marker
  int32_t halfWidth = 0;  // two-pixel groups in a row
  int32_t width = 0;
  int32_t height = 0;
  unsigned char* buffer = nullptr;  // owned by the list, kMediaBufferBytes
  ACMovieFrame* next = nullptr;     // next slot of the same chain
};

// One slot of ACDTSList.
struct ACDTSEntry {
  int32_t inUse = 0;
  int64_t key = 0;    // DTS in ms, or a marker
  int64_t value = 0;  // for the clock: the recording's length in ms
  ACDTSEntry* next = nullptr;  // next entry in key order
};

}  // namespace media
