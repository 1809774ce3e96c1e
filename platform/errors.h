// Failures of the settings and text files, of a folder the user named and of the trash. Their texts are shown
// to the user as they stand.
#pragma once

#include <stdexcept>
#include <string>

namespace velquin {

// A settings file could not be written: "Unable to write to <file>".
class EIniFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file could not be created: "Cannot create file "<file>". <system reason>".
class EFCreateError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file could not be opened for reading: "Cannot open file "<file>". <system reason>".
class EFOpenError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file could not be moved to the trash: "Cannot move file "<file>" to the trash. <reason>", the
// reason being the system's text for the failure or the program's own refusal. The file stays.
class ERecycleError : public std::runtime_error {
 public:
  ERecycleError(const std::string& file, const std::string& reason)
      : std::runtime_error("Cannot move file \"" + file + "\" to the trash. " + reason) {}
};

// A trashed file could not be put back: "Cannot restore file "<file>". <reason>", the file being its
// original full name. The entry stays in the trash.
class ERestoreError : public std::runtime_error {
 public:
  ERestoreError(const std::string& file, const std::string& reason)
      : std::runtime_error("Cannot restore file \"" + file + "\". " + reason) {}
};

// A folder the user named does not exist or is no folder: "<folder>: no such folder", the folder as
// the user gave it.
class ENoSuchFolder : public std::runtime_error {
 public:
  explicit ENoSuchFolder(const std::string& folder) : std::runtime_error(folder + ": no such folder") {}
};

// A text file could not be opened or written: "I/O error <errno>".
class EInOutError : public std::runtime_error {
 public:
  explicit EInOutError(int errorCode)
      : std::runtime_error("I/O error " + std::to_string(errorCode)), ErrorCode(errorCode) {}
  const int ErrorCode;
};

}  // namespace velquin
