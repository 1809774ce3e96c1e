// main() of the window benchmarks: a QApplication (on Qt's offscreen platform unless one is named)
// around Google Benchmark.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "platform/process_setup.h"

int main(int argc, char** argv) {
  velquin::PrepareProcess();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
