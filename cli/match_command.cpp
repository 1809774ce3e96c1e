// velquin-cli match [OPTIONS] FOLDER: the Matches command on FOLDER; the closing dialog's text on
// stdout.
#include "cli/cli_session.h"
#include "cli/command_line.h"

namespace velquin {

int MatchCommand(const TCommandArgs& args, std::ostream& out, std::ostream& err) {
  return RunCliCommand("match", err, [&] {
    const TCliOptions options = ParseCliOptions("match", args);
    const std::string folder = SingleFolder(options);
    TCliSession session(options, out, err);
    session.Form().SetDirEditText(folder);
    if (session.ExitStatus() == 0) session.Form().CompMatchesButtonClick();
    return session.ExitStatus();
  });
}

}  // namespace velquin
