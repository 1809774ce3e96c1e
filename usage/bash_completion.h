// The bash completion of a program with commands, written from its table: the commands and the
// program's own options first, then each command's options, and files or folders as its operands.
#pragma once

#include <ostream>

#include "usage/program_usage.h"

namespace velquin {

void WriteBashCompletion(std::ostream& stream, const TProgramUsage& program);

}  // namespace velquin
