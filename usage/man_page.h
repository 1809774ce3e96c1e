// The man page of a program, written in the man(7) macros from its table.
#pragma once

#include <ostream>

#include "usage/program_usage.h"

namespace velquin {

void WriteManPage(std::ostream& stream, const TProgramUsage& program);

}  // namespace velquin
