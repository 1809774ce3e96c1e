#include "app/groups_form.h"

#include <algorithm>

#include "app/form1.h"
#include "matching/match_host.h"
#include "platform/desktop.h"
#include "platform/scope_guard.h"
#include "platform/text_utils.h"

namespace velquin {
namespace {

const std::vector<TCopyGroup> kNoGroups;
// The message after trashing names this many of the files that stayed, so that it fits a screen.
constexpr std::ptrdiff_t kListedStays = 20;

std::string FilesText(std::size_t count) { return std::to_string(count) + (count == 1 ? " file" : " files"); }

}  // namespace

template <typename Body>
void TGroupsForm::Guarded(Body&& body) {
  try {
    body();
  } catch (const std::exception& e) {
    static_cast<TMatchHost&>(form_).Desktop().ShowError(e.what());
  }
}

void TGroupsForm::Refresh() {
  if (trashing_) return;
  std::optional<std::string> selectedKeeper;
  if (groups_ && selected_ && *selected_ < groups_->Groups().size())
    selectedKeeper = groups_->Groups()[*selected_].Members.front().FullName;
  groups_.reset();
  selected_.reset();
  const TBusyCursor busy(static_cast<TMatchHost&>(form_).Desktop());
  Guarded([&] {
    if (!form_.MatchesTable.Active()) return;
    std::vector<TCopyPair> pairs = ReadCopyPairs(form_.MatchesTable);
    provisional_ = form_.Busy();
    if (!provisional_) MarkPairsOnlyGrayOrTurned(form_, pairs);
    TCopyGroups groups(pairs, &described_);
    described_.ForgetUnused();
    std::erase_if(chosenKeepers_, [&](const std::string& file) { return !groups.ChooseKeeper(file); });
    groups_.emplace(std::move(groups));
    if (selectedKeeper) selected_ = groups_->GroupOf(*selectedKeeper);
  });
}

void TGroupsForm::ReadInFull() {
  if (provisional_) Refresh();
}

const std::vector<TCopyGroup>& TGroupsForm::Groups() const { return groups_ ? groups_->Groups() : kNoGroups; }

void TGroupsForm::Select(std::optional<std::size_t> group) {
  selected_ = group && *group < Groups().size() ? group : std::nullopt;
}

void TGroupsForm::KeepThisOne(const std::string& file) {
  if (trashing_ || !groups_ || !groups_->ChooseKeeper(file)) return;
  // One choice per group: the earlier choice in the same group gives way.
  const std::optional<std::size_t> group = groups_->GroupOf(file);
  std::erase_if(chosenKeepers_, [&](const std::string& chosen) { return groups_->GroupOf(chosen) == group; });
  chosenKeepers_.push_back(file);
}

std::string TGroupsForm::MemberNote(std::size_t group, std::size_t member) const {
  const std::vector<TGroupMember>& members = Groups().at(group).Members;
  if (member == 0) return "keeper";
  if (!members.at(member).Exists) return "missing";
  if (!groups_->Paired(members.front().FullName, members[member].FullName))
    return "not paired with the keeper";
  return "";
}

std::vector<std::string> TGroupsForm::GroupMoves(std::size_t group, bool includeGrayOrTurned) {
  std::vector<std::string> moves;
  ReadInFull();
  if (!groups_) return moves;
  const TRestPlan plan = PlanTrashTheRest(form_, *groups_, group, includeGrayOrTurned);
  for (const TRestStep& step : plan.Steps)
    if (step.Skip.empty()) moves.push_back(step.File);
  return moves;
}

std::string TGroupsForm::ConfirmText(const std::vector<std::size_t>& groups, bool includeGrayOrTurned,
                                     bool listKeepers) {
  std::size_t count = 0;
  std::int64_t bytes = 0;
  std::string keepers;
  for (const std::size_t group : groups) {
    const std::vector<std::string> moves = GroupMoves(group, includeGrayOrTurned);
    if (moves.empty()) continue;
    count += moves.size();
    for (const TGroupMember& member : Groups()[group].Members) {
      if (std::find(moves.begin(), moves.end(), member.FullName) != moves.end()) bytes += member.Bytes;
    }
    keepers += "\n" + Groups()[group].Members.front().FullName;
  }
  if (count == 0) return "";
  std::string text = "Move " + FilesText(count) + " (" + IntToStrSep(bytes) + " bytes) to the trash?";
  if (listKeepers) text += "\nKeeping:" + keepers;
  return text;
}

std::string TGroupsForm::ConfirmSelectedText() {
  std::string text;
  ReadInFull();
  Guarded([&] {
    if (selected_) text = ConfirmText({*selected_}, true, false);
  });
  return text;
}

std::string TGroupsForm::SelectedStaysText() {
  std::string text;
  ReadInFull();
  Guarded([&] {
    if (!groups_ || !selected_) return;
    for (const TRestStep& step : PlanTrashTheRest(form_, *groups_, *selected_, true).Steps)
      if (!step.Skip.empty()) text += (text.empty() ? "" : "\n") + step.File + ": " + step.Skip;
  });
  return text;
}

std::string TGroupsForm::ConfirmAllText(bool includeGrayOrTurned) {
  std::string text;
  ReadInFull();
  Guarded([&] {
    std::vector<std::size_t> all(Groups().size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    text = ConfirmText(all, includeGrayOrTurned, true);
  });
  return text;
}

bool TGroupsForm::HasGrayOrTurnedOnlyPairs() {
  ReadInFull();
  if (!groups_) return false;
  for (const TCopyGroup& group : groups_->Groups()) {
    for (std::size_t i = 0; i < group.Members.size(); ++i) {
      for (std::size_t j = i + 1; j < group.Members.size(); ++j) {
        bool only = false;
        if (groups_->Paired(group.Members[i].FullName, group.Members[j].FullName, &only) && only) return true;
      }
    }
  }
  return false;
}

void TGroupsForm::TrashSelectedClick() {
  if (selected_) Trash({*selected_}, true);
}

void TGroupsForm::TrashAllClick(bool includeGrayOrTurned) {
  std::vector<std::size_t> all(Groups().size());
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
  Trash(std::move(all), includeGrayOrTurned);
}

void TGroupsForm::Trash(std::vector<std::size_t> groups, bool includeGrayOrTurned) {
  if (form_.Busy()) return;
  ReadInFull();
  if (!groups_) return;
  std::string text;
  form_.RunAsCommand([&] {
    form_.RequireWritable();
    TMatchHost& host = form_;
    // The run walks the groups and the tables: nothing else may change them while messages run.
    trashing_ = true;
    host.SetReviewButtonsEnabled(false);
    const TScopeGuard end([&] {
      trashing_ = false;
      host.SetReviewButtonsEnabled(true);
    });
    const TBusyCursor busy(host.Desktop());
    // Every member but the keeper, each checked just before its move: checking them all first would
    // cost as long again, with no messages running.
    std::vector<TRestPlan> plans;
    for (const std::size_t group : groups) {
      const std::vector<TGroupMember>& members = groups_->Groups().at(group).Members;
      TRestPlan& plan = plans.emplace_back(TRestPlan{members.front().FullName, {}});
      for (auto member = members.begin() + 1; member != members.end(); ++member)
        plan.Steps.push_back({member->FullName, "", ""});
    }
    TTrashAction action =
        TrashTheRest(form_, *groups_, plans, includeGrayOrTurned, [this] { return form_.StopRequested(); });
    const std::size_t moved = action.Files.size();
    form_.PushUndo(std::move(action));
    std::string stayed;
    std::size_t unlisted = 0;
    // Steps the run did not reach neither moved nor stayed for a reason.
    std::size_t reached = moved;
    std::size_t steps = 0;
    for (const TRestPlan& plan : plans) {
      for (const TRestStep& step : plan.Steps) {
        ++steps;
        if (step.Skip.empty()) continue;
        ++reached;
        if (unlisted > 0 || std::count(stayed.begin(), stayed.end(), '\n') == kListedStays) {
          ++unlisted;
        } else {
          stayed += "\n" + step.File + ": " + step.Skip;
        }
      }
    }
    text = std::string(reached < steps ? "Stopped: " : "") + "Moved " + FilesText(moved) + " to the trash.";
    if (!stayed.empty()) text += "\nStayed:" + stayed;
    if (unlisted > 0) text += "\nand " + FilesText(unlisted) + " more";
  });
  // Shown once the run has ended: the user answers it with no command under way.
  if (!text.empty()) static_cast<TMatchHost&>(form_).Desktop().ShowMessage(text);
  Refresh();
}

}  // namespace velquin
