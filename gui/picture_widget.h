// TPictureWidget: puts a TImage32 on the screen. The view renders into its own buffer; this widget
// only reports its geometry to the view, forwards the view's repaint requests to Qt, and copies the
// buffer (0xAARRGGBB words, which is QImage::Format_RGB32 as it stands) onto itself.
//
// The view works in the screen's device pixels, so that one picture pixel drawn 1:1 is one pixel of
// the screen whatever the desktop's scale factor; at scale 1 device and widget pixels are the same.
#pragma once

#include <QWidget>

#include "imaging/picture_view.h"

namespace velquin {

class TPictureWidget : public QWidget {
 public:
  // REQUIRES: image outlives this widget.
  TPictureWidget(TImage32& image, QWidget* parent = nullptr);
  ~TPictureWidget() override;

  TImage32& Image() { return image_; }
  const TImage32& Image() const { return image_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void FollowGeometry();
  void FollowPalette();

  TImage32& image_;
};

}  // namespace velquin
