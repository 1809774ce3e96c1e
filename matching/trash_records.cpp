#include "matching/trash_records.h"

#include <set>
#include <unordered_set>

#include "platform/desktop.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/text_utils.h"
#include "tablestore/index_scope.h"
#include "tablestore/notification_hold.h"
#include "tablestore/store_exceptions.h"
#include "tablestore/table.h"

namespace velquin {
namespace {

double DateField(const TTable& table, std::string_view field) {
  const TFieldValue value = table.FieldValue(field);
  return std::holds_alternative<double>(value) ? std::get<double>(value) : 0.0;
}

// Looks up the Sigs row of FileName and FilePath on the primary index; the row is current when found.
bool FindSigsRow(TTable& sigs, const std::string& name, const std::string& path) {
  sigs.SetKey();
  sigs.SetFieldValue("FileName", name);
  sigs.SetFieldValue("FilePath", path);
  return sigs.GotoKey();
}

bool FindMatchesRow(TTable& matches, const TMatchesRowCopy& row) {
  matches.SetKey();
  matches.SetFieldValue("MaxDiff", row.MaxDiff);
  matches.SetFieldValue("File1", row.File1);
  matches.SetFieldValue("File2", row.File2);
  return matches.GotoKey();
}

}  // namespace

void RemoveRecords(TTable& sigs, TTable& matches, const std::vector<std::string>& files, TTrashAction& action,
                   const std::function<void()>& between) {
  action.Folder = matches.DatabaseName;
  // The row number to come back to: counting the steps back to the first row gives RecNo, or 0 when
  // the cursor sat on the first row with the beginning flag set; both land on the same row below.
  // Taken first: what runs between the steps may move the cursor.
  const std::int32_t place = matches.Bof() ? 0 : matches.RecNo();
  {
    const TIndexScope index(sigs);
    sigs.SetIndexName("");
    for (const std::string& file : files) {
      const std::string name(NameOfPath(file));
      const std::string path(FolderOfPath(file));
      if (FindSigsRow(sigs, name, path)) {
        action.SigsRows.push_back({name, path, DateField(sigs, "FileDate"), sigs.FieldAsString("Signature"),
                                   sigs.FieldAsString("Gray")});
        sigs.Delete();
      }
      if (between) between();
    }
  }

  const std::unordered_set<std::string> gone(files.begin(), files.end());
  TNotificationHold hold(matches);
  matches.First();
  for (int walked = 1; !matches.Eof(); ++walked) {
    if (between && walked % kRowsBetweenCalls == 0) {
      const TBookmark reached = matches.GetBookmark();
      between();
      try {
        matches.GotoBookmark(reached);
      } catch (const EDatabaseError&) {
        matches.First();
      }
    }
    std::string file1 = matches.FieldAsString("File1");
    std::string file2 = matches.FieldAsString("File2");
    if (gone.contains(file1) || gone.contains(file2)) {
      action.MatchesRows.push_back({matches.FieldAsInteger("MaxDiff"), std::move(file1), std::move(file2)});
      matches.Delete();
    } else {
      matches.Next();
    }
  }
  matches.First();
  if (place > 1) matches.MoveBy(place - 1);
  hold.Resume();
  sigs.Sync();
  matches.Sync();
}

std::vector<std::string> UndoTrashAction(TDesktop& desktop, TTable& sigs, TTable& matches,
                                         const TTrashAction& action) {
  std::vector<std::string> failures;
  std::set<std::string> back;
  for (const TMovedFile& moved : action.Files) {
    try {
      desktop.RestoreFile(moved.Entry);
      back.insert(moved.Name);
    } catch (const ERestoreError& error) {
      failures.push_back(error.what());
    }
  }
  // Another folder's tables are open now: its rows are not these.
  if (!sigs.Active() || !matches.Active() || matches.DatabaseName != action.Folder) return failures;
  {
    const TIndexScope index(sigs);
    sigs.SetIndexName("");
    for (const TSigsRowCopy& row : action.SigsRows) {
      if (!back.contains(row.FilePath + row.FileName) || FindSigsRow(sigs, row.FileName, row.FilePath))
        continue;
      sigs.Append();
      sigs.SetFieldValue("FileName", row.FileName);
      sigs.SetFieldValue("FilePath", row.FilePath);
      sigs.SetFieldValue("FileDate", row.FileDate);
      sigs.SetFieldValue("Signature", row.Signature);
      if (!row.Gray.empty()) sigs.SetFieldValue("Gray", row.Gray);
      sigs.Post();
    }
  }
  std::set<std::string> moved;
  for (const TMovedFile& file : action.Files) moved.insert(file.Name);
  // A file of the action is back only when its own entry came back, not when another took its place.
  const auto there = [&](const std::string& file) {
    return moved.contains(file) ? back.contains(file) : FileExists(file);
  };
  TNotificationHold hold(matches);
  for (const TMatchesRowCopy& row : action.MatchesRows) {
    if (!there(row.File1) || !there(row.File2) || FindMatchesRow(matches, row)) continue;
    matches.Append();
    matches.SetFieldValue("MaxDiff", row.MaxDiff);
    matches.SetFieldValue("File1", row.File1);
    matches.SetFieldValue("File2", row.File2);
    matches.Post();
  }
  hold.Resume();
  sigs.Sync();
  matches.Sync();
  return failures;
}

}  // namespace velquin
