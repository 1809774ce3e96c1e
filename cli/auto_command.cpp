// velquin-cli auto [OPTIONS] [FOLDER...]: the Auto command over DirList.Txt of AppDir, or over a list
// holding just the named folders; DirList.Txt is never written.
#include "cli/cli_session.h"
#include "cli/command_line.h"

namespace velquin {

int AutoCommand(const TCommandArgs& args, std::ostream& out, std::ostream& err) {
  return RunCliCommand("auto", err, [&] {
    const TCliOptions options = ParseCliOptions("auto", args);
    RequireFolders(options);
    TCliSession session(options, out, err);
    TForm1& form = session.Form();
    if (options.Folders.empty()) {
      form.LoadFolderList();
    } else {
      for (const std::string& folder : options.Folders) form.AddLBItem(AbsoluteFolder(folder));
    }
    form.AutoButtonClick();
    return session.ExitStatus();
  });
}

}  // namespace velquin
