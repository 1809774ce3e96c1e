// TBottomStrip: the strip under a picture: the description label and the View and Delete buttons,
// and on the left side the size comparison.
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
  QPushButton* ViewButton() { return view_; }
  QPushButton* DeleteButton() { return delete_; }
  // nullptr on the right strip.
  QLabel* Comparison() { return comparison_; }

 private:
  QLabel* file_;
  QPushButton* view_;
  QPushButton* delete_;
  QLabel* comparison_ = nullptr;
};

}  // namespace velquin
