// TConsoleDesktop: the desktop of velquin-cli. Message boxes print their text on out, the error
// report prints on err and is remembered for the exit status; there are no window messages.
#pragma once

#include <ostream>
#include <string>

#include "platform/desktop.h"

namespace velquin {

class TConsoleDesktop : public TDesktop {
 public:
  TConsoleDesktop(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  void ProcessMessages() override {}
  TCursor Cursor() const override { return cursor_; }
  void SetCursor(TCursor cursor) override { cursor_ = cursor; }
  void ShowMessage(const std::string& text) override;
  void ShowError(const std::string& text) override;
  TTrashedFile RecycleFile(const std::string& path) override;
  void RestoreFile(const TTrashedFile& entry) override;
  void ShellOpen(const std::string& path) override;

  // True iff the error report has run.
  bool ErrorShown() const { return errorShown_; }

 private:
  std::ostream& out_;
  std::ostream& err_;
  TCursor cursor_ = TCursor::crDefault;
  bool errorShown_ = false;
};

}  // namespace velquin
