// Picture conversions of the display path: the decoders' planar YUV 4:2:0
// into the packed YUY2 of the picture pools, and YUY2 back into planar 4:2:0
// for snapshots. Widths and heights are even and checked by the callers.
#pragma once

#include <cstdint>

namespace media {

// Planar (Y: width x height, then U and V: width/2 x height/2) to YUY2 rows
// of width x 2 bytes: each 2 x 2 block's chroma sample is repeated on both
// of its rows.
void acPlanarToYUY2(const unsigned char* planar, unsigned char* yuy2, int width, int height);

// YUY2 to planar 4:2:0: the Y plane row by row; U and V from the even rows,
// each sample the average (sum >> 1) of that row's byte and the row below's.
void acYUY2ToPlanar(const unsigned char* yuy2, unsigned char* planar, int width, int height);

// True for a picture size the display path handles: both even, positive,
// and a YUY2 picture of that size fits a picture buffer (811008 bytes).
bool acPictureSizeFits(int width, int height);

}  // namespace media
