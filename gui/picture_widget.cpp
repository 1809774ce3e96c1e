#include "gui/picture_widget.h"

#include <QEvent>
#include <QImage>
#include <QPainter>

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
  QPainter painter(this);
  image_.Paint([&](const TBitmap32& buffer) {
    if (buffer.IsEmpty()) return;
    const QImage pixels(reinterpret_cast<const uchar*>(buffer.Bits()), buffer.Width(), buffer.Height(),
                        static_cast<qsizetype>(buffer.Width()) * 4, QImage::Format_RGB32);
    painter.drawImage(QPoint(0, 0), pixels, QRect(0, 0, image_.Width(), image_.Height()));
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

void TPictureWidget::FollowGeometry() { image_.SetBounds(x(), y(), width(), height()); }

void TPictureWidget::FollowPalette() {
  image_.SetColor(static_cast<TColor32>(palette().color(QPalette::Button).rgb()));
}

}  // namespace velquin
