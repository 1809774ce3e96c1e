// TConsoleDesktop: the desktop of velquin-cli. Message boxes print their text on stdout, the error
// report prints on stderr and is remembered for the exit status; there are no window messages.
#pragma once

#include <string>

#include "platform/desktop.h"

namespace velquin {

class TConsoleDesktop : public TDesktop {
 public:
  void ProcessMessages() override {}
  TCursor Cursor() const override { return cursor_; }
  void SetCursor(TCursor cursor) override { cursor_ = cursor; }
  void ShowMessage(const std::string& text) override;
  void ShowError(const std::string& text) override;
  void RecycleFile(const std::string& path) override;
  void ShellOpen(const std::string& path) override;

  // True iff the error report has run.
  bool ErrorShown() const { return errorShown_; }

 private:
  TCursor cursor_ = TCursor::crDefault;
  bool errorShown_ = false;
};

}  // namespace velquin
