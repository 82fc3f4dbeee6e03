// The OpenGL renderer backend: each pane's surface is an OpenGL widget that
// keeps the picture as two textures made from the same YUY2 bytes (luma with
// its neighbour as luminance-alpha at full width, chroma as RGBA at half
// width) and converts and scales them in a fragment shader, so the hardware
// does the scaling a surface blit did.
//
// Draw runs on a display thread: it copies the picture into the surface's
// buffer under the buffer's lock and schedules a repaint on the widget's
// thread, where the textures are updated and drawn.
#include <QOpenGLBuffer>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLWidget>
#include <QOffscreenSurface>
#include <QPainter>
#include <memory>

#include "media/impl_ac_virtual_movie.h"
#include "ui/video_surface.h"

namespace corvane {
namespace {

const char kVertexShader[] = R"(
attribute vec2 position;
attribute vec2 texCoord;
varying vec2 vTexCoord;
void main() {
  vTexCoord = texCoord;
  gl_Position = vec4(position, 0.0, 1.0);
}
)";

// BT.601 limited range to RGB.
const char kFragmentShader[] = R"(
uniform sampler2D lumaTexture;
uniform sampler2D chromaTexture;
varying vec2 vTexCoord;
void main() {
  float y = 1.1643 * (texture2D(lumaTexture, vTexCoord).r - 0.0625);
  vec4 c = texture2D(chromaTexture, vTexCoord);
  float u = c.g - 0.5;
  float v = c.a - 0.5;
  gl_FragColor = vec4(y + 1.5958 * v, y - 0.39173 * u - 0.81290 * v, y + 2.017 * u, 1.0);
}
)";

class GLPaneSurface final : public QOpenGLWidget, public VideoSurface, protected QOpenGLFunctions {
 public:
  explicit GLPaneSurface(QWidget* parent) : QOpenGLWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAutoFillBackground(false);
  }
  ~GLPaneSurface() override {
    if (haveGL_ && context() && context()->isValid()) {
      makeCurrent();
      ReleaseGL();
      doneCurrent();
    }
  }
  QWidget* Widget() override { return this; }
  media::ACWindowHandle RendererHandle() override { return static_cast<VideoSurface*>(this); }

 protected:
  void initializeGL() override {
    initializeOpenGLFunctions();
    // Called again with a new context when the widget moves to another
    // top-level window (full screen and back): the old context took its
    // textures and program with it.
    program_.reset();
    program_ = std::make_unique<QOpenGLShaderProgram>();
    program_->addShaderFromSourceCode(QOpenGLShader::Vertex, kVertexShader);
    program_->addShaderFromSourceCode(QOpenGLShader::Fragment, kFragmentShader);
    program_->bindAttributeLocation("position", 0);
    program_->bindAttributeLocation("texCoord", 1);
    if (!program_->link()) program_.reset();
    glGenTextures(2, textures_);
    for (GLuint t : textures_) {
      glBindTexture(GL_TEXTURE_2D, t);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    texWidth_ = texHeight_ = 0;
    uploaded_ = 0;
    haveGL_ = true;
  }

  void resizeGL(int, int) override { CacheClientSize(this); }
  void resizeEvent(QResizeEvent* e) override {
    QOpenGLWidget::resizeEvent(e);
    CacheClientSize(this);
  }

  void paintGL() override {
    bool drawn = false;
    const uint64_t cleared = clearedAt_.load();
    if (haveGL_ && program_) {
      buffer_.Read([&](const SurfaceBuffer::View& v) {
        if (v.generation == 0 || v.generation <= cleared || !v.data || v.width <= 0) return;
        if (v.generation != uploaded_) Upload(v);
        drawn = true;
      });
    }
    if (drawn) {
      DrawQuad();
      painted_.fetch_add(1);
      return;
    }
    // No picture yet: the background picture, or black.
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    if (!background_.isNull()) p.drawImage(rect(), background_);
  }

 private:
  void Upload(const SurfaceBuffer::View& v) {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
    const bool resize = v.width != texWidth_ || v.height != texHeight_;
    glBindTexture(GL_TEXTURE_2D, textures_[0]);
    if (resize)
      glTexImage2D(GL_TEXTURE_2D, 0, GL_LUMINANCE_ALPHA, v.width, v.height, 0, GL_LUMINANCE_ALPHA,
                   GL_UNSIGNED_BYTE, v.data);
    else
      glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, v.width, v.height, GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE, v.data);
    glBindTexture(GL_TEXTURE_2D, textures_[1]);
    if (resize)
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, v.width / 2, v.height, 0, GL_RGBA, GL_UNSIGNED_BYTE, v.data);
    else
      glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, v.width / 2, v.height, GL_RGBA, GL_UNSIGNED_BYTE, v.data);
    texWidth_ = v.width;
    texHeight_ = v.height;
    uploaded_ = v.generation;
  }

  void DrawQuad() {
    const qreal dpr = devicePixelRatioF();
    glViewport(0, 0, static_cast<GLsizei>(width() * dpr), static_cast<GLsizei>(height() * dpr));
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    program_->bind();
    program_->setUniformValue("lumaTexture", 0);
    program_->setUniformValue("chromaTexture", 1);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, textures_[0]);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, textures_[1]);
    glActiveTexture(GL_TEXTURE0);
    // A strip of two triangles; picture row 0 at the top.
    static const GLfloat kPositions[] = {-1, -1, 1, -1, -1, 1, 1, 1};
    static const GLfloat kTexCoords[] = {0, 1, 1, 1, 0, 0, 1, 0};
    program_->enableAttributeArray(0);
    program_->enableAttributeArray(1);
    program_->setAttributeArray(0, GL_FLOAT, kPositions, 2);
    program_->setAttributeArray(1, GL_FLOAT, kTexCoords, 2);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    program_->disableAttributeArray(0);
    program_->disableAttributeArray(1);
    program_->release();
  }

  void ReleaseGL() {
    if (!haveGL_) return;
    glDeleteTextures(2, textures_);
    textures_[0] = textures_[1] = 0;
    program_.reset();
    haveGL_ = false;
  }

  // Widget thread only.
  std::unique_ptr<QOpenGLShaderProgram> program_;
  GLuint textures_[2] = {0, 0};
  int texWidth_ = 0;
  int texHeight_ = 0;
  uint64_t uploaded_ = 0;
  bool haveGL_ = false;
};

// The renderer: the device is the surface; the source surface is the
// surface's YUY2 buffer; the destination is the widget itself.
class VoOpenGL final : public media::ImplACVirtualMovie {
 public:
  ~VoOpenGL() override { Close(); }

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
  // Pictures here are always YUY2; RGB surfaces are not offered.
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

media::ImplACVirtualMovie* CreateOpenGLRenderer(media::ACWindowHandle) { return new VoOpenGL(); }
VideoSurface* CreateOpenGLSurface(QWidget* parent) { return new GLPaneSurface(parent); }

bool OpenGLAvailable() {
  static const bool available = [] {
    QOpenGLContext context;
    if (!context.create()) return false;
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!surface.isValid() || !context.makeCurrent(&surface)) return false;
    const bool ok = context.functions() != nullptr;
    context.doneCurrent();
    return ok;
  }();
  return available;
}

}  // namespace corvane
