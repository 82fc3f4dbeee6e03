// The software renderer backend, used when OpenGL is not available: the
// surface converts the YUY2 picture to RGB on its own thread (into an image
// kept between pictures) and lets the painter scale it.
#include <QPainter>
#include <algorithm>

#include "media/impl_ac_virtual_movie.h"
#include "ui/video_surface.h"

namespace corvane {
namespace {

inline uint8_t Clamp8(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

// BT.601 limited range, fixed point.
void Yuy2ToRgb32(const unsigned char* src, int width, int height, QImage* out) {
  for (int row = 0; row < height; ++row) {
    const unsigned char* s = src + static_cast<size_t>(row) * width * 2;
    auto* d = reinterpret_cast<uint32_t*>(out->scanLine(row));
    for (int x = 0; x + 1 < width; x += 2, s += 4) {
      const int u = s[1] - 128, v = s[3] - 128;
      const int rv = 409 * v, guv = -100 * u - 208 * v, bu = 516 * u;
      for (int k = 0; k < 2; ++k) {
        const int c = 298 * (s[k * 2] - 16) + 128;
        d[x + k] = 0xFF000000u | (Clamp8((c + rv) >> 8) << 16) | (Clamp8((c + guv) >> 8) << 8) |
                   Clamp8((c + bu) >> 8);
      }
    }
  }
}

class SoftPaneSurface final : public QWidget, public VideoSurface {
 public:
  explicit SoftPaneSurface(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }
  QWidget* Widget() override { return this; }

 protected:
  void resizeEvent(QResizeEvent* e) override {
    QWidget::resizeEvent(e);
    CacheClientSize(this);
  }
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    bool have = false;
    const uint64_t cleared = clearedAt_.load();
    buffer_.Read([&](const SurfaceBuffer::View& v) {
      if (v.generation == 0 || v.generation <= cleared || !v.data || v.width <= 0) return;
      if (v.generation != converted_) {
        if (image_.width() != v.width || image_.height() != v.height)
          image_ = QImage(v.width, v.height, QImage::Format_RGB32);
        Yuy2ToRgb32(v.data, v.width, v.height, &image_);
        converted_ = v.generation;
      }
      have = true;
    });
    if (have) {
      p.setRenderHint(QPainter::SmoothPixmapTransform);
      p.drawImage(rect(), image_);
      painted_.fetch_add(1);
      return;
    }
    p.fillRect(rect(), Qt::black);
    if (!background_.isNull()) p.drawImage(rect(), background_);
  }

 private:
  QImage image_;           // widget thread
  uint64_t converted_ = 0;  // widget thread
};

class VoQtSoft final : public media::ImplACVirtualMovie {
 public:
  ~VoQtSoft() override { Close(); }

 protected:
  int CreateDevice() override {
    surface_ = static_cast<VideoSurface*>(window_);
    return surface_ ? 1 : 0;
  }
  void ReleasePrimaryAndDevice() override { surface_ = nullptr; }
  void ReleaseSource() override {}
  void ReleaseDestination() override {}
  void ReleaseClipper() override {}
  int CreateYUY2Source() override {
    if (!surface_ || !surface_->Buffer().Resize(sourceWidth_, sourceHeight_)) return 0;
    formatCode_ = kFormatYUY2;
    return 1;
  }
  int CreateYUY2Destination() override { return surface_ ? 1 : 0; }
  int CreateRGBSource() override { return 0; }
  int CreateRGBDestination() override { return 0; }
  int CopyAndPresent(const unsigned char* picture) override {
    if (!surface_ || !surface_->Buffer().Write(picture, sourceWidth_, sourceHeight_)) return 0;
    return Present();
  }
  int Present() override {
    if (!surface_) return 0;
    surface_->ScheduleRepaint();
    return 1;
  }
  bool WindowClientSize(int* width, int* height) override {
    return surface_ && surface_->ClientSize(width, height);
  }

 private:
  VideoSurface* surface_ = nullptr;
};

}  // namespace

media::ImplACVirtualMovie* CreateSoftwareRenderer(media::ACWindowHandle) { return new VoQtSoft(); }
VideoSurface* CreateSoftwareSurface(QWidget* parent) { return new SoftPaneSurface(parent); }

}  // namespace corvane
