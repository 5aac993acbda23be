#include "studio/preview/gl_view.h"

#include <QMouseEvent>
#include <QOpenGLContext>
#include <QPalette>
#include <QResizeEvent>
#include <QSurfaceFormat>
#include <QWheelEvent>

#include "studio/mesh/gl_mesh_view.h"

namespace kestrel::studio {

namespace {

int Pixels(int logical, qreal ratio) { return static_cast<int>(logical * ratio + 0.5); }

}  // namespace

TGLCanvas::TGLCanvas(QWidget* parent) : QOpenGLWidget(parent) {
  setObjectName(QStringLiteral("glCanvas"));
  // 16 colour bits, 16-bit depth and stencil buffers, double buffered; a platform that gives more
  // bits is fine.
  QSurfaceFormat surface = format();
  surface.setRedBufferSize(5);
  surface.setGreenBufferSize(6);
  surface.setBlueBufferSize(5);
  surface.setDepthBufferSize(16);
  surface.setStencilBufferSize(16);
  surface.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
  setFormat(surface);
  // A move without a button pressed redraws too.
  setMouseTracking(true);
}

void TGLCanvas::initializeGL() {
  GLMeshViewInit();
  if (view_) GLMeshViewSetWireframe(view_->WireframeOn);
  GLMeshViewResize(Pixels(width(), devicePixelRatioF()), Pixels(height(), devicePixelRatioF()));
  ready_ = true;
  if (onContextReady) onContextReady();
}

void TGLCanvas::resizeGL(int width, int height) {
  GLMeshViewResize(Pixels(width, devicePixelRatioF()), Pixels(height, devicePixelRatioF()));
}

void TGLCanvas::paintGL() {
  static const MeshViewState nothing;
  GLMeshViewDraw(view_ ? *view_ : nothing);
}

void TGLCanvas::RedrawNow() {
  if (!Ready()) return;
  repaint();
}

void TGLCanvas::mousePressEvent(QMouseEvent* event) {
  if (onMouseDown) onMouseDown(event->button(), event->modifiers(), event->position().toPoint());
}

void TGLCanvas::mouseMoveEvent(QMouseEvent* event) {
  if (onMouseMove) onMouseMove(event->modifiers(), event->position().toPoint());
}

void TGLCanvas::mouseReleaseEvent(QMouseEvent*) {
  if (onMouseUp) onMouseUp();
}

void TGLCanvas::wheelEvent(QWheelEvent* event) {
  if (onWheel) onWheel(event->angleDelta().y());
}

TGLWindow::TGLWindow(bool withOpenGL, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("glWindow"));
  QPalette background = palette();
  background.setColor(QPalette::Window, BackgroundColour());
  setPalette(background);
  setAutoFillBackground(true);
  if (withOpenGL) canvas_ = new TGLCanvas(this);
}

QColor TGLWindow::BackgroundColour() { return QColor::fromRgbF(kClearRed, kClearGreen, kClearBlue); }

bool TGLWindow::Available() {
  static const bool available = [] {
    QOpenGLContext probe;
    return probe.create();
  }();
  return available;
}

bool TGLWindow::HasContext() const { return canvas_ && canvas_->Ready(); }

void TGLWindow::resizeEvent(QResizeEvent* event) {
  if (canvas_) canvas_->setGeometry(QRect(QPoint(0, 0), event->size()));
  QWidget::resizeEvent(event);
}

}  // namespace kestrel::studio
