// The exceptions of the table store: a numbered store error, and an error of the row-set layer.
#pragma once

#include <stdexcept>
#include <string>

namespace velquin {

// A numbered error of the store proper: what() is "Tabrix Engine Error # <Code> <Text>".
class EStoreError : public std::runtime_error {
 public:
  EStoreError(int code, const std::string& text)
      : std::runtime_error("Tabrix Engine Error # " + std::to_string(code) + " " + text),
        Code(code),
        Text(text) {}
  int Code;
  // The message without "Tabrix Engine Error # <Code> ".
  std::string Text;
};

// Access to a table's file is denied because another open of it (in this process or another) holds
// its lock; what() is that of the access-denied error. Only the lock conflict raises this type, so
// callers can tell it from a denial by the file's permissions.
class ETableLocked : public EStoreError {
 public:
  explicit ETableLocked(const EStoreError& accessDenied) : EStoreError(accessDenied) {}
};

// An error of the row-set layer ("SigsTable: Cannot perform this operation on an empty dataset").
class EDatabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace velquin
