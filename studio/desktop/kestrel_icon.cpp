#include "studio/desktop/kestrel_icon.h"

#include <QBuffer>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>

namespace kestrel::studio {

namespace {

// The bird on a 100 x 100 grid as seen from below: long pointed wings swept back, a small head and
// a long tail. Drawn as its right half and that half mirrored, so both sides always match.
QPainterPath BirdPath() {
  QPainterPath right;
  right.moveTo(50, 24);                   // crown
  right.cubicTo(54, 24, 56, 28, 55, 33);  // head
  right.cubicTo(64, 30, 80, 30, 96, 44);  // leading edge of the wing out to its tip
  right.cubicTo(84, 46, 70, 48, 58, 54);  // trailing edge back to the body
  right.lineTo(56, 62);                   // flank
  right.lineTo(60, 84);                   // edge of the tail
  right.cubicTo(56, 86, 53, 87, 50, 87);  // tail tip
  const QPainterPath left = QTransform(-1, 0, 0, 1, 100, 0).map(right).toReversed();
  QPainterPath bird = right;
  bird.connectPath(left);
  bird.closeSubpath();
  return bird;
}

}  // namespace

QImage DrawKestrelIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 100.0, size / 100.0);

  // The tile: a dusk-blue sky, darker towards the bottom, with a thin light rim.
  const QRectF tile(4, 4, 92, 92);
  QLinearGradient sky(0, 4, 0, 96);
  sky.setColorAt(0, QColor(0x3a, 0x7b, 0xc8));
  sky.setColorAt(1, QColor(0x12, 0x2e, 0x5e));
  painter.setPen(QPen(QColor(255, 255, 255, 90), size < 32 ? 0 : 2));
  painter.setBrush(sky);
  painter.drawRoundedRect(tile, 18, 18);

  // The bird in a kestrel's rufous brown, its wing tips dark.
  painter.translate(0, 4);
  QLinearGradient plumage(0, 28, 0, 84);
  plumage.setColorAt(0, QColor(0xf0, 0x9a, 0x4a));
  plumage.setColorAt(1, QColor(0xb8, 0x5a, 0x1c));
  painter.setPen(QPen(QColor(0x3b, 0x1e, 0x0a), size < 32 ? 3 : 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(plumage);
  painter.drawPath(BirdPath());
  if (size >= 32) {
    // Dark wing tips and the head's dark marks.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x3b, 0x1e, 0x0a));
    for (const QTransform& side : {QTransform(), QTransform(-1, 0, 0, 1, 100, 0)}) {
      QPainterPath tip;
      tip.moveTo(96, 44);
      tip.cubicTo(90, 40, 86, 38, 82, 37);
      tip.lineTo(84, 46.5);
      tip.closeSubpath();
      painter.drawPath(side.map(tip));
    }
    painter.drawEllipse(QPointF(50, 29), 2.2, 2.2);
  }
  painter.end();
  return image;
}

QByteArray KestrelIconPng(int size) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  DrawKestrelIcon(size).save(&buffer, "PNG");
  return bytes;
}

}  // namespace kestrel::studio
