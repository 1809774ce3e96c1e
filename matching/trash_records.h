// TTrashAction: one action of the user that moved files to the trash (a Delete, or a whole "trash the
// rest"), with copies of every table row the move removed, so that undo can bring back the files and
// their rows as they were.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/trash.h"

namespace velquin {

class TDesktop;
class TTable;

struct TSigsRowCopy {
  std::string FileName;
  std::string FilePath;
  double FileDate = 0;
  std::string Signature;
  std::string Gray;  // empty for a row without a gray grid
};

struct TMatchesRowCopy {
  std::int32_t MaxDiff = 0;
  std::string File1;
  std::string File2;
};

struct TMovedFile {
  std::string Name;    // the full name the tables know the file by
  TTrashedFile Entry;  // where it went
};

struct TTrashAction {
  std::string Folder;             // the folder of the tables the rows were removed from
  std::vector<TMovedFile> Files;  // in the order they were moved
  std::vector<TSigsRowCopy> SigsRows;
  std::vector<TMatchesRowCopy> MatchesRows;
};

// Deletes the Sigs row of each of `files` (full names) and, in one pass over Matches, every Matches
// row naming one of them (exact comparison), adding copies of the removed rows to `action`. The
// Matches cursor comes back to the same row number (the last row when fewer remain), and the
// attached views hear of Matches once, at the end.
//
// `between`, when given, is called after every Sigs row and every kRowsBetweenCalls rows of the pass,
// so that a long removal can let messages run. Whatever runs there may move the Matches cursor (a
// click in the grid): the pass goes on from the row it had reached, or from the first row again
// when that row has gone meanwhile (walking a row twice removes nothing twice).
inline constexpr int kRowsBetweenCalls = 64;
void RemoveRecords(TTable& sigs, TTable& matches, const std::vector<std::string>& files, TTrashAction& action,
                   const std::function<void()>& between = {});

// Undoes `action`: puts each file back where it was (TDesktop::RestoreFile), then, when the tables are
// open on the action's folder, the Sigs rows of the files that came back, and the Matches rows whose
// two files are both there again (a moved file only when it came back itself); a row whose key is present
// already is not added twice. Returns the texts of the files that could not come back (their place taken
// again, for one), which stay in the trash without their rows.
std::vector<std::string> UndoTrashAction(TDesktop& desktop, TTable& sigs, TTable& matches,
                                         const TTrashAction& action);

}  // namespace velquin
