// Temporary places for one test: a fresh folder, and a home trash of its own; each is removed with
// everything in it afterwards.
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
  // The full name of `name` in the folder.
  std::string File(const std::string& name) const { return FPath + name; }
  // Creates (or replaces) the file `name` in the folder with `content`; returns its full name.
  std::string WriteFile(const std::string& name, const std::string& content = "") const;

 private:
  std::string FPath;
};

// Points the home trash (XDG_DATA_HOME) into a fresh temporary folder for the object's lifetime and
// restores the variable afterwards. The trash folder itself is made by the first move into it.
class TTestTrash {
 public:
  TTestTrash();
  ~TTestTrash();
  TTestTrash(const TTestTrash&) = delete;
  TTestTrash& operator=(const TTestTrash&) = delete;

  // The trash folder, ending in '/': files/ and info/ lie in it.
  std::string Path() const { return FDataHome.Path() + "Trash/"; }

 private:
  TTestDir FDataHome;
  bool FHadDataHome = false;
  std::string FSavedDataHome;
};

// The whole content of a file ("" when it cannot be read).
std::string ReadWholeFile(const std::string& path);

}  // namespace velquin
