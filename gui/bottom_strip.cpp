#include "gui/bottom_strip.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace velquin {

TBottomStrip::TBottomStrip(bool withComparison, QWidget* parent)
    : QFrame(parent),
      file_(new QLabel(this)),
      facts_(new QLabel(this)),
      view_(new QPushButton(QStringLiteral("View"), this)),
      delete_(new QPushButton(QStringLiteral("Delete"), this)),
      buttons_(new QHBoxLayout) {
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  // The name and the facts above, the buttons below with the comparison after them; grown to the font.
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(6, 3, 6, 3);
  column->setSpacing(2);
  file_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  facts_->setTextFormat(Qt::RichText);
  // A long name or line is cut at the pane's edge rather than widen its pane past the other one.
  for (QLabel* label : {file_, facts_}) {
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    column->addWidget(label);
  }
  buttons_->addWidget(view_);
  buttons_->addWidget(delete_);
  if (withComparison) {
    comparison_ = new QLabel(this);
    QFont font = comparison_->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() + 1);
    comparison_->setFont(font);
    QPalette palette = comparison_->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    comparison_->setPalette(palette);
    buttons_->addWidget(comparison_);
  }
  buttons_->addStretch(1);
  column->addLayout(buttons_);
}

void TBottomStrip::AddControl(QWidget* control) { buttons_->addWidget(control); }

}  // namespace velquin
