// Side-by-side timing for targets stated as a ratio: each iteration runs the reference and then the
// subject, so that both see the same machine, however its load changes during the run.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

namespace velquin {

// Reports <reference>_ms and <subject>_ms per iteration and <subject>_over_<reference>, the ratio of
// their summed times.
template <typename TReference, typename TSubject>
void RunSideBySide(benchmark::State& state, const std::string& referenceName, TReference reference,
                   const std::string& subjectName, TSubject subject) {
  using TClock = std::chrono::steady_clock;
  TClock::duration referenceTime{}, subjectTime{};
  for (auto _ : state) {
    const auto start = TClock::now();
    reference();
    const auto middle = TClock::now();
    subject();
    subjectTime += TClock::now() - middle;
    referenceTime += middle - start;
  }
  const auto ms = [&](TClock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count() / static_cast<double>(state.iterations());
  };
  state.counters[referenceName + "_ms"] = ms(referenceTime);
  state.counters[subjectName + "_ms"] = ms(subjectTime);
  state.counters[subjectName + "_over_" + referenceName] = ms(subjectTime) / ms(referenceTime);
}

}  // namespace velquin
