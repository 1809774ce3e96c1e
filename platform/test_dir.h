// A fresh temporary folder for one test, removed with everything in it afterwards.
#pragma once

#include <string>

namespace velquin {

class TTestDir {
 public:
  TTestDir();
  ~TTestDir();
  TTestDir(const TTestDir&) = delete;
  TTestDir& operator=(const TTestDir&) = delete;

  // The folder, ending in '/'.
  const std::string& Path() const { return FPath; }
  // Creates (or replaces) the file `name` in the folder with `content`; returns its full name.
  std::string WriteFile(const std::string& name, const std::string& content = "") const;

 private:
  std::string FPath;
};

// The whole content of a file ("" when it cannot be read).
std::string ReadWholeFile(const std::string& path);

}  // namespace velquin
