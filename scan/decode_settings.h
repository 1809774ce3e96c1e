// TDecodeSettings: how many threads decode the pictures of a scan, and where the memory check reads
// the memory left.
#pragma once

#include <cstdint>
#include <functional>

namespace velquin {

struct TDecodeSettings {
  // 0: one thread per core; 1: one picture at a time, on the scan's own thread; N: N threads decode
  // ahead while the scan's own thread does the rest.
  unsigned Threads = 0;
  // What the system can still hand out; empty reads AvailableMemory. Tests give a figure of their own.
  std::function<std::uint64_t()> MemoryLeft;
};

}  // namespace velquin
