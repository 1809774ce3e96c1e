// TDataDirectory: one folder holding tables; finds their files without regard to letter case.
#pragma once

#include <string>

namespace velquin::store {

class TDataDirectory {
 public:
  // REQUIRES: folder ends in '/' or is empty (the working folder).
  explicit TDataDirectory(std::string folder);

  const std::string& Folder() const { return folder_; }
  // The table's base name: the name part of `tableName` without a ".DAT" extension of any case.
  static std::string BaseName(const std::string& tableName);
  // The path of the file `base` + `extension` (".DAT", ".IDX"): an existing file whose name
  // matches without regard to case, else the name the store writes.
  std::string FilePath(const std::string& base, const std::string& extension) const;
  // Returns true iff a file matching `base` + `extension` without regard to case exists.
  bool FileExists(const std::string& base, const std::string& extension) const;

 private:
  std::string Find(const std::string& name) const;
  std::string folder_;
};

}  // namespace velquin::store
