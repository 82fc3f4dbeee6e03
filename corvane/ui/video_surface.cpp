#include "ui/video_surface.h"

#include <QMetaObject>
#include <cstring>

namespace corvane {

bool SurfaceBuffer::Resize(int width, int height) {
  if (width <= 0 || height <= 0 || (width & 1)) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  if (width == width_ && height == height_) return true;
  bytes_.assign(static_cast<size_t>(width) * height * 2, 0);
  width_ = width;
  height_ = height;
  return true;
}

bool SurfaceBuffer::Write(const unsigned char* picture, int width, int height) {
  if (!picture) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  if (width != width_ || height != height_ || bytes_.empty()) return false;
  std::memcpy(bytes_.data(), picture, bytes_.size());
  ++generation_;
  return true;
}

void SurfaceBuffer::Release() {
  std::lock_guard<std::mutex> lock(mutex_);
  bytes_.clear();
  bytes_.shrink_to_fit();
  width_ = height_ = 0;
}

bool VideoSurface::ClientSize(int* width, int* height) const {
  *width = clientWidth_.load();
  *height = clientHeight_.load();
  return *width > 0 && *height > 0;
}

void VideoSurface::CacheClientSize(QWidget* widget) {
  const qreal dpr = widget->devicePixelRatioF();
  clientWidth_.store(static_cast<int>(widget->width() * dpr));
  clientHeight_.store(static_cast<int>(widget->height() * dpr));
}

void VideoSurface::ScheduleRepaint() {
  if (repaintPending_.exchange(true)) return;
  QWidget* w = Widget();
  // Queued: runs on the widget's thread; dropped if the widget is gone.
  QMetaObject::invokeMethod(
      w,
      [this, w] {
        RepaintDone();
        w->update();
      },
      Qt::QueuedConnection);
}

void VideoSurface::SetBackground(const QImage& image) {
  background_ = image;
  Widget()->update();
}

void VideoSurface::ClearPicture() {
  clearedAt_.store(PictureCount());
  Widget()->update();
}

}  // namespace corvane

// ---- backend choice -------------------------------------------------------
#include "media/impl_ac_virtual_movie.h"
#include "media/vo_soft.h"

namespace corvane {

media::ImplACVirtualMovie* CreateOpenGLRenderer(media::ACWindowHandle window);
VideoSurface* CreateOpenGLSurface(QWidget* parent);
VideoSurface* CreateSoftwareSurface(QWidget* parent);

namespace {
SurfaceKind g_kind = SurfaceKind::kSoftware;  // user-interface thread
}

SurfaceKind InstallVideoBackend(bool allowOpenGL) {
  g_kind = allowOpenGL && OpenGLAvailable() ? SurfaceKind::kOpenGL : SurfaceKind::kSoftware;
  media::SetRendererFactory(g_kind == SurfaceKind::kOpenGL ? &CreateOpenGLRenderer : &media::CreateSoftRenderer);
  return g_kind;
}

SurfaceKind CurrentSurfaceKind() { return g_kind; }

VideoSurface* CreateVideoSurface(QWidget* parent) {
  return g_kind == SurfaceKind::kOpenGL ? CreateOpenGLSurface(parent) : CreateSoftwareSurface(parent);
}

}  // namespace corvane
