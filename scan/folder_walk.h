// The picture files a scan visits: the Folder's own, and with subfolders those of every folder below
// it. Only the names are looked at (IsPictureName); whether a file decodes is the loader's business.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "imaging/picture_loader.h"

namespace velquin {

struct TFolderWalkOptions {
  // Walk the folders below the Folder too.
  bool Subfolders = false;
  TPictureFormats Formats = TPictureFormats::kClassic;
};

// A folder below the Folder that could not be listed (ending in '/'), and the system's reason.
using TUnreadableFolder = std::function<void(const std::string& folder, const std::string& reason)>;

// The full paths of the entries whose names are picture names: first those of `folder` in the order
// the file system delivers them, then, with Subfolders, those of each folder below, depth first. A
// symbolic link to a folder is not followed, and a folder met again (same device and inode, as
// through a bind mount of a folder above it) is not walked again. A folder below that cannot be
// listed goes to `unreadable` and the walk goes on; a `folder` that cannot be listed gives no path.
// REQUIRES: `folder` ends in '/'.
std::vector<std::string> ListPictureFiles(const std::string& folder, const TFolderWalkOptions& options,
                                          const TUnreadableFolder& unreadable);

}  // namespace velquin
