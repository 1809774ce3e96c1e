// Whole-table file operations for a table object's caller: putting a table written on the side in
// the place of another, and dropping a table's files.
#pragma once

#include <string>

namespace velquin {

// Puts the table `fromTable` of `folder` (a TableName such as "Matches-new.Dat") in the place of
// `table`, keeping `table`'s own letter case: its files are synced and renamed over those of
// `table`, and the folder synced. Until then `table` keeps its rows; after a crash it holds the old
// rows or the new ones, whole. REQUIRES: no table object has either open.
void ReplaceTable(const std::string& folder, const std::string& fromTable, const std::string& table);

// Deletes the data and index files of `table` in `folder`; missing files are no error.
// REQUIRES: no table object has it open.
void DropTable(const std::string& folder, const std::string& table);

}  // namespace velquin
