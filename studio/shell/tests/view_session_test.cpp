// A whole session on a real display, read from the screen as the user sees it: image, mesh, image,
// mesh, then another archive, each picture checked where it lands on the screen.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTreeView>
#include <QWindow>
#include <cmath>

#include "studio/image/testing/image_writers.h"
#include "studio/preview/gl_view.h"
#include "studio/preview/image_view.h"
#include "studio/shell/tests/facing_quad.h"
#include "studio/shell/tests/studio_fixture.h"

namespace kestrel::studio::testing {
namespace {

void Settle(int milliseconds) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < milliseconds) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool Near(QRgb a, QColor b, int tolerance = 4) {
  return std::abs(qRed(a) - b.red()) <= tolerance && std::abs(qGreen(a) - b.green()) <= tolerance &&
         std::abs(qBlue(a) - b.blue()) <= tolerance;
}

class ViewSessionTest : public StudioTest {
 protected:
  void TearDown() override {
    real_.reset();
    StudioTest::TearDown();
  }
  void Select(int tableIndex) { real_->MASTreeNT->setCurrentIndex(real_->TreeModel()->EntryNode(tableIndex)); }
  // What the screen shows of `view`, in its own pixels.
  static QImage OnScreen(QWidget* view) {
    const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    const QPoint origin = view->mapToGlobal(QPoint(0, 0)) * screen.devicePixelRatio();
    return screen.copy(QRect(origin, view->size() * screen.devicePixelRatio()));
  }
  // The square mesh, drawn in its texture colour at the size the view's height gives it.
  void ExpectMeshOnScreen(const char* what) {
    SCOPED_TRACE(what);
    Settle(300);
    ASSERT_TRUE(W().glWindow->isVisible());
    const QImage view = OnScreen(W().glWindow);
    const QColor background = TGLWindow::BackgroundColour();
    int drawn = 0;
    for (int y = 0; y < view.height(); ++y)
      for (int x = 0; x < view.width(); ++x) drawn += !Near(view.pixel(x, y), background);
    // A 2 x 2 square at distance 4 under a 45-degree perspective spans 1 / (4 tan 22.5) of the height.
    const double side = view.height() / (4 * std::tan(22.5 * std::acos(-1.0) / 180));
    EXPECT_NEAR(drawn, side * side, side * side * 0.05) << "pixels not of the background";
    ExpectColour(QuadPixel(view, 0.5, 0), 0x64, 0x32, 0x19);
    ExpectColour(QuadPixel(view, -0.8, 0.8), 0x64, 0x32, 0x19);
    ExpectColour(QuadPixel(view, 1.2, 0), background.red(), background.green(), background.blue());
  }
  // The 8 x 8 picture in its two colours (its top two rows swapped), centred in the image view.
  void ExpectImageOnScreen(const char* what) {
    SCOPED_TRACE(what);
    Settle(300);
    ASSERT_TRUE(W().MASImgView->isVisible());
    ASSERT_FALSE(W().glWindow->isVisible());
    const QImage view = OnScreen(W().MASImgView->widget());
    ASSERT_EQ(view.size(), QSize(8, 8));
    int wrong = 0;
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) wrong += view.pixel(x, y) != Picture(x, y);
    EXPECT_EQ(wrong, 0);
  }
  static QRgb Picture(int x, int y) { return (x < 4) != (y < 2) ? qRgb(10, 200, 30) : qRgb(240, 240, 0); }
  TFKestrel& W() { return *real_; }
  std::unique_ptr<TFKestrel> real_;  // shows pictures for real
};

TEST_F(ViewSessionTest, ImageMeshImageMeshThenAnotherArchive) {
  const auto texture = kestrel::testing::SolidBmp(0xFF643219u);
  const auto picture = kestrel::testing::BmpBytes(kestrel::testing::DrawPicture(8, 8, [](int x, int y) {
                                                   return 0xFF000000u | Picture(x, y);
                                                 }),
                                                 {});
  const std::string path = WriteArchive(
      "SESSION.MAS", ArchiveOf({TestEntry("PIC.BMP", picture, 18), TestEntry("ONE.MTS", FacingQuad("T.BMP"), 17),
                                TestEntry("T.BMP", texture, 18), TestEntry("TWO.MTS", FacingQuad("T.BMP"), 17)}));
  const std::string other = WriteArchive("OTHER.MAS", ArchiveOf({TestEntry("NOTES.TXT", Bytes("notes"), 31)}));
  real_ = std::make_unique<TFKestrel>(dialogs_, Environment(QString::fromStdString(path)));
  TFKestrel& w = *real_;
  w.resize(800, 600);
  w.move(0, 0);
  w.show();
  Settle(300);
  ASSERT_TRUE(w.windowHandle() && w.windowHandle()->isExposed());
  ASSERT_NE(w.glWindow->Canvas(), nullptr);

  Select(0);
  ExpectImageOnScreen("first image");
  Select(1);
  ExpectMeshOnScreen("first mesh after an image");
  Select(0);
  ExpectImageOnScreen("the image again");
  Select(3);
  ExpectMeshOnScreen("the second mesh");

  w.OpenArchive(QString::fromStdString(other));
  Settle(300);
  EXPECT_FALSE(w.MASImgView->HasImage());
  const QImage cleared = OnScreen(w.PViewer);
  const QColor background = TGLWindow::BackgroundColour();
  int foreign = 0;
  for (int y = 0; y < cleared.height(); ++y)
    for (int x = 0; x < cleared.width(); ++x) foreign += !Near(cleared.pixel(x, y), background);
  EXPECT_EQ(foreign, 0) << "the other archive opens on an empty view";
}

}  // namespace
}  // namespace kestrel::studio::testing
