#include "tablestore/data_directory.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <memory>

namespace velquin::store {

TDataDirectory::TDataDirectory(std::string folder) : folder_(std::move(folder)) {}

std::string TDataDirectory::BaseName(const std::string& tableName) {
  std::string base = tableName.substr(tableName.find_last_of('/') + 1);
  if (base.size() >= 4 && strcasecmp(base.c_str() + base.size() - 4, ".dat") == 0)
    base.resize(base.size() - 4);
  return base;
}

std::string TDataDirectory::Find(const std::string& name) const {
  struct stat st;
  if (::stat((folder_ + name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) return name;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder_.empty() ? "." : folder_.c_str()), ::closedir);
  if (!dir) return {};
  while (dirent* entry = ::readdir(dir.get())) {
    if (strcasecmp(entry->d_name, name.c_str()) == 0 && ::stat((folder_ + entry->d_name).c_str(), &st) == 0 &&
        S_ISREG(st.st_mode)) {
      return entry->d_name;
    }
  }
  return {};
}

std::string TDataDirectory::FilePath(const std::string& base, const std::string& extension) const {
  std::string found = Find(base + extension);
  return folder_ + (found.empty() ? base + extension : found);
}

bool TDataDirectory::FileExists(const std::string& base, const std::string& extension) const {
  return !Find(base + extension).empty();
}

}  // namespace velquin::store
