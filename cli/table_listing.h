// Reading one of a folder's two tables for the listing subcommands, without the form (so listing
// never runs the pair display, which would remove the rows of missing files).
#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "tablestore/table.h"

namespace velquin {

enum class TListedTable { kSigs, kMatches };

// Lets `list` read the folder's Sigs or Matches table and returns true; returns false, creating
// nothing, when the folder has no such table. Where both tables exist and can be written with their
// folder, they are opened as the window opens them (checked, repaired, and the Matches rows naming a
// file outside the folder removed); where the folder or the tables cannot be written
// (TablesWriteProblem), the table is opened read-only as it stands. What opening reports (a damaged
// Matches moved aside) goes to `err`. Throws what opening throws.
bool ListTable(const std::string& folder, TListedTable which, const std::function<void(TTable& table)>& list,
               std::ostream& err);

// A text field's value; "" for null.
std::string FieldText(const TFieldValue& value);

}  // namespace velquin
