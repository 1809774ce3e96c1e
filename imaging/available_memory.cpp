#include "imaging/available_memory.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

namespace velquin {
namespace {

constexpr std::uint64_t kNoLimit = std::numeric_limits<std::uint64_t>::max();

std::filesystem::path Under(const std::filesystem::path& root, std::string_view absolute) {
  return root / std::filesystem::path(absolute).relative_path();
}

// The number after `key` on the first line starting with it, in files such as meminfo, status and
// memory.stat ("key value [kB]").
std::optional<std::uint64_t> KeyedValue(const std::filesystem::path& file, std::string_view key) {
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.starts_with(key)) continue;
    std::istringstream rest(line.substr(key.size()));
    std::uint64_t value = 0;
    if (!(rest >> value)) return std::nullopt;
    std::string unit;
    rest >> unit;
    return unit == "kB" ? value * 1024 : value;
  }
  return std::nullopt;
}

// A file holding one number, or "max" for none.
std::optional<std::uint64_t> SingleValue(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string word;
  if (!(in >> word)) return std::nullopt;
  if (word == "max") return kNoLimit;
  try {
    return std::stoull(word);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::uint64_t SystemMemory(const std::filesystem::path& root) {
  if (auto available = KeyedValue(Under(root, "/proc/meminfo"), "MemAvailable:")) return *available;
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return kNoLimit;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

struct TCgroupFiles {
  std::string_view limit;
  std::string_view usage;
  std::string_view inactiveFileKey;
};
constexpr TCgroupFiles kCgroupV2{"memory.max", "memory.current", "inactive_file "};
constexpr TCgroupFiles kCgroupV1{"memory.limit_in_bytes", "memory.usage_in_bytes", "total_inactive_file "};

// What one cgroup folder still allows: inactive page cache is given back before the limit bites.
std::uint64_t CgroupRoom(const std::filesystem::path& folder, const TCgroupFiles& files) {
  const auto limit = SingleValue(folder / files.limit);
  if (!limit || *limit == kNoLimit) return kNoLimit;
  const std::uint64_t usage = SingleValue(folder / files.usage).value_or(0);
  const std::uint64_t inactive = KeyedValue(folder / "memory.stat", files.inactiveFileKey).value_or(0);
  const std::uint64_t used = usage > inactive ? usage - inactive : 0;
  return *limit > used ? *limit - used : 0;
}

// The least room of the process's cgroup and of every cgroup above it. /proc/self/cgroup names the
// cgroup: "0::<path>" for v2, "<id>:<controllers>:<path>" with "memory" among them for v1.
std::uint64_t CgroupMemory(const std::filesystem::path& root) {
  std::ifstream in(Under(root, "/proc/self/cgroup"));
  std::string line;
  std::uint64_t room = kNoLimit;
  while (std::getline(in, line)) {
    const std::size_t first = line.find(':');
    const std::size_t second = line.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    const std::string controllers = line.substr(first + 1, second - first - 1);
    std::filesystem::path mount;
    const TCgroupFiles* files = nullptr;
    if (line.starts_with("0::")) {
      mount = Under(root, "/sys/fs/cgroup");
      files = &kCgroupV2;
    } else if (("," + controllers + ",").find(",memory,") != std::string::npos) {
      mount = Under(root, "/sys/fs/cgroup/memory");
      files = &kCgroupV1;
    } else {
      continue;
    }
    for (std::filesystem::path cgroup = line.substr(second + 1);; cgroup = cgroup.parent_path()) {
      room = std::min(room, CgroupRoom(mount / cgroup.relative_path(), *files));
      if (!cgroup.has_relative_path()) break;
    }
  }
  return room;
}

// RLIMIT_AS as /proc/self/limits shows it ("Max address space  <soft> <hard> bytes"), less VmSize.
std::uint64_t AddressSpaceLeft(const std::filesystem::path& root) {
  std::ifstream in(Under(root, "/proc/self/limits"));
  std::string line;
  constexpr std::string_view kKey = "Max address space";
  while (std::getline(in, line)) {
    if (!line.starts_with(kKey)) continue;
    std::istringstream rest(line.substr(kKey.size()));
    std::string soft;
    rest >> soft;
    if (soft == "unlimited") return kNoLimit;
    std::uint64_t limit = 0;
    try {
      limit = std::stoull(soft);
    } catch (const std::exception&) {
      return kNoLimit;
    }
    const std::uint64_t used = KeyedValue(Under(root, "/proc/self/status"), "VmSize:").value_or(0);
    return limit > used ? limit - used : 0;
  }
  return kNoLimit;
}

}  // namespace

std::uint64_t AvailableMemory(const std::filesystem::path& root) {
  return std::min({SystemMemory(root), CgroupMemory(root), AddressSpaceLeft(root)});
}

}  // namespace velquin
