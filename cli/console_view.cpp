#include "cli/console_view.h"

#include <unistd.h>

#include "app/form1.h"

namespace velquin {

TConsoleView::TConsoleView(const TForm1& form, bool verbose, std::ostream& err)
    : form_(form), err_(err), verbose_(verbose), terminal_(isatty(STDERR_FILENO) == 1) {}

TConsoleView::~TConsoleView() { ClearProgress(); }

void TConsoleView::ClearProgress() {
  if (!progressShown_) return;
  err_ << "\r\x1b[K" << std::flush;
  progressShown_ = false;
}

void TConsoleView::PrintLine(const std::string& line) {
  ClearProgress();
  err_ << line << '\n' << std::flush;
}

void TConsoleView::FormChanged(TFormPart part) {
  if (part == TFormPart::Problems) {
    const std::vector<std::string>& problems = form_.Problems();
    if (problems.size() < problemsShown_) problemsShown_ = 0;
    for (; problemsShown_ < problems.size(); ++problemsShown_) PrintLine(problems[problemsShown_]);
    return;
  }
  if (part != TFormPart::ProgressLine || !terminal_) return;
  const std::string& line = form_.ProgressLine();
  if (line.empty()) {
    ClearProgress();
    return;
  }
  err_ << '\r' << line << "\x1b[K" << std::flush;
  progressShown_ = true;
}

void TConsoleView::MemoChanged(TMemoChange change, const std::string& line) {
  // Lines inserted first are the pictures not processed: the list of problems prints them with
  // their reasons.
  if (change == TMemoChange::Appended && verbose_) PrintLine(line);
}

}  // namespace velquin
