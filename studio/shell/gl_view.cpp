#include "gl_view.h"

namespace kestrel::studio {

TGLWindow::TGLWindow(QWidget* parent) : QOpenGLWidget(parent) { setObjectName(QStringLiteral("glWindow")); }

void TGLWindow::glWindowInit() {
  initializeOpenGLFunctions();
  glClearColor(kClearRed, kClearGreen, kClearBlue, 0.0f);
  glClearDepthf(1.0f);
}

void TGLWindow::glWindowResize(int width, int height) { glViewport(0, 0, width, height); }

void TGLWindow::glWindowDraw() { glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT); }

}  // namespace kestrel::studio
