// Reading a folder's two tables for the listing subcommands, without the form (so listing never
// runs the pair display, which would remove the rows of missing files).
#pragma once

#include <functional>
#include <string>

#include "tablestore/table.h"

namespace velquin {

// Opens the folder's Sigs and Matches tables as the window does (creating missing ones, and removing
// the Matches rows that name a file outside the folder) and lets list read them. Throws what opening
// throws.
void ListTables(const std::string& folder, const std::function<void(TTable& sigs, TTable& matches)>& list);

// A text field's value; "" for null.
std::string FieldText(const TFieldValue& value);

}  // namespace velquin
