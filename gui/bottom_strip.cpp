#include "gui/bottom_strip.h"

#include <QGridLayout>

namespace velquin {

TBottomStrip::TBottomStrip(bool withComparison, QWidget* parent)
    : QFrame(parent),
      file_(new QLabel(this)),
      view_(new QPushButton(QStringLiteral("View"), this)),
      delete_(new QPushButton(QStringLiteral("Delete"), this)) {
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  // The description above, the buttons below with the comparison after them; grown to the font.
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(6, 3, 6, 3);
  grid->setVerticalSpacing(2);
  file_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  // A long name is cut at the pane's edge rather than widen its pane past the other one.
  file_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  grid->addWidget(file_, 0, 0, 1, 4);
  grid->addWidget(view_, 1, 0);
  grid->addWidget(delete_, 1, 1);
  if (withComparison) {
    comparison_ = new QLabel(this);
    QFont font = comparison_->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() + 1);
    comparison_->setFont(font);
    QPalette palette = comparison_->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    comparison_->setPalette(palette);
    grid->addWidget(comparison_, 1, 2);
  }
  grid->setColumnStretch(3, 1);
}

}  // namespace velquin
