// Side-by-side timing for targets stated as a ratio: each iteration runs the reference and then the
// subject, so that both see the same machine, however its load changes during the run.
#pragma once

#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <string>

namespace velquin {

// The processor time the calling thread has used: unlike the time that passes, it does not count
// the time other programs take the processor away.
inline std::chrono::nanoseconds ThreadCpuTime() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// Reports <reference>_ms and <subject>_ms per iteration and <subject>_over_<reference>, the ratio of
// their summed times; and the same of the calling thread's processor time, as <reference>_cpu_ms,
// <subject>_cpu_ms and <subject>_cpu_over_<reference>.
template <typename TReference, typename TSubject>
void RunSideBySide(benchmark::State& state, const std::string& referenceName, TReference reference,
                   const std::string& subjectName, TSubject subject) {
  using TClock = std::chrono::steady_clock;
  TClock::duration referenceTime{}, subjectTime{};
  std::chrono::nanoseconds referenceCpu{}, subjectCpu{};
  for (auto _ : state) {
    const auto start = TClock::now();
    const auto startCpu = ThreadCpuTime();
    reference();
    const auto middle = TClock::now();
    const auto middleCpu = ThreadCpuTime();
    subject();
    subjectTime += TClock::now() - middle;
    subjectCpu += ThreadCpuTime() - middleCpu;
    referenceTime += middle - start;
    referenceCpu += middleCpu - startCpu;
  }
  const auto ms = [&](auto d) {
    return std::chrono::duration<double, std::milli>(d).count() / static_cast<double>(state.iterations());
  };
  state.counters[referenceName + "_ms"] = ms(referenceTime);
  state.counters[subjectName + "_ms"] = ms(subjectTime);
  state.counters[subjectName + "_over_" + referenceName] = ms(subjectTime) / ms(referenceTime);
  state.counters[referenceName + "_cpu_ms"] = ms(referenceCpu);
  state.counters[subjectName + "_cpu_ms"] = ms(subjectCpu);
  state.counters[subjectName + "_cpu_over_" + referenceName] = ms(subjectCpu) / ms(referenceCpu);
}

}  // namespace velquin
