#include "gl_view.h"

#include <QOpenGLContext>
#include <QPalette>
#include <QResizeEvent>

namespace kestrel::studio {

TGLCanvas::TGLCanvas(QWidget* parent) : QOpenGLWidget(parent) { setObjectName(QStringLiteral("glCanvas")); }

void TGLCanvas::glWindowInit() {
  initializeOpenGLFunctions();
  glClearColor(TGLWindow::kClearRed, TGLWindow::kClearGreen, TGLWindow::kClearBlue, 0.0f);
  glClearDepthf(1.0f);
}

void TGLCanvas::glWindowResize(int width, int height) { glViewport(0, 0, width, height); }

void TGLCanvas::glWindowDraw() { glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT); }

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

void TGLWindow::resizeEvent(QResizeEvent* event) {
  if (canvas_) canvas_->setGeometry(QRect(QPoint(0, 0), event->size()));
  QWidget::resizeEvent(event);
}

}  // namespace kestrel::studio
