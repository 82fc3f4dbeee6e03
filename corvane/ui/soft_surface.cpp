// The surface of the software renderer backend (media/vo_soft.h), used when
// OpenGL is not available. The renderer scales each picture into the
// surface's image under the target's mutex on its display thread; the
// widget shows that image on its own thread.
#include <QPainter>

#include "media/vo_soft.h"
#include "ui/video_surface.h"

namespace corvane {
namespace {

class SoftPaneSurface final : public QWidget, public VideoSurface {
 public:
  explicit SoftPaneSurface(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    target_.updated = [this] { ScheduleRepaint(); };
  }
  ~SoftPaneSurface() override {
    std::lock_guard<std::mutex> lock(target_.mutex);
    target_.pixels = nullptr;
    target_.width = target_.height = target_.stride = 0;
  }
  QWidget* Widget() override { return this; }
  media::ACWindowHandle RendererHandle() override { return &target_; }

 protected:
  void resizeEvent(QResizeEvent* e) override {
    QWidget::resizeEvent(e);
    CacheClientSize(this);
    std::lock_guard<std::mutex> lock(target_.mutex);
    const QSize size = this->size() * devicePixelRatioF();
    image_ = QImage(size.isEmpty() ? QSize(1, 1) : size, QImage::Format_RGB32);
    image_.fill(Qt::black);
    target_.pixels = image_.bits();
    target_.width = image_.width();
    target_.height = image_.height();
    target_.stride = static_cast<int>(image_.bytesPerLine());
  }

  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    RepaintDone();
    const int64_t frames = target_.frames.load();
    if (frames > 0 && static_cast<uint64_t>(frames) > clearedAt_.load()) {
      std::lock_guard<std::mutex> lock(target_.mutex);
      p.drawImage(rect(), image_);
      painted_.fetch_add(1);
      return;
    }
    p.fillRect(rect(), Qt::black);
    if (!background_.isNull()) p.drawImage(rect(), background_);
  }

  uint64_t PictureCount() const override { return static_cast<uint64_t>(target_.frames.load()); }

 private:
  media::VoSoftTarget target_;
  QImage image_;  // the target's pixels; replaced only under target_.mutex
};

}  // namespace

VideoSurface* CreateSoftwareSurface(QWidget* parent) { return new SoftPaneSurface(parent); }

}  // namespace corvane
