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
  // Sets the text without emitting TextEdited.
  void SetText(const QString& text);
  QLineEdit* Edit() { return edit_; }
  QToolButton* BrowseButton() { return browse_; }

 signals:
  // The user changed the text: typed, pasted or picked.
  void TextEdited(const QString& text);

 private:
  void Browse();

  QLineEdit* edit_;
  QToolButton* browse_;
};

}  // namespace velquin
