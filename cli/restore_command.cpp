// velquin-cli restore FILE...: brings trashed files back. FILE is the file's original path; of several
// trash entries for it the newest goes back. Prints "restored<TAB>FILE" for each; a FILE that is not in
// the trash, or whose place is taken again, gives its error on stderr, the others are still done, and
// the exit status is then 1.
#include <stdlib.h>

#include <filesystem>

#include "cli/cli_options.h"
#include "cli/command_line.h"
#include "cli/listing_escape.h"
#include "platform/errors.h"
#include "platform/trash.h"

namespace velquin {
namespace {

// The path the trash recorded for `file`: its folder without links, followed by its name.
std::string RecordedPath(const std::string& file) {
  const std::filesystem::path path = AbsoluteFile(file);
  char* real = realpath(path.parent_path().c_str(), nullptr);
  if (real == nullptr) return path.string();
  const std::string parent = real;
  free(real);
  return (parent == "/" ? "" : parent) + "/" + path.filename().string();
}

}  // namespace

int RestoreCommand(const TCommandArgs& args, std::ostream& out, std::ostream& err) {
  return RunCliCommand("restore", err, [&] {
    const TCliOptions options = ParseCliOptions("restore", args);
    if (options.Folders.empty()) throw EUsageError("expected a FILE");
    int status = kExitOk;
    for (const std::string& file : options.Folders) {
      try {
        const std::string original = RecordedPath(file);
        const std::optional<TTrashedFile> entry = FindNewestTrashed(original);
        if (!entry) throw ERestoreError(original, "It is not in the trash.");
        RestoreTrashedFile(*entry);
        out << "restored\t" << EscapeListingText(original) << '\n';
      } catch (const ERestoreError& error) {
        err << "velquin-cli: " << error.what() << '\n';
        status = kExitFailed;
      }
    }
    return status;
  });
}

}  // namespace velquin
