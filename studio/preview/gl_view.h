// The OpenGL view `glWindow` on the right of the main window, where meshes are shown.
#pragma once

#include <QOpenGLWidget>
#include <QWidget>
#include <functional>

namespace kestrel {
struct MeshViewState;
}

namespace kestrel::studio {

// The drawing surface inside the view: it draws the display state it is given and passes the
// mouse on to the handlers the main window attaches.
class TGLCanvas : public QOpenGLWidget {
  Q_OBJECT
 public:
  explicit TGLCanvas(QWidget* parent = nullptr);

  // Until a state is set the view only clears to the background.
  void SetViewState(const MeshViewState* view) { view_ = view; }
  // Makes the context current, draws and shows the frame before returning. Nothing without a context.
  void RedrawNow();
  // Whether the context exists and glWindowInit has run in it.
  bool Ready() const { return ready_ && isValid(); }

  // Called once the context exists and glWindowInit and glWindowResize have run.
  std::function<void()> onContextReady;
  // The mouse handlers; empty while detached. Positions in view pixels, y growing downwards.
  std::function<void(Qt::MouseButton, Qt::KeyboardModifiers, QPoint)> onMouseDown;
  std::function<void(Qt::KeyboardModifiers, QPoint)> onMouseMove;
  std::function<void()> onMouseUp;
  std::function<void(int angleDelta)> onWheel;

 protected:
  void initializeGL() override;
  void resizeGL(int width, int height) override;
  void paintGL() override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  const MeshViewState* view_ = nullptr;
  bool ready_ = false;
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
  // Whether the canvas has its context and has run glWindowInit.
  bool HasContext() const;

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
