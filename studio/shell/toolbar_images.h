// The tool bar's images: the bitmap resource "IDB_TOOLBAR", fifteen 16 x 15 images in one strip.
#pragma once

#include <QIcon>
#include <QImage>
#include <QList>

namespace kestrel::studio {

inline constexpr int kToolbarImageWidth = 16;
inline constexpr int kToolbarImageHeight = 15;
inline constexpr int kToolbarImageCount = 15;

// Cuts the strip into its images; magenta (255, 0, 255) becomes transparent. A missing or
// undersized strip gives no images at all, and the buttons go without.
QList<QImage> SplitToolbarStrip(const QImage& strip);
QList<QIcon> LoadToolbarImages();

}  // namespace kestrel::studio
