#include "gui/bottom_strip.h"

#include <QGridLayout>
#include <QHBoxLayout>

namespace velquin {

TBottomStrip::TBottomStrip(bool withComparison, QWidget* parent)
    : QFrame(parent),
      file_(new QLabel(this)),
      facts_(new QLabel(this)),
      view_(new QPushButton(QStringLiteral("View"), this)),
      delete_(new QPushButton(QStringLiteral("Delete"), this)) {
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  // The name and the facts above, the buttons below with the comparison after them; grown to the font.
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(6, 3, 6, 3);
  grid->setVerticalSpacing(2);
  file_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  facts_->setTextFormat(Qt::RichText);
  // A long name or line is cut at the pane's edge rather than widen its pane past the other one.
  for (QLabel* label : {file_, facts_}) {
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    label->setMinimumWidth(0);
  }
  grid->addWidget(file_, 0, 0, 1, kColumns);
  grid->addWidget(facts_, 1, 0, 1, kColumns);
  grid->addWidget(view_, 2, 0);
  grid->addWidget(delete_, 2, 1);
  if (withComparison) {
    comparison_ = new QLabel(this);
    QFont font = comparison_->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() + 1);
    comparison_->setFont(font);
    QPalette palette = comparison_->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    comparison_->setPalette(palette);
    grid->addWidget(comparison_, 2, 2);
  }
  grid->setColumnStretch(3, 1);
}

void TBottomStrip::AddControl(QWidget* control) {
  // Beside the name, which yields its room, in a row of their own: the columns of the buttons' row
  // stay as they are, so both strips keep one width.
  auto* grid = static_cast<QGridLayout*>(layout());
  grid->removeWidget(file_);
  auto* row = new QHBoxLayout;
  row->addWidget(file_, 1);
  row->addWidget(control);
  grid->addLayout(row, 0, 0, 1, kColumns);
}

}  // namespace velquin
