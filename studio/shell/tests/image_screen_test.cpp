// The image view on a real display: the demo's CHECKER.BMP on screen at zoom 1 and 3.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTreeView>
#include <QWindow>

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

void Settle(int milliseconds) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < milliseconds) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

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
  Settle(300);
  ASSERT_TRUE(w.windowHandle() && w.windowHandle()->isExposed());

  w.MASTreeNT->setCurrentIndex(w.TreeModel()->EntryNode(checker));
  for (int zoom : {1, 3}) {
    SCOPED_TRACE("zoom " + std::to_string(zoom));
    while (w.State().ZoomFactor < zoom) w.TBZoomIn->trigger();
    Settle(300);
    QWidget* canvas = w.MASImgView->widget();
    ASSERT_EQ(canvas->size(), QSize(128, 128) * zoom);
    const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    const QPoint origin = canvas->mapToGlobal(QPoint(0, 0)) * screen.devicePixelRatio();
    int wrong = 0;
    for (int y = 0; y < 128 * zoom; ++y)
      for (int x = 0; x < 128 * zoom; ++x)
        if (screen.pixel(origin + QPoint(x, y)) != Checker(x / zoom, y / zoom) && ++wrong <= 5)
          ADD_FAILURE() << "screen pixel (" << x << ", " << y << ") of the picture is "
                        << QColor(screen.pixel(origin + QPoint(x, y))).name().toStdString();
    EXPECT_EQ(wrong, 0);
    // Around the centred picture: the workspace colour.
    const QPoint beside = origin + QPoint(-3, 64 * zoom);
    EXPECT_EQ(screen.pixel(beside), w.MASImgView->palette().color(QPalette::Dark).rgb());
  }
}

}  // namespace
}  // namespace kestrel::studio::testing
