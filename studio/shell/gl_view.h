// The OpenGL view `glWindow` on the right of the main window, where meshes are shown.
#pragma once

#include <QOpenGLFunctions>
#include <QOpenGLWidget>

namespace kestrel::studio {

// Until a mesh is shown the view only clears to the preview's background colour.
class TGLWindow : public QOpenGLWidget, protected QOpenGLFunctions {
  Q_OBJECT
 public:
  explicit TGLWindow(QWidget* parent = nullptr);

  // The preview's background: red 0.2, green 0.2, blue 0.4.
  static constexpr float kClearRed = 0.2f, kClearGreen = 0.2f, kClearBlue = 0.4f;

  // Mouse dragging turns and moves a mesh only while a mesh entry is on show.
  void SetMouseHandlersAttached(bool attached) { mouse_handlers_attached_ = attached; }
  bool MouseHandlersAttached() const { return mouse_handlers_attached_; }

 protected:
  void initializeGL() override { glWindowInit(); }
  void resizeGL(int width, int height) override { glWindowResize(width, height); }
  void paintGL() override { glWindowDraw(); }

 private:
  void glWindowInit();
  void glWindowResize(int width, int height);
  void glWindowDraw();
  bool mouse_handlers_attached_ = false;
};

}  // namespace kestrel::studio
