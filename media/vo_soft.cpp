#include "media/vo_soft.h"

#include <cstring>

extern "C" {
#include <libswscale/swscale.h>
}

namespace media {

void VoSoft::SwsDeleter::operator()(SwsContext* c) const { sws_freeContext(c); }

VoSoft::VoSoft() = default;

VoSoft::~VoSoft() { Close(); }

int VoSoft::CreateDevice() { return target() != nullptr ? 1 : 0; }

void VoSoft::ReleasePrimaryAndDevice() { sws_.reset(); }

void VoSoft::ReleaseSource() {}  // the buffer is kept and reused

void VoSoft::ReleaseDestination() {}

int VoSoft::UseSource(int formatCode, int bytesPerPixel) {
  formatCode_ = formatCode;
  sourceBytesPerPixel_ = bytesPerPixel;
  const size_t bytes = static_cast<size_t>(sourceWidth_) * sourceHeight_ * bytesPerPixel;
  if (source_.size() < bytes) source_.resize(bytes);
  return 1;
}

int VoSoft::CreateYUY2Source() { return UseSource(kFormatYUY2, 2); }

// The screen's format here is 32-bit RGB.
int VoSoft::CreateRGBSource() { return UseSource(kFormatRGB32, 4); }

int VoSoft::CopyAndPresent(const unsigned char* picture) {
  if (initialised_ == 0 || sourceWidth_ <= 0) return 0;
  // Row by row into the source surface. The picture always holds YUY2 rows
  // of width x 2 bytes: an RGB surface (never selected) gets those bytes
  // unconverted, and never more than the picture holds.
  const size_t pictureRow = static_cast<size_t>(sourceWidth_) * 2;
  const size_t surfaceRow = static_cast<size_t>(sourceWidth_) * sourceBytesPerPixel_;
  for (int y = 0; y < sourceHeight_; ++y)
    std::memcpy(source_.data() + y * surfaceRow, picture + y * pictureRow, pictureRow);
  return Present();
}

int VoSoft::Present() {
  VoSoftTarget* t = target();
  if (initialised_ == 0 || t == nullptr || sourceWidth_ <= 0) return 0;
  {
    std::lock_guard<std::mutex> lock(t->mutex);
    if (t->pixels == nullptr || t->width <= 0 || t->height <= 0 || t->stride < t->width * 4) return 0;
    const AVPixelFormat in = sourceBytesPerPixel_ == 2 ? AV_PIX_FMT_YUYV422 : AV_PIX_FMT_BGRA;
    sws_.reset(sws_getCachedContext(sws_.release(), sourceWidth_, sourceHeight_, in, t->width, t->height,
                                    AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!sws_) return 0;
    const uint8_t* src[4] = {source_.data(), nullptr, nullptr, nullptr};
    const int srcStride[4] = {sourceWidth_ * sourceBytesPerPixel_, 0, 0, 0};
    uint8_t* dst[4] = {t->pixels, nullptr, nullptr, nullptr};
    const int dstStride[4] = {t->stride, 0, 0, 0};
    sws_scale(sws_.get(), src, srcStride, 0, sourceHeight_, dst, dstStride);
    // RGB32 keeps its fourth byte at 0xFF.
    for (int y = 0; y < t->height; ++y) {
      unsigned char* row = t->pixels + static_cast<size_t>(y) * t->stride;
      for (int x = 0; x < t->width; ++x) row[4 * x + 3] = 0xFF;
    }
  }
  t->frames.fetch_add(1);
  if (t->updated) t->updated();
  return 1;
}

bool VoSoft::WindowClientSize(int* width, int* height) {
  VoSoftTarget* t = target();
  if (t == nullptr) return false;
  std::lock_guard<std::mutex> lock(t->mutex);
  *width = t->width;
  *height = t->height;
  return t->width > 0 && t->height > 0;
}

ImplACVirtualMovie* CreateSoftRenderer(ACWindowHandle) { return new VoSoft(); }

}  // namespace media
