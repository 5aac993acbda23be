// The scrollable image view `MASImgView`, where image entries are shown at a zoom of 1 to 5.
#pragma once

#include <QImage>
#include <QScrollArea>

namespace kestrel::studio {

class TImageView : public QScrollArea {
  Q_OBJECT
 public:
  explicit TImageView(QWidget* parent = nullptr);

  // Empties the view: only the workspace colour shows.
  void Blank();
  void SetImage(const QImage& image);
  void SetScale(int scale);
  int Scale() const { return scale_; }
  bool HasImage() const { return !image_.isNull(); }
  const QImage& Image() const { return image_; }

 private:
  class Canvas;
  void Refresh();
  Canvas* canvas_ = nullptr;
  QImage image_;
  int scale_ = 1;
};

}  // namespace kestrel::studio
