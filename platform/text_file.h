// Plain text files with CR LF line ends: whole-file reading and writing, appending one line, and
// TTextWriter, a file written line by line (log.txt).
#pragma once

#include <string>
#include <vector>

#include "platform/errors.h"

namespace velquin {

// The file's lines, split at CR LF, CR or LF; an empty line gives an empty entry, and no entry follows
// the last line break. Raises EFOpenError "Cannot open file "<file>". <reason>" when it cannot be read.
std::vector<std::string> ReadLines(const std::string& path);

// Writes the file afresh, each line followed by CR LF. Raises EFCreateError
// "Cannot create file "<file>". <reason>" when it cannot be created, EInOutError when writing fails.
void WriteLinesCRLF(const std::string& path, const std::vector<std::string>& lines);

// Appends the line and CR LF to the file, creating it when missing. Raises EInOutError "I/O error <errno>".
void AppendLineCRLF(const std::string& path, const std::string& line);

// A text file created (or emptied) on construction and written line by line, each line reaching the
// file at once. Every failure raises EInOutError "I/O error <errno>".
class TTextWriter {
 public:
  explicit TTextWriter(const std::string& path);
  ~TTextWriter();
  TTextWriter(const TTextWriter&) = delete;
  TTextWriter& operator=(const TTextWriter&) = delete;

  // Writes the line followed by CR LF.
  void WriteLine(const std::string& line);
  // Closes the file; later writes fail. Closing twice does nothing.
  void Close();

 private:
  int FFd;
};

}  // namespace velquin
