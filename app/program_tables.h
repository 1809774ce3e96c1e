// The program's two tables, Sigs and Matches: their schemas and OpenTables.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "tablestore/table.h"

namespace velquin {

// The longest texts the program's tables hold: a file name, and a folder or full name, as Linux
// allows them (NAME_MAX, PATH_MAX).
inline constexpr std::size_t kMaxFileNameBytes = 255;
inline constexpr std::size_t kMaxPathBytes = 4096;

// Sets the field and index definitions of Sigs: FileName (text kMaxFileNameBytes), FilePath
// (text kMaxPathBytes), FileDate (date-time), Signature (text 250), Gray (the Gray text,
// signature/gray_grid.h; empty in rows of tables made before it was kept); the primary index on
// "FileName;FilePath" and the non-unique index "BySignature" on "Signature". REQUIRES: the table
// object is inactive.
void SetSigsSchema(TTable& sigs);
// Sets the definitions of Matches: MaxDiff (integer), File1 and File2 (text kMaxPathBytes); the primary
// index on "MaxDiff;File1;File2". REQUIRES: the table object is inactive.
void SetMatchesSchema(TTable& matches);

// Closes both tables and opens them in the folder of `folderText` (everything up to and
// including its last '/'), creating a missing table, widening the texts of a table made with
// shorter ones and adding the fields a table made before them lacks, checking and repairing each before it is
// opened. A store error on Sigs leaves Matches untouched. Only Velquin locks these files, so a table locked
// by another open is reported as the store's error followed by " (another Velquin is using this folder)". A
// Matches table damaged beyond repair, whose pairs the match pass makes again, is moved aside
// ("Matches.DAT.damaged") and made anew, and `report` (when given) gets a line saying so; a damaged Sigs is
// reported as the store's error.
void OpenTables(TTable& sigs, TTable& matches, const std::string& folderText,
                const std::function<void(const std::string&)>& report = nullptr);

// Opens `table` (DatabaseName and TableName set) read-only as its files stand: nothing is repaired,
// converted or widened. A table another Velquin writes is reported as OpenTables reports it.
void OpenTableToRead(TTable& table);

// Closes both tables and opens those of the folder of `folderText` that exist there with
// OpenTableToRead; a missing one stays closed. Nothing in the folder is created or changed.
void OpenTablesToRead(TTable& sigs, TTable& matches, const std::string& folderText);

// Why the tables of `folder` (ending in '/') cannot be written, as the system words it ("Read-only
// file system", "Permission denied"): the folder's reason, else that of the first of its table files
// that refuses writing; "" when all can be written. Asks access(2), which takes the user's rights
// and the mount's read-only flag into account.
std::string TablesWriteProblem(const std::string& folder);

// Deletes the files of both tables in the folder of `folderText`, found without regard to case,
// and the files a conversion cut short left beside them ("Sigs-new.DAT"), whatever they hold:
// nothing is read. Every file is locked before any is deleted, so when another Velquin uses the
// folder nothing is deleted and the error is OpenTables' "(another Velquin is using this folder)".
// The caller closes its own tables first.
//
// Moving Matches aside and deleting the tables change the folder through the store's file system
// (tablestore/file_system.h), as the store's own renames do, and sync the folder after
// (tablestore/durability.h). Index files go before data files: a power loss in between leaves a data
// file alone, which opens, and never an index file alone, which the next creation would delete. So
// after a power loss a moved file lies under one of its two names, and cut-short deletion leaves
// tables that open.
void DeleteTables(const std::string& folderText);

}  // namespace velquin
