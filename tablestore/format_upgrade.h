// UpgradeTable: converts a table written in an older format version into the current one.
#pragma once

#include <string>

#include "tablestore/data_directory.h"
#include "tablestore/data_file.h"

namespace velquin::store {

// Writes the rows of `old` (the attached data file of table `base`, older than the current
// version, kept open and locked by the caller) into new files named `base`-new beside it, syncs
// them and renames them over the table's files, index file first. Until the data file is renamed
// the old table stays whole and is converted again at its next open; the old index file is never
// read. Store errors leave the old table as it was.
void UpgradeTable(const TDataDirectory& directory, const std::string& base, TDataFile& old);

}  // namespace velquin::store
