// A main window on an archive of pictures in each image format, for the image view and commands.
#pragma once

#include <QImage>
#include <QTreeView>
#include <memory>
#include <string>
#include <vector>

#include "archive/testing/mas_builder.h"
#include "studio/image/testing/image_writers.h"
#include "studio/preview/image_view.h"
#include "studio/shell/archive_tree_model.h"
#include "studio/shell/tests/studio_fixture.h"

namespace kestrel::studio::testing {

using kestrel::testing::BmpBytes;
using kestrel::testing::DrawPicture;
using kestrel::testing::JpegBytes;
using kestrel::testing::TgaBytes;

inline uint32_t Colour(int x, int y) {
  return 0xFF000000u | static_cast<uint32_t>(x * 60) << 16 | static_cast<uint32_t>(y * 100) << 8 | 0x40;
}

class ImagePreviewTest : public StudioTest {
 protected:
  void TearDown() override {
    real_.reset();
    StudioTest::TearDown();
  }

  // WALL.BMP 3 x 2, with a wrong image-size field; GLASS.TGA 4 x 4 with alpha; SKY.JPG 16 x 8.
  TestArchive Images() {
    const std::vector<uint8_t> broken = Bytes("BM but nothing a bitmap needs");
    TestEntry damaged("DAMAGED.TGA", wall_, 20);
    damaged.RawBytes = kestrel::testing::NoiseBytes(30, 9);
    damaged.UncompressedSize = 500;
    return ArchiveOf({TestEntry("WALL.BMP", wall_, 18), TestEntry("GLASS.TGA", glass_, 20),
                      TestEntry("SKY.JPG", sky_, 22), TestEntry("CAR.MTS", Bytes("a mesh"), 17),
                      TestEntry("BROKEN.BMP", broken, 18), damaged});
  }

  TFKestrel& Open(const TestArchive& archive) {
    archive_ = WriteArchive("IMAGES.MAS", archive);
    real_ = std::make_unique<TFKestrel>(dialogs_, Environment(QString::fromStdString(archive_)));
    return *real_;
  }
  TFKestrel& R() { return *real_; }
  void Select(int entry) { R().MASTreeNT->setCurrentIndex(R().TreeModel()->EntryNode(entry)); }

  // Zoom in, out, reset enabled, as three letters: "i--", "ior", ...
  std::string ZoomStates() {
    return std::string(R().TBZoomIn->isEnabled() ? "i" : "-") + (R().TBZoomOut->isEnabled() ? "o" : "-") +
           (R().TBZoomReset->isEnabled() ? "r" : "-");
  }
  QImage Shown() { return R().MASImgView->Image(); }
  // The drawn picture as the view should show it: its colours, without alpha.
  static QImage Drawn(const kestrel::testing::TestPicture& picture) {
    QImage q(picture.Width, picture.Height, QImage::Format_RGB32);
    for (int y = 0; y < q.height(); ++y)
      for (int x = 0; x < q.width(); ++x) q.setPixel(x, y, 0xFF000000u | picture.At(x, y));
    return q;
  }

  kestrel::testing::TestPicture wall_picture_ = DrawPicture(3, 2, Colour);
  kestrel::testing::TestPicture glass_picture_ =
      DrawPicture(4, 4, [](int x, int y) { return static_cast<uint32_t>(x * 60) << 24 | Colour(x, y); });
  std::vector<uint8_t> wall_ = BmpBytes(wall_picture_, {.ImageSizeField = 999999});
  std::vector<uint8_t> glass_ = TgaBytes(glass_picture_, {.Bits = 32});
  std::vector<uint8_t> sky_ = JpegBytes(DrawPicture(16, 8, Colour), {});
  std::string archive_;
  std::unique_ptr<TFKestrel> real_;
};

}  // namespace kestrel::studio::testing
