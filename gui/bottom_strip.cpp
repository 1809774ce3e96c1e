#include "gui/bottom_strip.h"

namespace velquin {

TBottomStrip::TBottomStrip(bool withComparison, QWidget* parent)
    : QFrame(parent),
      file_(new QLabel(this)),
      view_(new QPushButton(QStringLiteral("View"), this)),
      delete_(new QPushButton(QStringLiteral("Delete"), this)) {
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setFixedHeight(kHeight);
  file_->move(8, 4);
  file_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  view_->setGeometry(16, 24, 75, 25);
  delete_->setGeometry(96, 24, 75, 25);
  if (withComparison) {
    comparison_ = new QLabel(this);
    QFont font = comparison_->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() + 1);
    comparison_->setFont(font);
    QPalette palette = comparison_->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    comparison_->setPalette(palette);
    comparison_->move(176, 32);
  }
}

}  // namespace velquin
