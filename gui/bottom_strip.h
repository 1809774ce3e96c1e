// TBottomStrip: the strip under a picture: the file's name, its facts (size, pixels, format, date),
// the View and Delete buttons, and on the left side the size comparison.
#pragma once

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace velquin {

class TBottomStrip : public QFrame {
 public:
  // withComparison: the left strip carries lComp.
  TBottomStrip(bool withComparison, QWidget* parent = nullptr);

  QLabel* FileLabel() { return file_; }
  // Rich text, two lines (the date on the second): values larger than the other picture's are bold.
  QLabel* FactsLabel() { return facts_; }
  QPushButton* ViewButton() { return view_; }
  QPushButton* DeleteButton() { return delete_; }
  // nullptr on the right strip.
  QLabel* Comparison() { return comparison_; }
  // Puts control at the right end of the buttons' row.
  void AddControl(QWidget* control);

 private:
  QLabel* file_;
  QLabel* facts_;
  QPushButton* view_;
  QPushButton* delete_;
  QLabel* comparison_ = nullptr;
  QHBoxLayout* buttons_;
};

}  // namespace velquin
