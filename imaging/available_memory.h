// How much memory a picture may still take.
#pragma once

#include <cstdint>

namespace velquin {

// Bytes the system can hand out without swapping (MemAvailable), else its physical memory. With
// overcommitted memory the allocator does not refuse more than this; touching it would end the process.
std::uint64_t AvailableMemory();

}  // namespace velquin
