// velquin-cli match [OPTIONS] FOLDER: the Matches command on FOLDER; the closing dialog's text on
// stdout.
#include "cli/cli_session.h"
#include "cli/subcommands.h"

namespace velquin {

int MatchCommand(const std::vector<std::string>& args) {
  const TCliOptions options = ParseCliOptions(args, true, false);
  const std::string folder = SingleFolder(options);
  TCliSession session(options);
  session.Form().SetDirEditText(folder);
  if (session.ExitStatus() == 0) session.Form().CompMatchesButtonClick();
  return session.ExitStatus();
}

}  // namespace velquin
