// TLargeArray: a vector for the arrays of many megabytes that a match pass fills once and then reads
// at random (a million rows' signature values, their names, the partner search's grid). Its storage
// is asked of the kernel in 2 MiB pages (transparent huge pages, which systems commonly leave to the
// program's advice): filling it then faults once per 2 MiB instead of once per 4 KiB, and its reads
// miss the processor's address translation caches far less often. Over a million rows the two cost
// about a quarter of the pass. An array smaller than one such page comes from the ordinary heap.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

namespace velquin {

inline constexpr std::size_t kLargePageBytes = std::size_t{2} << 20;

template <typename T>
class TLargePageAllocator {
 public:
  using value_type = T;

  TLargePageAllocator() = default;
  template <typename U>
  TLargePageAllocator(const TLargePageAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    if (n > (PTRDIFF_MAX - kLargePageBytes) / sizeof(T)) throw std::bad_array_new_length();
    const std::size_t bytes = n * sizeof(T);
    if (bytes < kLargePageBytes) return std::allocator<T>().allocate(n);
    void* storage = ::operator new (WholePages(bytes), std::align_val_t{kLargePageBytes});
    // Advice only: where the kernel declines it, the array takes ordinary pages.
    madvise(storage, WholePages(bytes), MADV_HUGEPAGE);
    return static_cast<T*>(storage);
  }

  void deallocate(T* storage, std::size_t n) noexcept {
    const std::size_t bytes = n * sizeof(T);
    if (bytes < kLargePageBytes) {
      std::allocator<T>().deallocate(storage, n);
    } else {
      ::operator delete (storage, WholePages(bytes), std::align_val_t{kLargePageBytes});
    }
  }

  friend bool operator==(const TLargePageAllocator&, const TLargePageAllocator&) { return true; }

 private:
  static std::size_t WholePages(std::size_t bytes) {
    return (bytes + kLargePageBytes - 1) / kLargePageBytes * kLargePageBytes;
  }
};

template <typename T>
using TLargeArray = std::vector<T, TLargePageAllocator<T>>;

}  // namespace velquin
