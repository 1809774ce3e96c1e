// TScopeGuard: a cleanup that runs on every way out of a scope (putting back a cursor, a flag, a
// lock), and Quietly, for a cleanup step whose failure must not stop the steps after it.
//
// A cleanup that runs while a failure is ending the scope must not replace that failure, and a
// destructor must not throw: the guard drops a failure of its cleanup. Where the normal way out
// must report such a failure, Run() runs the cleanup early and lets it pass on.
#pragma once

#include <utility>

namespace velquin {

// Runs `step`, dropping its failure.
template <typename TStep>
void Quietly(TStep&& step) noexcept {
  try {
    std::forward<TStep>(step)();
  } catch (...) {
    // The failure that is ending the scope, if any, is the one to report.
  }
}

template <typename TCleanup>
class TScopeGuard {
 public:
  explicit TScopeGuard(TCleanup cleanup) : cleanup_(std::move(cleanup)) {}
  ~TScopeGuard() {
    if (armed_) Quietly(cleanup_);
  }
  TScopeGuard(const TScopeGuard&) = delete;
  TScopeGuard& operator=(const TScopeGuard&) = delete;

  // The normal way out: runs the cleanup now; its failure passes on.
  void Run() {
    armed_ = false;
    cleanup_();
  }

 private:
  TCleanup cleanup_;
  bool armed_ = true;
};

}  // namespace velquin
