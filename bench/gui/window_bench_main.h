#pragma once

// The main of the window's benchmarks: Google Benchmark's run inside a QApplication, on the
// offscreen platform unless QT_QPA_PLATFORM names another.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>

namespace bench {

inline int RunWindowBenchmarks(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace bench
