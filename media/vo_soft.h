// The software renderer: converts each YUY2 picture to 32-bit RGB with
// libswscale, scaled into a caller's image. Its window handle points to a
// VoSoftTarget that the caller owns and keeps alive while the renderer
// lives; the renderer writes the pixels under the target's mutex, and the
// caller reads them under the same mutex (e.g. on its window's thread).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "media/impl_ac_virtual_movie.h"

struct SwsContext;

namespace media {

struct VoSoftTarget {
  std::mutex mutex;
  // Destination image, 4 bytes a pixel (B, G, R, 0xFF in memory order, as
  // QImage::Format_RGB32 holds it on little-endian machines). Guarded by
  // mutex; the caller may change pixels, width, height and stride under it.
  unsigned char* pixels = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;  // bytes per row, at least width x 4
  // Pictures drawn into the image so far.
  std::atomic<int64_t> frames{0};
  // Called after each picture was drawn, outside the mutex, on the display
  // thread: the window schedules its repaint here. Set before the renderer
  // is made.
  std::function<void()> updated;
};

class VoSoft : public ImplACVirtualMovie {
 public:
  VoSoft();
  ~VoSoft() override;

 protected:
  int CreateDevice() override;
  void ReleasePrimaryAndDevice() override;
  void ReleaseSource() override;
  void ReleaseDestination() override;
  void ReleaseClipper() override {}
  int CreateYUY2Source() override;
  int CreateYUY2Destination() override { return 1; }
  int CreateRGBSource() override;
  int CreateRGBDestination() override { return 1; }
  int CopyAndPresent(const unsigned char* picture) override;
  int Present() override;
  bool WindowClientSize(int* width, int* height) override;

 private:
  // The source picture's format; its buffer grows to the picture's size.
  int UseSource(int formatCode, int bytesPerPixel);
  VoSoftTarget* target() const { return static_cast<VoSoftTarget*>(window_); }

  // The source surface: the picture as it was last given. Grows with the
  // largest picture seen; never shrinks.
  std::vector<unsigned char> source_;
  int sourceBytesPerPixel_ = 2;
  struct SwsDeleter {
    void operator()(SwsContext* c) const;
  };
  std::unique_ptr<SwsContext, SwsDeleter> sws_;
};

// The factory of the software backend.
ImplACVirtualMovie* CreateSoftRenderer(ACWindowHandle window);

}  // namespace media
