#include "scan/memory_budget.h"

#include <utility>

#include "imaging/available_memory.h"

namespace velquin {

TMemoryShare::TMemoryShare(TMemoryShare&& other) noexcept
    : budget_(std::exchange(other.budget_, nullptr)), bytes_(std::exchange(other.bytes_, 0)) {}

TMemoryShare& TMemoryShare::operator=(TMemoryShare&& other) noexcept {
  if (this != &other) {
    GiveBack();
    budget_ = std::exchange(other.budget_, nullptr);
    bytes_ = std::exchange(other.bytes_, 0);
  }
  return *this;
}

void TMemoryShare::GiveBack() noexcept {
  if (budget_ != nullptr) budget_->GiveBack(bytes_);
  budget_ = nullptr;
  bytes_ = 0;
}

TMemoryBudget::TMemoryBudget(std::function<std::uint64_t()> memoryLeft)
    : memoryLeft_(std::move(memoryLeft)) {}

bool TMemoryBudget::Take(std::uint64_t bytes, TMemoryShare& share) {
  share.GiveBack();
  const std::lock_guard lock(mutex_);
  const std::uint64_t left = memoryLeft_ ? memoryLeft_() : AvailableMemory();
  if (taken_ > left || bytes > left - taken_) return false;
  taken_ += bytes;
  share.budget_ = this;
  share.bytes_ = bytes;
  return true;
}

std::uint64_t TMemoryBudget::Taken() const {
  const std::lock_guard lock(mutex_);
  return taken_;
}

void TMemoryBudget::GiveBack(std::uint64_t bytes) noexcept {
  const std::lock_guard lock(mutex_);
  taken_ -= bytes;
}

}  // namespace velquin
