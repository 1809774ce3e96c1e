// Runs velquin-cli's command line in the test's own process and keeps what it wrote.
#pragma once

#include <sstream>
#include <string>

#include "cli/command_line.h"

namespace velquin {

struct TRun {
  int Status;
  std::string Out;
  std::string Err;
};

inline TRun RunCli(const TCommandArgs& args) {
  std::ostringstream out, err;
  const int status = RunCommandLine(args, out, err);
  return {status, out.str(), err.str()};
}

}  // namespace velquin
