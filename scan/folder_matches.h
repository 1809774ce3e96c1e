// A Folder's tables describe that Folder alone. Tables copied along with their pictures still name
// the files of the folder they were copied from; these helpers drop such rows from Matches, so the
// review never shows, or moves to the trash, a file of another folder.
#pragma once

#include <string_view>

namespace velquin {

class TTable;

// Deletes every Matches row whose File1 or File2 is not directly in `folder` (nor, with `below`, in a
// folder below it: IsFileWithin). When there is none,
// Matches is left as it was, cursor included, and notifies nothing; otherwise it ends on its first
// row, and its listeners hear of the change once, at the end. REQUIRES: `matches` is open.
void RemoveMatchesOutsideFolder(TTable& matches, std::string_view folder, bool below);

}  // namespace velquin
