// The mesh preview in the studio on a real display: the toggles, the mouse and the camera, read
// back from the view's frame buffer.
#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMouseEvent>
#include <QTreeView>
#include <QWindow>
#include <filesystem>

#include "studio/shell/tests/facing_quad.h"
#include "studio/preview/gl_view.h"
#include "studio/image/testing/image_writers.h"
#include "studio/shell/tests/studio_fixture.h"

namespace kestrel::studio::testing {
namespace {

class MeshPreviewGLTest : public StudioTest {
 protected:
  void Open(bool selectBeforeShowing = false) {
    const auto texture = kestrel::testing::SolidBmp(0xFF643219u);
    const std::string path = WriteArchive(
        "QUADS.MAS", ArchiveOf({TestEntry("ONE.MTS", FacingQuad("T.BMP"), 17), TestEntry("T.BMP", texture),
                                TestEntry("TWO.MTS", FacingQuad("T.BMP", MeshLayout::Old), 17)}));
    RecordingWindow& w = Start(QString::fromStdString(path));
    w.showMeshes = true;
    if (selectBeforeShowing) Select(0);
    w.show();
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 5000 && !(w.windowHandle() && w.windowHandle()->isExposed()))
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_TRUE(w.glWindow->HasContext());
  }
  QImage Frame() { return W().glWindow->Canvas()->grabFramebuffer(); }
  void Mouse(QEvent::Type type, Qt::MouseButton button, QPoint at) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, at, W().glWindow->Canvas()->mapToGlobal(at), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(W().glWindow->Canvas(), &event);
  }
};

TEST_F(MeshPreviewGLTest, BlendAddsAndWireframeLeavesTheFacesOpen) {
  ASSERT_NO_FATAL_FAILURE(Open());
  Select(0);
  // Off the square's diagonal, where wireframe draws no line.
  ExpectColour(QuadPixel(Frame(), 0.5, 0), 0x64, 0x32, 0x19);
  EXPECT_TRUE(std::filesystem::is_empty(dir_ / "scratch"));  // the extracted texture went again

  W().Blend1->trigger();
  EXPECT_TRUE(W().Blend1->isChecked());
  ExpectColour(QuadPixel(Frame(), 0.5, 0), 0x64 + 51, 0x32 + 51, 0x19 + 102);
  W().Blend1->trigger();
  EXPECT_FALSE(W().Blend1->isChecked());

  W().Wireframe1->trigger();
  EXPECT_TRUE(W().Wireframe1->isChecked());
  ExpectColour(QuadPixel(Frame(), 0.5, 0), 51, 51, 102);
  // The mode lives in the context: the next mesh is drawn as lines too.
  Select(2);
  ExpectColour(QuadPixel(Frame(), 0.5, 0), 51, 51, 102);
  W().Wireframe1->trigger();
  ExpectColour(QuadPixel(Frame(), 0.5, 0), 0x64, 0x32, 0x19);

  // Textures off draws the square lit white.
  W().Textures1->trigger();
  EXPECT_FALSE(W().Textures1->isChecked());
  ExpectColour(QuadPixel(Frame(), 0.5, 0), 255, 255, 255);
}

TEST_F(MeshPreviewGLTest, ALeftDragTurnsTheModelAndTheCameraStaysForTheNextMesh) {
  ASSERT_NO_FATAL_FAILURE(Open());
  Select(0);
  const QImage before = Frame();
  Mouse(QEvent::MouseButtonPress, Qt::LeftButton, {100, 100});
  Mouse(QEvent::MouseMove, Qt::LeftButton, {120, 110});
  Mouse(QEvent::MouseMove, Qt::LeftButton, {160, 100});
  Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, {160, 100});
  EXPECT_FLOAT_EQ(W().MeshView().RotX, 20);
  EXPECT_FLOAT_EQ(W().MeshView().RotZ, 30);

  const QImage after = Frame();
  ASSERT_EQ(before.size(), after.size());
  int changed = 0;
  for (int y = 0; y < after.height(); y += 4)
    for (int x = 0; x < after.width(); x += 4) changed += before.pixel(x, y) != after.pixel(x, y);
  EXPECT_GT(changed, 200);

  Select(2);
  EXPECT_FLOAT_EQ(W().MeshView().RotZ, 30);
  EXPECT_FLOAT_EQ(W().MeshView().TransZ, -4);
  // Drawn with the turned camera: the same picture as the first mesh after the drag.
  EXPECT_EQ(Frame(), after);
}

TEST_F(MeshPreviewGLTest, AMeshSelectedBeforeTheViewHasItsContextIsBuiltOnceItHasOne) {
  ASSERT_NO_FATAL_FAILURE(Open(/*selectBeforeShowing=*/true));
  QCoreApplication::processEvents();
  ExpectColour(QuadPixel(Frame(), 0.5, 0), 0x64, 0x32, 0x19);
}

}  // namespace
}  // namespace kestrel::studio::testing
