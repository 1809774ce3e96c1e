// TGroupsForm: the "Groups" view of the main form without a window: the groups of copies of the
// Folder, the selected group, the keepers the user chose, and the "trash the rest" commands, for the
// selected group and for all groups. A window asks the user first, with the texts given here, and then
// runs the command; the moves go onto the form's undo stack.
//
// "Trash the rest" runs as a command of the form (TForm1::RunAsCommand): messages run between its
// steps, the form is Busy, and Stop ends it after the move under way. While it runs the groups stay as
// they were read (Refresh and KeepThisOne wait), since the run walks them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "app/copy_groups.h"
#include "app/copy_review.h"

namespace velquin {

class TForm1;

class TGroupsForm {
 public:
  explicit TGroupsForm(TForm1& form) : form_(form) {}
  TGroupsForm(const TGroupsForm&) = delete;
  TGroupsForm& operator=(const TGroupsForm&) = delete;

  // Reads the groups of the open Matches table afresh; the keepers chosen in groups that are still
  // there stay chosen, and the selection stays on the group of the same keeper when there is one.
  // An error goes to the form's error report and leaves no groups. Nothing while "trash the rest" runs.
  // While another command runs the groups are read from Matches alone: telling the pairs found only
  // through Gray or Turned apart would move the Sigs cursor under the command. Such groups are
  // Provisional until a Refresh with no command running; the texts and commands below read them again
  // first.
  void Refresh();
  bool Provisional() const { return provisional_; }
  // True while "trash the rest" runs.
  bool Trashing() const { return trashing_; }
  const std::vector<TCopyGroup>& Groups() const;
  std::optional<std::size_t> Selected() const { return selected_; }
  void Select(std::optional<std::size_t> group);

  // "Keep this one": makes the member the keeper of its group.
  void KeepThisOne(const std::string& file);
  // What a member's row says beside its sizes: "keeper", "missing", "not paired with the keeper" or "".
  std::string MemberNote(std::size_t group, std::size_t member) const;

  // The files a "trash the rest" would move, with their total size, for the confirmation.
  std::vector<std::string> GroupMoves(std::size_t group, bool includeGrayOrTurned);
  // "Move N files (B bytes) to the trash?" for the selected group; "" when nothing would move.
  std::string ConfirmSelectedText();
  // Why the selected group's members other than the keeper would stay, one "<file>: <reason>" line each.
  std::string SelectedStaysText();
  // The same for all groups, followed by the keepers, one line each; "" when nothing would move.
  std::string ConfirmAllText(bool includeGrayOrTurned);
  // Returns true iff a group holds a pair recorded only through Gray or Turned: the confirmation for
  // all groups then offers to include them.
  bool HasGrayOrTurnedOnlyPairs();

  // Trash the rest of the selected group, or of every group; the outcome (what moved, what stayed and
  // why) goes to a message, the moves onto the undo stack, and the groups are read afresh. Each member
  // is checked just before its move (WhyKept). A stopped run keeps the moves made so far, as one
  // undo step, and its message starts "Stopped: ". Nothing while a command runs.
  void TrashSelectedClick();
  void TrashAllClick(bool includeGrayOrTurned);

 private:
  template <typename Body>
  void Guarded(Body&& body);
  void Trash(std::vector<std::size_t> groups, bool includeGrayOrTurned);
  // Reads Provisional groups again.
  void ReadInFull();
  std::string ConfirmText(const std::vector<std::size_t>& groups, bool includeGrayOrTurned, bool listKeepers);

  TForm1& form_;
  std::optional<TCopyGroups> groups_;
  std::optional<std::size_t> selected_;
  // The keepers the user chose, by file.
  std::vector<std::string> chosenKeepers_;
  // The members of the groups read last, so that reading them again opens only new and changed files.
  TMemberCache described_;
  bool provisional_ = false;
  bool trashing_ = false;
};

}  // namespace velquin
