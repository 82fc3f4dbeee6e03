// The surface window of a pane: the child widget a renderer draws one
// channel into.
//
// A renderer runs on a display thread and never touches the widget: it
// copies each picture into the surface's own buffer under the buffer's lock
// and asks for a repaint, which the widget carries out on its own thread.
// The widget caches its client size for the display thread.
#pragma once

#include <QImage>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "media/ac_object.h"

namespace corvane {

// The picture a surface shows: packed YUY2, written by a display thread,
// read by the widget's thread.
class SurfaceBuffer {
 public:
  // Sizes the buffer for width x height (allocates only when the size
  // changes). False for an odd or non-positive size.
  bool Resize(int width, int height);
  // Copies width x height YUY2 (rows of width x 2 bytes) into the buffer;
  // false when the size differs from the buffer's.
  bool Write(const unsigned char* picture, int width, int height);
  void Release();

  // Under the lock: the picture, its size and its generation (counts writes).
  struct View {
    const unsigned char* data;
    int width;
    int height;
    uint64_t generation;
  };
  template <typename F>
  void Read(F&& reader) const {
    std::lock_guard<std::mutex> lock(mutex_);
    reader(View{bytes_.data(), width_, height_, generation_});
  }
  uint64_t Generation() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return generation_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<unsigned char> bytes_;  // guarded by mutex_
  int width_ = 0;                     // guarded by mutex_
  int height_ = 0;                    // guarded by mutex_
  uint64_t generation_ = 0;           // guarded by mutex_; 0 = nothing written yet
};

// What a renderer sees of a surface. The handle the video filter gets for a
// pane is a VideoSurface*.
class VideoSurface {
 public:
  virtual ~VideoSurface() = default;
  virtual QWidget* Widget() = 0;
  // The window handle the video filter hands to this surface's renderer.
  virtual media::ACWindowHandle RendererHandle() = 0;
  // Pictures the renderer delivered so far.
  virtual uint64_t PictureCount() const { return buffer_.Generation(); }
  SurfaceBuffer& Buffer() { return buffer_; }
  // The widget's client size in device pixels, cached on the widget's thread.
  bool ClientSize(int* width, int* height) const;
  // Display thread: asks the widget's thread for one repaint (at most one
  // request is pending at a time).
  void ScheduleRepaint();
  // The background picture shown before any picture arrived.
  void SetBackground(const QImage& image);
  // Shown pictures since creation (widget thread).
  uint64_t PaintedGeneration() const { return painted_.load(); }
  // Forgets the picture: the background shows again.
  void ClearPicture();
  // Display thread, after a picture: a repaint on the widget's thread.


 protected:
  void CacheClientSize(QWidget* widget);
 public:
  void RepaintDone() { repaintPending_.store(false); }

 protected:

  SurfaceBuffer buffer_;
  QImage background_;  // widget thread
  std::atomic<uint64_t> painted_{0};
  std::atomic<uint64_t> clearedAt_{0};  // generation at the last ClearPicture

 private:
  std::atomic<int> clientWidth_{0};
  std::atomic<int> clientHeight_{0};
  std::atomic<bool> repaintPending_{false};
};

// Surface factory: OpenGL surfaces when OpenGL is usable, else software ones.
enum class SurfaceKind { kOpenGL, kSoftware };
// Probes once whether an OpenGL context can be made here.
bool OpenGLAvailable();
// Chooses the kind of every later surface and installs the matching
// renderer factory for the video filter. Call before the filter's InitFilter.
SurfaceKind InstallVideoBackend(bool allowOpenGL = true);
SurfaceKind CurrentSurfaceKind();
// A new surface widget of the installed kind.
VideoSurface* CreateVideoSurface(QWidget* parent);

}  // namespace corvane
