// velquin-cli clear FOLDER: the ClearDBs command on FOLDER.
#include "cli/cli_session.h"
#include "cli/command_line.h"

namespace velquin {

int ClearCommand(const TCommandArgs& args, std::ostream& out, std::ostream& err) {
  return RunCliCommand("clear", err, [&] {
    const TCliOptions options = ParseCliOptions("clear", args);
    const std::string folder = SingleFolder(options);
    TCliSession session(options, out, err);
    session.Form().SetDirEditText(folder);
    if (session.ExitStatus() == 0) session.Form().ClearButtonClick();
    return session.ExitStatus();
  });
}

}  // namespace velquin
