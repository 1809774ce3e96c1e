// velquin-cli scan [OPTIONS] FOLDER: the Signatures command on FOLDER; the closing dialog's text on
// stdout.
#include "cli/cli_session.h"
#include "cli/subcommands.h"

namespace velquin {

int ScanCommand(const std::vector<std::string>& args) {
  const TCliOptions options = ParseCliOptions(args, true, false);
  const std::string folder = SingleFolder(options);
  TCliSession session(options);
  session.Form().SetDirEditText(folder);
  if (session.ExitStatus() == 0) session.Form().CompSigsButtonClick();
  return session.ExitStatus();
}

}  // namespace velquin
