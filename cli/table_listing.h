// Reading a folder's two tables for the listing subcommands, without the form.
#pragma once

#include <functional>
#include <string>

#include "tablestore/table.h"

namespace velquin {

// Opens the folder's Sigs and Matches tables (creating missing ones, as the window does) and lets
// list read them. Returns 0, or 1 after printing a failure's text on stderr.
int ListTables(const std::string& folder, const std::function<void(TTable& sigs, TTable& matches)>& list);

// A text field's value; "" for null.
std::string FieldText(const TFieldValue& value);

}  // namespace velquin
