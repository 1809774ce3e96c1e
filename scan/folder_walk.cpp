#include "scan/folder_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <set>
#include <utility>

#include "scan/picture_extension.h"

namespace velquin {
namespace {

struct TDirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

using TFolderId = std::pair<dev_t, ino_t>;

class TFolderWalk {
 public:
  TFolderWalk(const TFolderWalkOptions& options, const TUnreadableFolder& unreadable)
      : options_(options), unreadable_(unreadable) {}

  std::vector<std::string> Run(const std::string& folder) {
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0) walked_.emplace(st.st_dev, st.st_ino);
    Walk(folder, true);
    return std::move(files_);
  }

 private:
  void Walk(const std::string& folder, bool top) {
    std::unique_ptr<DIR, TDirCloser> dir(opendir(folder.c_str()));
    if (!dir) {
      if (!top) unreadable_(folder, std::strerror(errno));
      return;
    }
    const int dirFd = dirfd(dir.get());
    std::vector<std::string> below;
    while (const dirent* entry = readdir(dir.get())) {
      const char* name = entry->d_name;
      if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
      if (IsPictureName(name, options_.Formats)) files_.push_back(folder + name);
      if (!options_.Subfolders || (entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN)) continue;
      struct stat st {};
      if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode)) continue;
      if (walked_.emplace(st.st_dev, st.st_ino).second) below.push_back(folder + name + '/');
    }
    dir.reset();
    for (const std::string& subfolder : below) Walk(subfolder, false);
  }

  const TFolderWalkOptions& options_;
  const TUnreadableFolder& unreadable_;
  std::set<TFolderId> walked_;
  std::vector<std::string> files_;
};

}  // namespace

std::vector<std::string> ListPictureFiles(const std::string& folder, const TFolderWalkOptions& options,
                                          const TUnreadableFolder& unreadable) {
  return TFolderWalk(options, unreadable).Run(folder);
}

}  // namespace velquin
