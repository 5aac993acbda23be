#include "studio/shell/toolbar_images.h"

#include <QPixmap>

// The strip is compiled into the shell's static library, whose resources must be registered by hand.
static void RegisterStudioResources() { Q_INIT_RESOURCE(kestrel); }

namespace kestrel::studio {

QList<QImage> SplitToolbarStrip(const QImage& strip) {
  QList<QImage> images;
  if (strip.width() < kToolbarImageWidth * kToolbarImageCount || strip.height() < kToolbarImageHeight)
    return images;
  const QImage argb = strip.convertToFormat(QImage::Format_ARGB32);
  for (int i = 0; i < kToolbarImageCount; ++i) {
    QImage image = argb.copy(i * kToolbarImageWidth, 0, kToolbarImageWidth, kToolbarImageHeight);
    for (int y = 0; y < image.height(); ++y) {
      auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
      for (int x = 0; x < image.width(); ++x)
        if ((row[x] & 0x00FFFFFFu) == 0x00FF00FFu) row[x] = qRgba(0, 0, 0, 0);
    }
    images << image;
  }
  return images;
}

QList<QIcon> LoadToolbarImages() {
  RegisterStudioResources();
  QList<QIcon> icons;
  for (const QImage& image : SplitToolbarStrip(QImage(QStringLiteral(":/IDB_TOOLBAR"))))
    icons << QIcon(QPixmap::fromImage(image));
  return icons;
}

}  // namespace kestrel::studio
