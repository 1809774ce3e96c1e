// velquin-cli clear FOLDER: the ClearDBs command on FOLDER.
#include "cli/cli_session.h"
#include "cli/subcommands.h"

namespace velquin {

int ClearCommand(const std::vector<std::string>& args) {
  const TCliOptions options = ParseCliOptions(args, false, false);
  const std::string folder = SingleFolder(options);
  TCliSession session(options);
  session.Form().SetDirEditText(folder);
  if (session.ExitStatus() == 0) session.Form().ClearButtonClick();
  return session.ExitStatus();
}

}  // namespace velquin
