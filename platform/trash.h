// The freedesktop.org trash as the program uses it: where a file went when it was moved there, and how
// it comes back. The layout of a trash is told in recycle_file.cpp, which owns it.
#pragma once

#include <optional>
#include <string>

namespace velquin {

// One entry the program moved to a trash.
struct TTrashedFile {
  std::string Original;  // the file's real full name before the move
  std::string Trashed;   // the entry in the trash: <trash>/files/NAME
  std::string Info;      // its info file: <trash>/info/NAME.trashinfo
};

// Moves the trashed entry back to its original place and removes its info file. A place that is
// taken again is never overwritten. Throws ERestoreError (platform/errors.h), the entry then staying
// in the trash.
void RestoreTrashedFile(const TTrashedFile& entry);

// The newest entry (by DeletionDate) whose info file names `original` (a full name), looked for in
// the home trash and in the trash folders at the top of the mount `original` lies on; nullopt when
// there is none.
std::optional<TTrashedFile> FindNewestTrashed(const std::string& original);

}  // namespace velquin
