// velquin-cli auto [OPTIONS] [FOLDER...]: the Auto command over DirList.Txt of AppDir, or over a list
// holding just the named folders; DirList.Txt is never written. A folder of either list that does not
// exist refuses the whole command before any folder is done.
#include "cli/cli_session.h"
#include "cli/command_line.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/text_utils.h"

namespace velquin {

int AutoCommand(const TCommandArgs& args, std::ostream& out, std::ostream& err) {
  return RunCliCommand("auto", err, [&] {
    const TCliOptions options = ParseCliOptions("auto", args);
    RequireFolders(options);
    TCliSession session(options, out, err);
    TForm1& form = session.Form();
    if (options.Folders.empty()) {
      form.LoadFolderList();
      // Refused before any folder is done, as a FOLDER named would be.
      for (const std::string& entry : form.LBItems()) {
        if (!IsBlank(entry) && !FolderExists(entry)) throw ENoSuchFolder(entry);
      }
    } else {
      for (const std::string& folder : options.Folders) form.AddLBItem(AbsoluteFolder(folder));
    }
    form.AutoButtonClick();
    return session.ExitStatus();
  });
}

}  // namespace velquin
