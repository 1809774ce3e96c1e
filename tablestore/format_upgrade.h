// UpgradeTable: writes a table anew in the current format version: a table of an older version,
// one whose texts are to be widened or that is to get new fields, or one whose data file is mostly
// free space (compaction).
#pragma once

#include <string>
#include <vector>

#include "tablestore/data_directory.h"
#include "tablestore/data_file.h"

namespace velquin::store {

// Writes the rows of `old` (the attached data file of table `base`, kept open and locked by the
// caller) under the definitions `fields` (its own, or the same with wider texts and fields appended
// after its own, which start null in every row) into a new table staged beside it, which then takes
// the table's place (TDataTable::PublishStaged). Until its data file is renamed the old table stays
// whole and is converted again at its next open. Store errors leave the old table as it was.
void UpgradeTable(const TDataDirectory& directory, const std::string& base, TDataFile& old,
                  const std::vector<TFieldDef>& fields);

}  // namespace velquin::store
