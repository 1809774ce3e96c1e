// velquin-cli keep-best [--apply] [--keep FILE]... [OPTIONS] FOLDER: "trash the rest" for every group of
// copies of FOLDER. Per group one line "keep<TAB>KEEPER", then per other member "move<TAB>FILE" (what
// --apply would move), with --apply "moved<TAB>FILE<TAB>TRASHED" (TRASHED: the entry in the trash),
// or "skip<TAB>FILE<TAB>REASON". Names are escaped as EscapeListingText does. Exit status 1 when a
// move failed.
#include <algorithm>
#include <stdexcept>

#include "app/copy_groups.h"
#include "app/copy_review.h"
#include "cli/cli_options.h"
#include "cli/cli_session.h"
#include "cli/command_line.h"
#include "cli/listing_escape.h"

namespace velquin {

int KeepBestCommand(const TCommandArgs& args, std::ostream& out, std::ostream& err) {
  return RunCliCommand("keep-best", err, [&] {
    const TCliOptions options = ParseCliOptions("keep-best", args);
    const std::string folder = SingleFolder(options);
    TCliSession session(options, out, err);
    TForm1& form = session.Form();
    form.SetDirEditText(folder);
    if (session.ExitStatus() != 0) return session.ExitStatus();
    std::vector<TCopyPair> pairs = ReadCopyPairs(form.MatchesTable);
    MarkPairsOnlyGrayOrTurned(form, pairs);
    TCopyGroups groups(pairs);
    for (const std::string& keep : options.Keep) {
      if (!groups.ChooseKeeper(AbsoluteFile(keep)))
        throw std::runtime_error("velquin-cli: " + keep + ": in no group");
    }
    // Pairs found only through Gray or Turned are left out, as the window's "all groups" leaves them
    // out by default.
    std::vector<TRestPlan> plans;
    for (std::size_t group = 0; group < groups.Groups().size(); ++group)
      plans.push_back(PlanTrashTheRest(form, groups, group, false));
    // velquin-cli keeps no undo stack: restore brings a file back.
    if (options.Apply) TrashTheRest(form, groups, plans, false);
    int status = kExitOk;
    for (const TRestPlan& plan : plans) {
      out << "keep\t" << EscapeListingText(plan.Keeper) << '\n';
      for (const TRestStep& step : plan.Steps) {
        if (!step.Skip.empty()) {
          out << "skip\t" << EscapeListingText(step.File) << '\t' << EscapeListingText(step.Skip) << '\n';
          if (step.MoveFailed) status = kExitFailed;
        } else if (options.Apply) {
          out << "moved\t" << EscapeListingText(step.File) << '\t' << EscapeListingText(step.Trashed) << '\n';
        } else {
          out << "move\t" << EscapeListingText(step.File) << '\n';
        }
      }
    }
    return std::max(status, session.ExitStatus());
  });
}

}  // namespace velquin
