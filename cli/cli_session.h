// TCliSession: the form as velquin-cli drives it: AppDir, a console desktop, the console view, and
// the form at its first-run defaults with the command line's options applied. Velquin2.INI is never
// read or written.
#pragma once

#include <ostream>

#include "app/form1.h"
#include "cli/cli_options.h"
#include "cli/console_desktop.h"
#include "cli/console_view.h"

namespace velquin {

class TCliSession {
 public:
  TCliSession(const TCliOptions& options, std::ostream& out, std::ostream& err);
  ~TCliSession();
  TCliSession(const TCliSession&) = delete;
  TCliSession& operator=(const TCliSession&) = delete;

  TForm1& Form() { return form_; }
  // 1 when the error report has run, else 0.
  int ExitStatus() const { return desktop_.ErrorShown() ? 1 : 0; }

 private:
  TConsoleDesktop desktop_;
  TForm1 form_;
  TConsoleView view_;
};

}  // namespace velquin
