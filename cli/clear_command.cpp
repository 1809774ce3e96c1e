// velquin-cli clear FOLDER: the ClearDBs command on FOLDER.
#include "app/program_tables.h"
#include "cli/cli_options.h"
#include "cli/command_line.h"

namespace velquin {

int ClearCommand(const TCommandArgs& args, std::ostream& /*out*/, std::ostream& err) {
  return RunCliCommand("clear", err, [&] {
    const TCliOptions options = ParseCliOptions("clear", args);
    // The tables are never opened: damaged tables are cleared all the same.
    DeleteTables(SingleFolder(options));
    return 0;
  });
}

}  // namespace velquin
