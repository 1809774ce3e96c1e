#include <malloc.h>

#include <iostream>

#include "cli/command_line.h"

int main(int argc, char** argv) {
  // Pictures of tens of megabytes are loaded one after another. Kept in the heap, a freed bitmap's
  // memory serves the next picture; handed back to the system, every picture would fault in and
  // clear fresh pages again.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  std::ios::sync_with_stdio(false);
  const velquin::TCommandArgs args(argv + 1, argv + argc);
  const int status = velquin::RunCommandLine(args, std::cout, std::cerr);
  std::cout.flush();
  return status;
}
