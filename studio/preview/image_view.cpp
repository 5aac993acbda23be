#include "studio/preview/image_view.h"

#include <QPaintEvent>
#include <algorithm>
#include <QPainter>

namespace kestrel::studio {

// Draws the picture at an integer scale, each pixel a square of scale x scale screen pixels with
// no smoothing, so that texture pixels stay crisp. Only the exposed part is drawn: a large picture
// at zoom 5 is never scaled as a whole in memory.
class TImageView::Canvas : public QWidget {
 public:
  explicit Canvas(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("MASImgCanvas"));
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

  void Set(const QImage* image, int scale) {
    image_ = image;
    scale_ = scale;
    resize(image_->isNull() ? QSize(0, 0) : image_->size() * scale_);
    update();
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    if (!image_ || image_->isNull()) return;
    const QRect exposed = event->rect();
    // Whole source pixels that cover the exposed area.
    const int left = exposed.left() / scale_;
    const int top = exposed.top() / scale_;
    const int right = std::min(image_->width() - 1, exposed.right() / scale_);
    const int bottom = std::min(image_->height() - 1, exposed.bottom() / scale_);
    if (right < left || bottom < top) return;
    const QRect source(left, top, right - left + 1, bottom - top + 1);
    const QRect target(left * scale_, top * scale_, source.width() * scale_, source.height() * scale_);
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(target, *image_, source);
  }

 private:
  const QImage* image_ = nullptr;
  int scale_ = 1;
};

TImageView::TImageView(QWidget* parent) : QScrollArea(parent) {
  setObjectName(QStringLiteral("MASImgView"));
  setAlignment(Qt::AlignCenter);
  setFrameShape(QFrame::NoFrame);
  // The empty area shows the workspace colour, as an MDI workspace would.
  setBackgroundRole(QPalette::Dark);
  canvas_ = new Canvas(this);
  setWidget(canvas_);
  Refresh();
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

void TImageView::Refresh() { canvas_->Set(&image_, scale_); }

}  // namespace kestrel::studio
