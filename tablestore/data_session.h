// TDataSession: the folders the program has opened tables in, one session per program, and what
// the last check of each table learnt, for the open that follows it.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "tablestore/data_directory.h"
#include "tablestore/data_file.h"

namespace velquin::store {

class TDataSession {
 public:
  // Identity and last change of a file: equal stamps mean the file was not written in between.
  struct TStamp {
    dev_t Device = 0;
    ino_t Inode = 0;
    off_t Size = 0;
    timespec Modified{};
    timespec Changed{};
    bool operator==(const TStamp& other) const;
  };
  // Returns the stamp of the open file `fd`.
  static TStamp StampOf(int fd);

  static TDataSession& Default();
  // The directory object of `folder`, made on first use and kept for the session's life.
  TDataDirectory& Directory(const std::string& folder);

  // Keeps the slot map of a checked table whose files carry `data` and `index`.
  void RememberCheck(const std::string& path, const TStamp& data, const TStamp& index,
                     TDataFile::TSlotMap map);
  // Hands out, once, the remembered map when both files still carry the stamps it was kept with.
  std::optional<TDataFile::TSlotMap> TakeCheck(const std::string& path, const TStamp& data,
                                               const TStamp& index);

 private:
  struct TCheck {
    TStamp Data;
    TStamp Index;
    TDataFile::TSlotMap Map;
  };
  std::map<std::string, std::unique_ptr<TDataDirectory>> directories_;
  std::map<std::string, TCheck> checks_;
};

}  // namespace velquin::store
