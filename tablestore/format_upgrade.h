// UpgradeTable: writes a table anew in the current format version: a table of an older version,
// one whose texts are to be widened, or one whose data file is mostly free space (compaction).
// InstallTable: the sync and rename by which a table written anew takes the place of the old one.
#pragma once

#include <string>
#include <vector>

#include "tablestore/data_directory.h"
#include "tablestore/data_file.h"

namespace velquin::store {

// Writes the rows of `old` (the attached data file of table `base`, kept open and locked by the
// caller) under the definitions `fields` (its own, or the same with wider texts) into new files
// named `base`-new beside it, syncs them and renames them over the table's files, index file
// first. Until the data file is renamed
// the old table stays whole and is converted again at its next open; the old index file is never
// read. Store errors leave the old table as it was.
void UpgradeTable(const TDataDirectory& directory, const std::string& base, TDataFile& old,
                  const std::vector<TFieldDef>& fields);

// Puts the closed table `fromBase` in the place of table `base`: syncs its files and renames them
// over those of `base`, index file first, then syncs the folder. A crash between the two renames
// leaves the new index beside the old rows, which the next open finds disagreeing and rebuilds
// from the rows: `base` keeps its old rows until the data file is renamed.
void InstallTable(const TDataDirectory& directory, const std::string& fromBase, const std::string& base);

}  // namespace velquin::store
