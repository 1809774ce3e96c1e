#include "gui/folder_box.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <algorithm>

namespace velquin {

TFolderBox::TFolderBox(QWidget* parent)
    : QWidget(parent), edit_(new QLineEdit(this)), browse_(new QToolButton(this)) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(edit_, 1);
  layout->addWidget(browse_);
  browse_->setText(QStringLiteral("..."));
  browse_->setToolTip(QStringLiteral("Choose the folder"));
  browse_->setFocusPolicy(Qt::NoFocus);
  setFocusProxy(edit_);
  connect(edit_, &QLineEdit::editingFinished, this, [this] { emit TextChosen(edit_->text()); });
  connect(browse_, &QToolButton::clicked, this, &TFolderBox::Browse);
}

void TFolderBox::SetText(const QString& text) {
  if (edit_->text() == text) return;
  const int cursor = edit_->cursorPosition();
  edit_->setText(text);
  edit_->setCursorPosition(std::min(cursor, static_cast<int>(text.size())));
}

void TFolderBox::Browse() {
  const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Folder"), edit_->text());
  if (folder.isEmpty()) return;
  const QString text = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
  edit_->setText(text);
  emit TextChosen(text);
}

}  // namespace velquin
