// The OpenGL view on a real display: a context comes up and the view clears to the preview colour.
#include <QImage>
#include <QOpenGLContext>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QWindow>
#include <QTreeView>

#include "studio/shell/archive_tree_model.h"
#include "studio/preview/gl_view.h"
#include "studio/preview/image_view.h"
#include <QSplitter>
#include "studio/shell/tests/studio_fixture.h"

namespace kestrel::studio::testing {
namespace {

using GLViewTest = StudioTest;

bool WaitUntilExposed(QWidget& widget) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < 5000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (widget.windowHandle() && widget.windowHandle()->isExposed()) return true;
  }
  return false;
}

TEST_F(GLViewTest, MeshSelectionShowsTheViewClearedToThePreviewColour) {
  const std::string path = WriteArchive("GL.MAS", ArchiveOf({TestEntry("CAR.MTS", Bytes("mesh"), 17),
                                                              TestEntry("SKY.BMP", Bytes("bmp"), 18)}));
  ASSERT_TRUE(TGLWindow::Available());
  RecordingWindow& w = Start(QString::fromStdString(path));
  w.show();
  ASSERT_TRUE(WaitUntilExposed(w));
  EXPECT_EQ(w.PTree->width(), 250);
  w.MASTreeNT->setCurrentIndex(w.TreeModel()->EntryNode(0));
  EXPECT_TRUE(w.glWindow->isVisible());
  EXPECT_FALSE(w.MASImgView->isVisible());

  ASSERT_NE(w.glWindow->Canvas(), nullptr);
  const QImage frame = w.glWindow->Canvas()->grabFramebuffer();
  ASSERT_TRUE(w.glWindow->Canvas()->isValid()) << "no OpenGL context";
  ASSERT_FALSE(frame.isNull());
  const QColor centre = frame.pixelColor(frame.width() / 2, frame.height() / 2);
  EXPECT_NEAR(centre.red(), 51, 2);
  EXPECT_NEAR(centre.green(), 51, 2);
  EXPECT_NEAR(centre.blue(), 102, 2);

  w.MASTreeNT->setCurrentIndex(w.TreeModel()->EntryNode(1));
  EXPECT_FALSE(w.glWindow->isVisible());
  EXPECT_TRUE(w.MASImgView->isVisible());
}

}  // namespace
}  // namespace kestrel::studio::testing
