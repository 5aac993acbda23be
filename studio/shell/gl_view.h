// The OpenGL view `glWindow` on the right of the main window, where meshes are shown.
#pragma once

#include <QOpenGLFunctions>
#include <QOpenGLWidget>
#include <QWidget>

namespace kestrel::studio {

// The drawing surface inside the view. Until a mesh is shown it only clears to the background.
class TGLCanvas : public QOpenGLWidget, protected QOpenGLFunctions {
  Q_OBJECT
 public:
  explicit TGLCanvas(QWidget* parent = nullptr);

 protected:
  void initializeGL() override { glWindowInit(); }
  void resizeGL(int width, int height) override { glWindowResize(width, height); }
  void paintGL() override { glWindowDraw(); }

 private:
  void glWindowInit();
  void glWindowResize(int width, int height);
  void glWindowDraw();
};

// The view. It holds an OpenGL canvas only where a context can be made: a window that holds a
// context-less OpenGL widget cannot even be drawn, so without OpenGL the view shows its background
// colour and nothing else.
class TGLWindow : public QWidget {
  Q_OBJECT
 public:
  TGLWindow(bool withOpenGL, QWidget* parent = nullptr);

  // The preview's background: red 0.2, green 0.2, blue 0.4.
  static constexpr float kClearRed = 0.2f, kClearGreen = 0.2f, kClearBlue = 0.4f;
  static QColor BackgroundColour();

  // Whether an OpenGL context can be made here at all (tried once).
  static bool Available();
  TGLCanvas* Canvas() const { return canvas_; }

  // Mouse dragging turns and moves a mesh only while a mesh entry is on show.
  void SetMouseHandlersAttached(bool attached) { mouse_handlers_attached_ = attached; }
  bool MouseHandlersAttached() const { return mouse_handlers_attached_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  TGLCanvas* canvas_ = nullptr;
  bool mouse_handlers_attached_ = false;
};

}  // namespace kestrel::studio
