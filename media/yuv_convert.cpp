#include "media/yuv_convert.h"

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "media/ac_records.h"

namespace media {

bool acPictureSizeFits(int width, int height) {
  if (width <= 0 || height <= 0 || (width & 1) != 0 || (height & 1) != 0) return false;
  if (width > kMediaBufferBytes / 2 || height > kMediaBufferBytes / 2) return false;
  return static_cast<int64_t>(width) * height * 2 <= kMediaBufferBytes;
}

namespace {

// One output row: the row's Y samples with the chroma row shared by its row
// pair. The rows never overlap, which lets the compiler vectorise the loop
// without checking for it.
void packYUY2Row(const unsigned char* __restrict y, const unsigned char* __restrict u,
                 const unsigned char* __restrict v, unsigned char* __restrict out, int half) {
  int k = 0;
#if defined(__SSE2__)
  // Sixteen picture elements at a time, written past the cache: a picture
  // is shown (and read) long after its pool slot is filled, so writing it
  // through the cache would only evict the decoder's working set. The
  // caller fences the stores.
  if ((reinterpret_cast<std::uintptr_t>(out) & 15) == 0) {
    for (; k + 8 <= half; k += 8) {
      const __m128i uv = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + k)),
                                           _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + k)));
      const __m128i yy = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + 2 * k));
      _mm_stream_si128(reinterpret_cast<__m128i*>(out + 4 * k), _mm_unpacklo_epi8(yy, uv));
      _mm_stream_si128(reinterpret_cast<__m128i*>(out + 4 * k + 16), _mm_unpackhi_epi8(yy, uv));
    }
  }
#endif
  for (; k < half; ++k) {
    out[4 * k] = y[2 * k];
    out[4 * k + 1] = u[k];
    out[4 * k + 2] = y[2 * k + 1];
    out[4 * k + 3] = v[k];
  }
}

}  // namespace

void acPlanarToYUY2(const unsigned char* planar, unsigned char* yuy2, int width, int height) {
  const int half = width / 2;
  const unsigned char* yPlane = planar;
  const unsigned char* uPlane = planar + static_cast<std::size_t>(width) * height;
  const unsigned char* vPlane = uPlane + static_cast<std::size_t>(half) * (height / 2);
  for (int r = 0; r < height / 2; ++r) {
    const unsigned char* u = uPlane + static_cast<std::size_t>(r) * half;
    const unsigned char* v = vPlane + static_cast<std::size_t>(r) * half;
    for (int row = 2 * r; row < 2 * r + 2; ++row)
      packYUY2Row(yPlane + static_cast<std::size_t>(row) * width, u, v,
                  yuy2 + static_cast<std::size_t>(row) * width * 2, half);
  }
#if defined(__SSE2__)
  // The streamed stores are seen by the display thread, which takes the
  // picture under the pool's lock, only once fenced.
  _mm_sfence();
#endif
}

void acYUY2ToPlanar(const unsigned char* yuy2, unsigned char* planar, int width, int height) {
  const int half = width / 2;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 2;
  unsigned char* yPlane = planar;
  unsigned char* uPlane = planar + static_cast<std::size_t>(width) * height;
  unsigned char* vPlane = uPlane + static_cast<std::size_t>(half) * (height / 2);
  for (int row = 0; row < height; ++row) {
    const unsigned char* in = yuy2 + row * rowBytes;
    unsigned char* y = yPlane + static_cast<std::size_t>(row) * width;
    for (int k = 0; k < half; ++k) {
      y[2 * k] = in[4 * k];
      y[2 * k + 1] = in[4 * k + 2];
    }
  }
  for (int r = 0; r < height / 2; ++r) {
    const unsigned char* a = yuy2 + static_cast<std::size_t>(2 * r) * rowBytes;
    const unsigned char* b = a + rowBytes;
    unsigned char* u = uPlane + static_cast<std::size_t>(r) * half;
    unsigned char* v = vPlane + static_cast<std::size_t>(r) * half;
    for (int k = 0; k < half; ++k) {
      u[k] = static_cast<unsigned char>((a[4 * k + 1] + b[4 * k + 1]) >> 1);
      v[k] = static_cast<unsigned char>((a[4 * k + 3] + b[4 * k + 3]) >> 1);
    }
  }
}

}  // namespace media
