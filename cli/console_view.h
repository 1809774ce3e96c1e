// TConsoleView: what velquin-cli shows of the form on stderr: the log pane's lines with --verbose,
// "Unable to process" lines always, and the progress line, rewritten in place, when stderr is a
// terminal.
#pragma once

#include <string>

#include "app/form_view.h"

namespace velquin {

class TForm1;

class TConsoleView : public TFormView {
 public:
  TConsoleView(const TForm1& form, bool verbose);
  ~TConsoleView() override;

  void FormChanged(TFormPart part) override;
  void MemoChanged(TMemoChange change, const std::string& line) override;
  void CloseRequested() override {}

 private:
  void ClearProgress();
  void PrintLine(const std::string& line);

  const TForm1& form_;
  bool verbose_;
  bool terminal_;
  // True while a progress line stands unterminated on the terminal.
  bool progressShown_ = false;
};

}  // namespace velquin
