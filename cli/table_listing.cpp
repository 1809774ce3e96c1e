#include "cli/table_listing.h"

#include "app/program_tables.h"
#include "scan/folder_matches.h"

namespace velquin {

void ListTables(const std::string& folder, const std::function<void(TTable& sigs, TTable& matches)>& list) {
  TTable sigs("SigsTable");
  TTable matches("MatchesTable");
  OpenTables(sigs, matches, folder);
  // A folder copied with its tables is healed here as in the window, so no listing names a file of
  // the folder it was copied from.
  RemoveMatchesOutsideFolder(matches, matches.DatabaseName);
  list(sigs, matches);
}

std::string FieldText(const TFieldValue& value) {
  return std::holds_alternative<std::string>(value) ? std::get<std::string>(value) : std::string();
}

}  // namespace velquin
