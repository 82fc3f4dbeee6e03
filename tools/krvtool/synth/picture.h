// The synthetic picture of one channel at one frame: a moving gradient in the
// channel's colour, a bouncing box, and the channel number, frame number and
// time drawn in, so that frames can be told apart by eye and by checksum.
#pragma once

#include <cstdint>

namespace krvsynth {

struct PlanarPicture {
  uint8_t* y;
  uint8_t* u;
  uint8_t* v;
  int yStride;
  int uvStride;
  int width;   // even
  int height;  // even
};

// `wallClock` is seconds since 1970 of the frame's second, or -1 to draw the
// elapsed time only; `millis` the milliseconds within that second.
void DrawPicture(const PlanarPicture& pic, int channel, int64_t frameIndex, int64_t wallClock, int64_t elapsedSec,
                 int millis, uint32_t seed);

}  // namespace krvsynth
