// TDataSession: the folders the program has opened tables in, one session per program.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "tablestore/data_directory.h"

namespace velquin::store {

class TDataSession {
 public:
  static TDataSession& Default();
  // The directory object of `folder`, made on first use and kept for the session's life.
  TDataDirectory& Directory(const std::string& folder);

 private:
  std::map<std::string, std::unique_ptr<TDataDirectory>> directories_;
};

}  // namespace velquin::store
