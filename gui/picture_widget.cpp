#include "gui/picture_widget.h"

#include <QEvent>
#include <QImage>
#include <QPainter>
#include <utility>

namespace velquin {

TPictureWidget::TPictureWidget(TImage32& image, QWidget* parent) : QWidget(parent), image_(image) {
  // The buffer covers every pixel of the view: nothing behind it is painted, nothing is erased.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setMinimumSize(1, 1);
  image_.OnRepaintRequest = [this] { update(); };
  FollowPalette();
  FollowGeometry();
}

TPictureWidget::~TPictureWidget() { image_.OnRepaintRequest = nullptr; }

void TPictureWidget::paintEvent(QPaintEvent*) {
  // The screen's scale factor may have changed (the window moved to another screen) without a resize.
  const auto request = std::exchange(image_.OnRepaintRequest, nullptr);
  FollowGeometry();
  image_.OnRepaintRequest = request;
  QPainter painter(this);
  image_.Paint([&](const TBitmap32& buffer) {
    if (buffer.IsEmpty()) return;
    const QImage pixels(reinterpret_cast<const uchar*>(buffer.Bits()), buffer.Width(), buffer.Height(),
                        static_cast<qsizetype>(buffer.Width()) * 4, QImage::Format_RGB32);
    painter.drawImage(QRectF(rect()), pixels, QRectF(0, 0, image_.Width(), image_.Height()));
  });
}

void TPictureWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FollowGeometry();
}

void TPictureWidget::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  FollowGeometry();
}

void TPictureWidget::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) FollowPalette();
}

void TPictureWidget::FollowGeometry() {
  const qreal ratio = devicePixelRatioF();
  image_.SetBounds(qRound(x() * ratio), qRound(y() * ratio), qRound(width() * ratio),
                   qRound(height() * ratio));
}

void TPictureWidget::FollowPalette() {
  image_.SetColor(static_cast<TColor32>(palette().color(QPalette::Button).rgb()));
}

}  // namespace velquin
