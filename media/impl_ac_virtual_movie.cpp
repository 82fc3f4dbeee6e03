// The renderer operations every backend shares; the backends (vo_*.cpp)
// implement the device hooks.
#include "media/impl_ac_virtual_movie.h"

#include <atomic>

#include "media/ac_records.h"
#include "media/vo_null.h"

namespace media {

namespace {

// Surfaces larger than this are refused: sizes come from recordings and
// from window geometry, neither of which is trusted.
constexpr int kMaxSurfaceSide = 8192;

bool sizeUsable(int width, int height) {
  return width > 0 && height > 0 && width <= kMaxSurfaceSide && height <= kMaxSurfaceSide;
}

std::atomic<ACRendererFactory> g_factory{nullptr};

}  // namespace

int ImplACVirtualMovie::Init(ACWindowHandle window) {
  window_ = window;
  lastDrawn_ = nullptr;
  if (initialised_ != 0) return 0;
  if (CreateDevice() == 0) return 0;
  initialised_ = 1;
  if (SetSourceSize(320, 240) == 0 || SetDestinationSize(320, 240) == 0) {
    Close();
    return 0;
  }
  return 1;
}

int ImplACVirtualMovie::Close() {
  ReleaseSource();
  ReleaseDestination();
  ReleaseClipper();
  ReleasePrimaryAndDevice();
  initialised_ = 0;
  lastDrawn_ = nullptr;
  // The surfaces are gone: a later Init makes them again at its sizes.
  sourceWidth_ = sourceHeight_ = 0;
  destinationWidth_ = destinationHeight_ = 0;
  return 1;
}

int ImplACVirtualMovie::SetSurfaceMode(int mode) {
  if (initialised_ == 0 || mode == surfaceMode_) {
    surfaceMode_ = mode;
    return 1;
  }
  surfaceMode_ = mode;
  lastDrawn_ = nullptr;
  const int sw = sourceWidth_, sh = sourceHeight_, dw = destinationWidth_, dh = destinationHeight_;
  ReleaseSource();
  ReleaseDestination();
  sourceWidth_ = sourceHeight_ = destinationWidth_ = destinationHeight_ = 0;
  int ok = 1;
  if (sizeUsable(sw, sh)) ok &= SetSourceSize(sw, sh);
  if (sizeUsable(dw, dh)) ok &= SetDestinationSize(dw, dh);
  return ok;
}

int ImplACVirtualMovie::Repaint() {
  int w = 0, h = 0;
  if (!WindowClientSize(&w, &h)) return 0;
  if (SetDestinationSize(w, h) == 0) return 0;
  return Present();
}

int ImplACVirtualMovie::Draw(const unsigned char* picture, int width, int height) {
  lastDrawn_ = nullptr;
  if (picture == nullptr) return 0;
  // The picture is packed YUY2 of width x height: never read past a picture
  // buffer, whatever size the caller claims.
  if (!sizeUsable(width, height) || static_cast<int64_t>(width) * height * 2 > kMediaBufferBytes) return 0;
  if (SetSourceSize(width, height) == 0) return 0;
  int w = 0, h = 0;
  if (!WindowClientSize(&w, &h)) return 0;
  if (SetDestinationSize(w, h) == 0) return 0;
  const int ok = CopyAndPresent(picture);
  lastDrawn_ = ok != 0 ? picture : nullptr;
  return ok;
}

int ImplACVirtualMovie::DrawAgain(const unsigned char* picture, int width, int height) {
  int w = 0, h = 0;
  if (picture != nullptr && picture == lastDrawn_ && width == sourceWidth_ && height == sourceHeight_ &&
      WindowClientSize(&w, &h) && w == destinationWidth_ && h == destinationHeight_)
    return 1;
  return Draw(picture, width, height);
}

int ImplACVirtualMovie::SetSourceSize(int width, int height) {
  if (width == sourceWidth_ && height == sourceHeight_) return 1;
  if (initialised_ == 0 || !sizeUsable(width, height)) return 0;
  sourceWidth_ = width;
  sourceHeight_ = height;
  ReleaseSource();
  const int ok = surfaceMode_ == kModeYUY2 ? CreateYUY2Source() : CreateRGBSource();
  if (ok == 0) sourceWidth_ = sourceHeight_ = 0;  // try again at the next Draw
  return ok;
}

int ImplACVirtualMovie::SetDestinationSize(int width, int height) {
  if (width == destinationWidth_ && height == destinationHeight_) return 1;
  if (initialised_ == 0 || !sizeUsable(width, height)) return 0;
  destinationWidth_ = width;
  destinationHeight_ = height;
  ReleaseDestination();
  const int ok = surfaceMode_ == kModeYUY2 ? CreateYUY2Destination() : CreateRGBDestination();
  if (ok == 0) destinationWidth_ = destinationHeight_ = 0;
  return ok;
}

void SetRendererFactory(ACRendererFactory factory) { g_factory.store(factory); }

ImplACVirtualMovie* CreateRenderer(ACWindowHandle window) {
  ACRendererFactory f = g_factory.load();
  return f != nullptr ? f(window) : CreateNullRenderer(window);
}

}  // namespace media
