#include "media/vo_null.h"

extern "C" {
#include <libavutil/adler32.h>
}

namespace media {

VoNull::~VoNull() { Close(); }

int VoNull::CreateYUY2Source() {
  formatCode_ = kFormatYUY2;
  return 1;
}

int VoNull::CreateRGBSource() {
  formatCode_ = kFormatRGB32;
  return 1;
}

int VoNull::CopyAndPresent(const unsigned char* picture) {
  if (initialised_ == 0) return 0;
  VoNullStats* s = stats();
  if (s == nullptr) return 1;
  if (s->keepChecksums.load()) {
    // What the picture holds is YUY2, two bytes a pixel, whatever the surface.
    const size_t bytes = static_cast<size_t>(sourceWidth_) * sourceHeight_ * 2;
    const uint32_t adler = av_adler32_update(1, picture, bytes);
    s->lastAdler.store(adler);
    s->checksum.store(s->checksum.load() * 31 + adler);
  }
  s->lastWidth.store(sourceWidth_);
  s->lastHeight.store(sourceHeight_);
  s->frames.fetch_add(1);
  return 1;
}

bool VoNull::WindowClientSize(int* width, int* height) {
  VoNullStats* s = stats();
  *width = s != nullptr ? s->clientWidth.load() : 704;
  *height = s != nullptr ? s->clientHeight.load() : 576;
  return true;
}

ImplACVirtualMovie* CreateNullRenderer(ACWindowHandle) { return new VoNull(); }

}  // namespace media
