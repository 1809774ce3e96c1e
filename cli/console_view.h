// TConsoleView: what velquin-cli shows of the form on its error stream: the log pane's lines with --verbose,
// the list of problems ("Unable to process" lines with their reasons) always, and the progress line,
// rewritten in place, when stderr is a terminal.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>

#include "app/form_view.h"

namespace velquin {

class TForm1;

class TConsoleView : public TFormView {
 public:
  // err: stderr of the program; the progress line is shown only when stderr is a terminal.
  TConsoleView(const TForm1& form, bool verbose, std::ostream& err);
  ~TConsoleView() override;

  void FormChanged(TFormPart part) override;
  void MemoChanged(TMemoChange change, const std::string& line) override;
  void CloseRequested() override {}
  // A terminal shows no pictures: the form never decodes a pair for velquin-cli.
  bool ShowsPairPictures() const override { return false; }

 private:
  void ClearProgress();
  void PrintLine(const std::string& line);

  const TForm1& form_;
  std::ostream& err_;
  bool verbose_;
  bool terminal_;
  // True while a progress line stands unterminated on the terminal.
  bool progressShown_ = false;
  // How many lines of the form's list of problems have been printed.
  std::size_t problemsShown_ = 0;
};

}  // namespace velquin
