// TBottomStrip: the strip under a picture: the file's name, its facts (size, pixels, format, date),
// the View and Delete buttons, and on the left side the size comparison.
#pragma once

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace velquin {

class TBottomStrip : public QFrame {
 public:
  // withComparison: the left strip carries lComp.
  TBottomStrip(bool withComparison, QWidget* parent = nullptr);

  QLabel* FileLabel() { return file_; }
  // Rich text: values larger than the other picture's are bold.
  QLabel* FactsLabel() { return facts_; }
  QPushButton* ViewButton() { return view_; }
  QPushButton* DeleteButton() { return delete_; }
  // nullptr on the right strip.
  QLabel* Comparison() { return comparison_; }
  // Puts control at the right end of the name's row.
  void AddControl(QWidget* control);

 private:
  static constexpr int kColumns = 5;

  QLabel* file_;
  QLabel* facts_;
  QPushButton* view_;
  QPushButton* delete_;
  QLabel* comparison_ = nullptr;
};

}  // namespace velquin
