// The image view on a real display: the demo's CHECKER.BMP on screen at zoom 1 and 3.
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTreeView>
#include <QWindow>
#include <QtCore/qtestsupport_core.h>
#include <QtGui/qtestsupport_gui.h>

#include "archive/archive_editing.h"
#include "studio/shell/archive_tree_model.h"
#include "studio/preview/image_view.h"
#include "studio/shell/tests/studio_fixture.h"
#include "tools/demo/demo_files.h"

namespace kestrel::studio::testing {
namespace {

class ImageScreenTest : public StudioTest {
 protected:
  void TearDown() override {
    real_.reset();
    StudioTest::TearDown();
  }
  std::unique_ptr<TFKestrel> real_;
};

// What the demo draws: squares of 16 pixels, red and near-white.
QRgb Checker(int x, int y) { return (x / 16 + y / 16) % 2 ? qRgb(230, 30, 30) : qRgb(250, 250, 250); }

TEST_F(ImageScreenTest, DemoCheckerOnScreenAtZoomOneAndThree) {
  TestArchive demo;
  int checker = -1;
  for (const auto& file : demo::DemoFiles()) {
    if (file.Name == "CHECKER.BMP") checker = static_cast<int>(demo.Entries.size());
    demo.Entries.emplace_back(file.Name, file.Bytes, AddedEntryType(file.Name));
  }
  ASSERT_GE(checker, 0);
  const std::string path = WriteArchive("DEMO.MAS", demo);
  real_ = std::make_unique<TFKestrel>(dialogs_, Environment(QString::fromStdString(path)));
  TFKestrel& w = *real_;
  w.resize(1000, 700);
  w.move(0, 0);
  w.show();
  ASSERT_TRUE(w.windowHandle() && QTest::qWaitForWindowExposed(w.windowHandle()));

  w.MASTreeNT->setCurrentIndex(w.TreeModel()->EntryNode(checker));
  for (int zoom : {1, 3}) {
    SCOPED_TRACE("zoom " + std::to_string(zoom));
    while (w.State().ZoomFactor < zoom) w.TBZoomIn->trigger();
    QWidget* canvas = w.MASImgView->widget();
    ASSERT_EQ(canvas->size(), QSize(128, 128) * zoom);
    // The screen is read again until the picture is there (the X server draws in its own time);
    // what is wrong in the last reading is reported.
    QImage screen;
    QPoint origin;
    int wrong = 0;
    const auto wrongPixels = [&] {
      screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
      origin = canvas->mapToGlobal(QPoint(0, 0)) * screen.devicePixelRatio();
      wrong = 0;
      for (int y = 0; y < 128 * zoom; ++y)
        for (int x = 0; x < 128 * zoom; ++x)
          if (screen.pixel(origin + QPoint(x, y)) != Checker(x / zoom, y / zoom)) ++wrong;
      return wrong;
    };
    if (!QTest::qWaitFor([&] { return wrongPixels() == 0; }, 5000)) {
      int reported = 0;
      for (int y = 0; y < 128 * zoom && reported < 5; ++y)
        for (int x = 0; x < 128 * zoom && reported < 5; ++x)
          if (screen.pixel(origin + QPoint(x, y)) != Checker(x / zoom, y / zoom) && ++reported)
            ADD_FAILURE() << "screen pixel (" << x << ", " << y << ") of the picture is "
                          << QColor(screen.pixel(origin + QPoint(x, y))).name().toStdString();
      ADD_FAILURE() << wrong << " pixels of the picture are wrong";
    }
    // Around the centred picture: the workspace colour.
    const QPoint beside = origin + QPoint(-3, 64 * zoom);
    EXPECT_EQ(screen.pixel(beside), w.MASImgView->palette().color(QPalette::Dark).rgb());
  }
}

}  // namespace
}  // namespace kestrel::studio::testing
