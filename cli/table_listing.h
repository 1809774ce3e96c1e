// Reading a folder's two tables for the listing subcommands, without the form (so listing never
// runs the pair display, which would remove stale rows).
#pragma once

#include <functional>
#include <string>

#include "tablestore/table.h"

namespace velquin {

// Opens the folder's Sigs and Matches tables (creating missing ones, as the window does) and lets
// list read them. Throws what opening throws.
void ListTables(const std::string& folder, const std::function<void(TTable& sigs, TTable& matches)>& list);

// A text field's value; "" for null.
std::string FieldText(const TFieldValue& value);

}  // namespace velquin
