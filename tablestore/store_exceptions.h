// The exceptions of the table store: a numbered store error, and an error of the row-set layer.
#pragma once

#include <stdexcept>
#include <string>

namespace velquin {

// A numbered error of the store proper: what() is "Tabrix Engine Error # <Code> <text>".
class EStoreError : public std::runtime_error {
 public:
  EStoreError(int code, const std::string& text)
      : std::runtime_error("Tabrix Engine Error # " + std::to_string(code) + " " + text), Code(code) {}
  int Code;
};

// An error of the row-set layer ("SigsTable: Cannot perform this operation on an empty dataset").
class EDatabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace velquin
