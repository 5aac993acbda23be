#include "image_view.h"

#include <QLabel>
#include <QPixmap>

namespace kestrel::studio {

TImageView::TImageView(QWidget* parent) : QScrollArea(parent) {
  setObjectName(QStringLiteral("MASImgView"));
  setAlignment(Qt::AlignCenter);
  setFrameShape(QFrame::NoFrame);
  // The empty area shows the workspace colour, as an MDI workspace would.
  setBackgroundRole(QPalette::Dark);
  canvas_ = new QLabel(this);
  canvas_->setObjectName(QStringLiteral("MASImgCanvas"));
  canvas_->setBackgroundRole(QPalette::Dark);
  setWidget(canvas_);
}

void TImageView::Blank() {
  image_ = QImage();
  Refresh();
}

void TImageView::SetImage(const QImage& image) {
  image_ = image;
  Refresh();
}

void TImageView::SetScale(int scale) {
  scale_ = scale < 1 ? 1 : scale;
  Refresh();
}

void TImageView::Refresh() {
  if (image_.isNull()) {
    canvas_->setPixmap(QPixmap());
    canvas_->resize(0, 0);
    return;
  }
  const QPixmap pixmap = QPixmap::fromImage(image_.scaled(image_.size() * scale_));
  canvas_->setPixmap(pixmap);
  canvas_->resize(pixmap.size());
}

}  // namespace kestrel::studio
