#include "cli/table_listing.h"

#include "app/program_tables.h"
#include "scan/folder_matches.h"

namespace velquin {

bool ListTable(const std::string& folder, TListedTable which, const std::function<void(TTable& table)>& list,
               std::ostream& err) {
  TTable sigs("SigsTable");
  TTable matches("MatchesTable");
  sigs.DatabaseName = matches.DatabaseName = folder;
  sigs.TableName = "Sigs.Dat";
  matches.TableName = "Matches.Dat";
  TTable& listed = which == TListedTable::kSigs ? sigs : matches;
  if (!listed.Exists()) return false;
  if (sigs.Exists() && matches.Exists() && TablesWriteProblem(folder).empty()) {
    OpenTables(sigs, matches, folder, [&err](const std::string& line) { err << line << '\n'; });
    // A folder copied with its tables is healed here as in the window, so no listing names a file of
    // the folder it was copied from.
    RemoveMatchesOutsideFolder(matches, matches.DatabaseName, true);
  } else {
    OpenTableToRead(listed);
  }
  list(listed);
  return true;
}

std::string FieldText(const TFieldValue& value) {
  return std::holds_alternative<std::string>(value) ? std::get<std::string>(value) : std::string();
}

}  // namespace velquin
