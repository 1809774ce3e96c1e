// File-system helpers shared by the window, the scan and the matching code, and the two requests to
// the desktop (open a file, move it to the trash). None of them keeps state.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/trash.h"

namespace velquin {

// Size in bytes of the file or folder the path names (a folder has size 0); 0 when there is none.
// A file of 2 GiB or more gives INT32_MAX (2147483647), so it still sorts and shows as the largest.
std::int32_t GetFileSize(const std::string& path);

// Last-write time of the file or folder the path names, in local time, to the even second (an odd
// second is dropped), as a date-time (platform/date_time.h). Returns 0 when there is no entry or when
// its year lies outside 1..9999.
double GetFileDate(const std::string& path);

// One version of one file: which file it is and how it stood when looked at. Two stamps of a path
// that differ in any member mean the file was replaced or written in between.
struct TFileStamp {
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
  std::int64_t Size = 0;
  std::int64_t ModifiedSeconds = 0;      // last-write time, seconds since 1970-01-01 UTC
  std::int32_t ModifiedNanoseconds = 0;  // and the nanoseconds within that second
  bool operator==(const TFileStamp&) const = default;
};

// The stamp of an open file (fstat). Returns false when the descriptor cannot be examined.
bool FileStampOf(int fd, TFileStamp& stamp);
// The stamp of the file the path names, links followed. Returns false when there is none.
bool FileStampAt(const std::string& path, TFileStamp& stamp);
// The stamp's last-write time as GetFileDate renders a file's time.
double StampDate(const TFileStamp& stamp);

// Returns true iff the path names an entry that is not a folder and whose last-write time is a date
// (years 1..9999; a file dated outside them counts as missing).
bool FileExists(const std::string& path);

// Returns true iff the path names a folder, links followed.
bool FolderExists(const std::string& path);
// Returns true iff `file` names an entry directly in `folder` (which ends in '/'): `folder` followed
// by a name without '/' other than "", "." and "..". The comparison is exact and case-sensitive.
bool IsFileDirectlyIn(std::string_view file, std::string_view folder);
// Returns true iff `path` names a folder below `folder` (both ending in '/'): `folder` followed by one
// or more names, each other than "", "." and ".." and each followed by '/'. Exact and case-sensitive.
bool IsFolderBelow(std::string_view path, std::string_view folder);
// IsFileDirectlyIn(file, folder), or with `below` also a file directly in a folder below `folder`.
bool IsFileWithin(std::string_view file, std::string_view folder, bool below);
// Returns true iff the two paths name one file (the same device and inode, links followed): two
// names of one file are never a pair, or trashing one could lose the only copy.
bool AreSameFile(const std::string& a, const std::string& b);

// Calls `visit` for every entry of `folder` except "." and "..", hidden ones and subfolders included,
// in the order the file system delivers them ("" lists the current folder). A symbolic link counts as what it
// points to (a dangling one as a file). Returns false iff the listing cannot start. Exceptions from `visit`
// pass through.
bool ForEachFolderEntry(const std::string& folder,
                        const std::function<void(const std::string& name, bool isDirectory)>& visit);

// Moves the file (or link, or folder) to the freedesktop.org trash so the desktop can restore it:
// the home trash for files on its file system, else the trash at the top of the file's mount. Returns
// where it went (platform/trash.h). When no trash takes it the file stays where it is (it is never
// deleted outright) and ERecycleError (platform/errors.h) tells why, a missing file included.
TTrashedFile RecycleFile(const std::string& path);

// Asks the desktop to open the file with its associated program (xdg-open), fully detached: returns
// at once, never waits for the program, and reports nothing.
void ShellOpen(const std::string& path);

}  // namespace velquin
