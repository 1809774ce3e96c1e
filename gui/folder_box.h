// TFolderBox: the folder box, a one-line text box with a browse button that opens the folder picker.
// A folder chosen in the picker replaces the text (with its trailing '/').
#pragma once

#include <QLineEdit>
#include <QToolButton>
#include <QWidget>

namespace velquin {

class TFolderBox : public QWidget {
  Q_OBJECT

 public:
  explicit TFolderBox(QWidget* parent = nullptr);

  QString Text() const { return edit_->text(); }
  // Sets the text without emitting TextChosen; the cursor keeps its place.
  void SetText(const QString& text);
  QLineEdit* Edit() { return edit_; }
  QToolButton* BrowseButton() { return browse_; }

 signals:
  // The user settled on a text: picked a folder, or pressed Enter or left the box after typing.
  // A folder is not chosen at every keystroke: the half-typed folders on the way are none of the user's.
  void TextChosen(const QString& text);

 private:
  void Browse();

  QLineEdit* edit_;
  QToolButton* browse_;
};

}  // namespace velquin
