#include "cli/console_view.h"

#include <unistd.h>

#include <cstdio>

#include "app/form1.h"

namespace velquin {

TConsoleView::TConsoleView(const TForm1& form, bool verbose)
    : form_(form), verbose_(verbose), terminal_(isatty(STDERR_FILENO) == 1) {}

TConsoleView::~TConsoleView() { ClearProgress(); }

void TConsoleView::ClearProgress() {
  if (!progressShown_) return;
  std::fputs("\r\x1b[K", stderr);
  std::fflush(stderr);
  progressShown_ = false;
}

void TConsoleView::PrintLine(const std::string& line) {
  ClearProgress();
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

void TConsoleView::FormChanged(TFormPart part) {
  if (part != TFormPart::ProgressLine || !terminal_) return;
  const std::string& line = form_.ProgressLine();
  if (line.empty()) {
    ClearProgress();
    return;
  }
  std::fprintf(stderr, "\r%s\x1b[K", line.c_str());
  std::fflush(stderr);
  progressShown_ = true;
}

void TConsoleView::MemoChanged(TMemoChange change, const std::string& line) {
  if (change != TMemoChange::Appended && change != TMemoChange::InsertedFirst) return;
  if (verbose_ || line.rfind("Unable to process", 0) == 0) PrintLine(line);
}

}  // namespace velquin
