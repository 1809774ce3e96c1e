#include "imaging/available_memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "imaging/test_support.h"

namespace velquin {
namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::uint64_t kNoLimit = UINT64_MAX;

// Files of a fake root, by path below it.
using TTree = std::map<std::string, std::string>;

std::uint64_t AvailableIn(const TTree& tree) {
  TTestDir dir;
  const std::filesystem::path root = dir.File("root");
  for (const auto& [path, text] : tree) {
    std::filesystem::create_directories((root / path).parent_path());
    std::ofstream(root / path) << text;
  }
  return AvailableMemory(root);
}

const std::string kMeminfo = "MemTotal:       16384000 kB\nMemAvailable:    8192000 kB\n";
const std::uint64_t kMemAvailable = 8192000ull * 1024;
const std::string kUnlimited = "Max address space         unlimited            unlimited            bytes\n";

TEST(AvailableMemoryTest, LeastOfSystemCgroupAndAddressSpace) {
  struct TCase {
    const char* name;
    TTree tree;
    std::uint64_t expected;
  };
  const TCase cases[] = {
      {"no cgroup, no address space limit",
       {{"proc/meminfo", kMeminfo}, {"proc/self/limits", kUnlimited}},
       kMemAvailable},
      {"v2 limit counts usage without inactive page cache",
       {{"proc/meminfo", kMeminfo},
        {"proc/self/cgroup", "0::/app.slice/velquin\n"},
        {"sys/fs/cgroup/app.slice/velquin/memory.max", std::to_string(512 * kMiB) + "\n"},
        {"sys/fs/cgroup/app.slice/velquin/memory.current", std::to_string(300 * kMiB) + "\n"},
        {"sys/fs/cgroup/app.slice/velquin/memory.stat",
         "active_file 1000\ninactive_file " + std::to_string(200 * kMiB) + "\n"}},
       412 * kMiB},
      {"v2 \"max\" limits nothing",
       {{"proc/meminfo", kMeminfo},
        {"proc/self/cgroup", "0::/user\n"},
        {"sys/fs/cgroup/user/memory.max", "max\n"},
        {"sys/fs/cgroup/user/memory.current", "100\n"}},
       kMemAvailable},
      {"v2 parent's limit is the least",
       {{"proc/meminfo", kMeminfo},
        {"proc/self/cgroup", "0::/a/b\n"},
        {"sys/fs/cgroup/a/memory.max", std::to_string(100 * kMiB)},
        {"sys/fs/cgroup/a/memory.current", std::to_string(40 * kMiB)},
        {"sys/fs/cgroup/a/b/memory.max", "max\n"}},
       60 * kMiB},
      {"v1 memory controller among others",
       {{"proc/meminfo", kMeminfo},
        {"proc/self/cgroup", "5:cpu,cpuacct:/\n4:memory:/job\n0::/\n"},
        {"sys/fs/cgroup/memory/job/memory.limit_in_bytes", std::to_string(256 * kMiB)},
        {"sys/fs/cgroup/memory/job/memory.usage_in_bytes", std::to_string(250 * kMiB)},
        {"sys/fs/cgroup/memory/job/memory.stat",
         "inactive_file 1\ntotal_inactive_file " + std::to_string(50 * kMiB) + "\n"}},
       56 * kMiB},
      {"v1 without a limit (the page counter's greatest value)",
       {{"proc/meminfo", kMeminfo},
        {"proc/self/cgroup", "4:memory:/\n"},
        {"sys/fs/cgroup/memory/memory.limit_in_bytes", "9223372036854771712\n"},
        {"sys/fs/cgroup/memory/memory.usage_in_bytes", std::to_string(3 * kMiB)}},
       kMemAvailable},
      {"v1 usage over the limit leaves nothing",
       {{"proc/meminfo", kMeminfo},
        {"proc/self/cgroup", "4:memory:/\n"},
        {"sys/fs/cgroup/memory/memory.limit_in_bytes", std::to_string(10 * kMiB)},
        {"sys/fs/cgroup/memory/memory.usage_in_bytes", std::to_string(11 * kMiB)}},
       0},
      {"RLIMIT_AS less VmSize",
       {{"proc/meminfo", kMeminfo},
        {"proc/self/limits",
         "Max address space         " + std::to_string(1024 * kMiB) + " unlimited bytes\n"},
        {"proc/self/status", "VmPeak:\t 900000 kB\nVmSize:\t  524288 kB\n"}},
       512 * kMiB},
      {"MemAvailable the least",
       {{"proc/meminfo", "MemAvailable:      1024 kB\n"},
        {"proc/self/cgroup", "0::/\n"},
        {"sys/fs/cgroup/memory.max", std::to_string(512 * kMiB)},
        {"proc/self/limits",
         "Max address space         " + std::to_string(1024 * kMiB) + " unlimited bytes\n"}},
       1024 * 1024},
  };
  for (const TCase& c : cases) EXPECT_EQ(AvailableIn(c.tree), c.expected) << c.name;
}

TEST(AvailableMemoryTest, WithoutMeminfoThePhysicalMemoryCounts) {
  const std::uint64_t physical = AvailableIn({});
  EXPECT_GT(physical, 0u);
  EXPECT_NE(physical, kNoLimit);
}

}  // namespace
}  // namespace velquin
