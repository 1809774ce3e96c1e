// The program's two tables, Sigs and Matches: their schemas and OpenTables.
#pragma once

#include <string>

#include "tablestore/table.h"

namespace velquin {

// Sets the field and index definitions of Sigs: FileName (text 100), FilePath (text 100),
// FileDate (date-time), Signature (text 250); the primary index on "FileName;FilePath" and the
// non-unique index "BySignature" on "Signature". REQUIRES: the table object is inactive.
void SetSigsSchema(TTable& sigs);
// Sets the definitions of Matches: MaxDiff (integer), File1 and File2 (text 200); the primary
// index on "MaxDiff;File1;File2". REQUIRES: the table object is inactive.
void SetMatchesSchema(TTable& matches);

// Closes both tables and opens them in the folder of `folderText` (everything up to and
// including its last '/'), creating a missing table, checking and repairing each before it is
// opened. A store error on Sigs leaves Matches untouched.
void OpenTables(TTable& sigs, TTable& matches, const std::string& folderText);

}  // namespace velquin
