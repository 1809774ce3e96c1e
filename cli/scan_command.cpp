// velquin-cli scan [OPTIONS] FOLDER: the Signatures command on FOLDER; the closing dialog's text on
// stdout.
#include "cli/cli_session.h"
#include "cli/command_line.h"

namespace velquin {

int ScanCommand(const TCommandArgs& args, std::ostream& out, std::ostream& err) {
  return RunCliCommand("scan", err, [&] {
    const TCliOptions options = ParseCliOptions("scan", args);
    const std::string folder = SingleFolder(options);
    TCliSession session(options, out, err);
    session.Form().SetDirEditText(folder);
    if (session.ExitStatus() == 0) session.Form().CompSigsButtonClick();
    return session.ExitStatus();
  });
}

}  // namespace velquin
