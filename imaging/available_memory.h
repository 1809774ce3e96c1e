// How much memory a picture may still take.
#pragma once

#include <cstdint>
#include <filesystem>

namespace velquin {

// The least of what the system can hand out without swapping (MemAvailable, else its physical
// memory), what the process's memory cgroup still allows (its limit minus its usage without the
// reclaimable inactive page cache, at every level up to the hierarchy's root, v1 or v2), and what
// RLIMIT_AS leaves beside the address space in use (VmSize). With overcommitted memory the allocator
// does not refuse more than this; touching it would end the process. `root` is the folder /proc and
// /sys/fs/cgroup are read under; a figure that cannot be read limits nothing.
std::uint64_t AvailableMemory(const std::filesystem::path& root = "/");

}  // namespace velquin
