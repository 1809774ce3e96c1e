// The review of groups of copies on the Folder's tables: reading the pairs, and "trash the rest",
// which moves to the trash the members of a group that are safe to lose beside its keeper.
//
// A member is moved only when all of these hold, checked when the plan is made and again just before
// its move; otherwise it stays, and the step says why:
//   - it is itself a recorded pair with the keeper (a chain A~B~C does not trash C for A);
//   - both files exist, and both files' dates equal their Sigs FileDate (neither changed since its
//     signature was made);
//   - their Sigs rows still match under the current rules (the Margin, Colors, Turned and Gray of now);
//   - it lies in the Folder, and it is not another name of the keeper's file (same device and inode).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "app/copy_groups.h"
#include "matching/trash_records.h"

namespace velquin {

class TMatchHost;
class TTable;

// The pairs of the open Matches table whose two files lie in its folder, in index order.
std::vector<TCopyPair> ReadCopyPairs(const TTable& matches);

// Marks the pairs whose Sigs signatures match only through the Turned or Gray test of now, which
// "all groups" leaves out unless asked.
void MarkPairsOnlyGrayOrTurned(TMatchHost& host, std::vector<TCopyPair>& pairs);

struct TRestStep {
  std::string File;
  std::string Skip;         // why the file stays; empty when it is moved (or would be)
  std::string Trashed;      // where it went in the trash, once moved
  bool MoveFailed = false;  // the move was tried and failed (Skip holds the failure)
};

struct TRestPlan {
  std::string Keeper;
  std::vector<TRestStep> Steps;  // every member but the keeper, in the group's order
};

// Why `member` may not be moved beside `keeper` now; empty when it may. includeGrayOrTurned: whether a
// member paired with the keeper only through Gray or Turned may go.
std::string WhyKept(TMatchHost& host, const TCopyGroups& groups, const std::string& keeper,
                    const std::string& member, bool includeGrayOrTurned);

// The plan for one group, its current keeper kept.
TRestPlan PlanTrashTheRest(TMatchHost& host, const TCopyGroups& groups, std::size_t group,
                           bool includeGrayOrTurned);

// Carries out the plans: each step planned as a move is checked again and moved through the trash code
// of Delete (RecycleFolderFile); a move that fails leaves the file, and its step says why. Then the
// rows of all moved files go in one pass over Matches, and the count labels are refreshed. Returns the
// action for undo; the steps tell what became of each file.
//
// Thousands of moves take seconds: the planned moves are the running command's items (its progress
// line counts them), and messages run after every step and through the removal of the rows. Before
// each move `stopAsked` (when given) is asked; once it says yes nothing more moves, the steps not
// reached stay as planned (neither Skip nor Trashed), and the files moved so far lose their rows as
// above, in the one action returned.
TTrashAction TrashTheRest(TMatchHost& host, const TCopyGroups& groups, std::vector<TRestPlan>& plans,
                          bool includeGrayOrTurned, const std::function<bool()>& stopAsked = {});

}  // namespace velquin
