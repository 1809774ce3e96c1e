#include "imaging/available_memory.h"

#include <unistd.h>

#include <fstream>
#include <limits>
#include <string>

namespace velquin {

std::uint64_t AvailableMemory() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  std::uint64_t kilobytes = 0;
  while (meminfo >> key >> kilobytes) {
    if (key == "MemAvailable:") return kilobytes * 1024;
    meminfo.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
  }
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return std::numeric_limits<std::uint64_t>::max();
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

}  // namespace velquin
