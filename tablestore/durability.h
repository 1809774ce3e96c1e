// What the store promises when the process or the machine stops without warning, and the sync
// points that keep that promise.
//
// A killed process loses no change whose call returned: every write reaches the operating system
// before the call returns, and the files are always in a state that the next open repairs (see
// data_file.cpp and index_file.cpp).
//
// A power loss or a kernel crash loses at most the changes posted since the table's last sync
// point, and never damages a row as it stood at that point: each row comes back as it stood then
// or as a later change left it (a row removed since may come back); nothing else comes back.
// Sync points fall
//   - at every MaxChanges-th change (1,000) since the last one, and at the first change posted
//     once MaxDelay (one second) has passed since it: so at most the last 1,000 changes, or those
//     of the last second of posting, are lost;
//   - at a change once the room freed since the last one is an eighth of the data file (and at
//     least 64 KB), since that room is reused only after a sync point;
//   - when a table is closed, emptied, created, converted or widened;
//   - when the program calls TTable::Sync because a command's changes are complete (the end of a
//     scan, of the match pass, of a deletion from the review).
// A sync point flushes the data file with fdatasync. Between two sync points the disk may keep
// any part of the writes, a 512-byte sector at a time, in any order; so no write ever covers what
// the last sync point made durable:
//   - a changed row goes to free units, and its old version is marked deleted only once a sync
//     point has made the new one durable (until then the higher generation wins);
//   - units freed since the last sync point are reused only after the next one;
//   - a run is taken for a row only when its checksum covers it whole, so a torn write is free
//     space.
// The index file is made again from the rows whenever it may disagree with them: its dirty flag is
// flushed before the first change of its trees, and cleared only after the data file and the trees
// were flushed.
//
// Files and renames: a new table is written and flushed under the name `base`-new (Sigs-new.DAT,
// Sigs-new.IDX) and renamed into place; a conversion or a widening writes the table anew under that
// name. The steps, with the folder flushed after each: remove the old index file, rename the data
// file, rename the index file. Every state a power loss leaves opens: the old table, or a data file
// (old or new) without an index file, which the open makes again from the rows; a leftover -new
// file is removed by the next creation and by clearing the tables.
// The program's own changes to a table's files, moving a damaged Matches aside and clearing the
// tables (app/program_tables.h), go through the same file system, the index file before the data
// file and the folder flushed after: a power loss leaves each file under its old name or its new
// one, or a data file without its index file.
//
// An open that may write flushes the data file first, so that what a killed process left in the
// operating system's cache is durable before the open repairs or reuses any of it.
//
// With sync points switched off (the bench compares the store with others that way) nothing is
// flushed and a power loss may lose any recent change; a killed process still loses none.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace velquin::store {

struct TSyncPolicy {
  bool Enabled = true;
  std::uint32_t MaxChanges = 1000;
  std::chrono::milliseconds MaxDelay{1000};
};

// The policy of every table the program opens.
TSyncPolicy& SyncPolicy();

// Makes the creations, renames and removals of entries of `folder` ("" for the working folder)
// durable. Errors name `table`.
void SyncFolder(const std::string& folder, const std::string& table);

}  // namespace velquin::store
