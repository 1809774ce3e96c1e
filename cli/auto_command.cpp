// velquin-cli auto [OPTIONS] [FOLDER...]: the Auto command over DirList.Txt of AppDir, or over a list
// holding just the named folders; DirList.Txt is never written.
#include <iostream>

#include "cli/cli_session.h"
#include "cli/subcommands.h"

namespace velquin {

int AutoCommand(const std::vector<std::string>& args) {
  const TCliOptions options = ParseCliOptions(args, true, false);
  TCliSession session(options);
  TForm1& form = session.Form();
  if (options.Folders.empty()) {
    try {
      form.LoadFolderList();
    } catch (const std::exception& e) {
      std::cerr << e.what() << '\n';
      return 1;
    }
  } else {
    for (const std::string& folder : options.Folders) form.AddLBItem(AbsoluteFolder(folder));
  }
  form.AutoButtonClick();
  return session.ExitStatus();
}

}  // namespace velquin
