#include "cli/cli_session.h"

#include "platform/app_dir.h"

namespace velquin {

TCliSession::TCliSession(const TCliOptions& options, std::ostream& out, std::ostream& err)
    : desktop_(out, err), form_(desktop_, ApplicationDir()), view_(form_, options.Verbose, err) {
  form_.SetView(&view_);
  ApplyCliOptions(options, form_);
}

TCliSession::~TCliSession() { form_.SetView(nullptr); }

}  // namespace velquin
