#include <iostream>

#include "cli/command_line.h"
#include "platform/process_setup.h"

int main(int argc, char** argv) {
  velquin::PrepareProcess();
  std::ios::sync_with_stdio(false);
  const velquin::TCommandArgs args(argv + 1, argv + argc);
  const int status = velquin::RunCommandLine(args, std::cout, std::cerr);
  std::cout.flush();
  return status;
}
