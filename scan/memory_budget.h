// TMemoryBudget: the memory shared by the pictures held at the same time. A picture takes its share
// once its size is known and before anything is allocated for it, and only when the share fits in
// the memory left beside every share already taken: pictures decoded side by side then never count
// on the same free memory. The share goes back when the picture is done with.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

namespace velquin {

class TMemoryBudget;

// The bytes one picture holds of a budget; given back at the latest when it is destroyed. The budget
// must outlive it.
class TMemoryShare {
 public:
  TMemoryShare() = default;
  ~TMemoryShare() { GiveBack(); }
  TMemoryShare(TMemoryShare&& other) noexcept;
  TMemoryShare& operator=(TMemoryShare&& other) noexcept;
  TMemoryShare(const TMemoryShare&) = delete;
  TMemoryShare& operator=(const TMemoryShare&) = delete;

  std::uint64_t Bytes() const { return bytes_; }
  void GiveBack() noexcept;

 private:
  friend class TMemoryBudget;
  TMemoryBudget* budget_ = nullptr;
  std::uint64_t bytes_ = 0;
};

class TMemoryBudget {
 public:
  // memoryLeft: what the system can still hand out, read at every Take; empty reads AvailableMemory.
  explicit TMemoryBudget(std::function<std::uint64_t()> memoryLeft = {});

  // Gives back what share holds, then makes it hold bytes when they fit in the memory left beside
  // every share taken; returns whether they did. Safe from any thread.
  bool Take(std::uint64_t bytes, TMemoryShare& share);
  // The bytes all shares hold.
  std::uint64_t Taken() const;

 private:
  friend class TMemoryShare;
  void GiveBack(std::uint64_t bytes) noexcept;

  const std::function<std::uint64_t()> memoryLeft_;
  mutable std::mutex mutex_;
  std::uint64_t taken_ = 0;
};

}  // namespace velquin
