// Time the editor takes to open big.mdb (200,000 + 20,000 rows) into one tab page and grid per
// table, and the memory that costs. Runs the real window on the offscreen platform.
// Run: build/bench/gui/open_pages_bench [--benchmark_filter=...]; MDB_BIG_MDB selects the file.

#include <benchmark/benchmark.h>

#include <QFileDialog>
#include <QTabWidget>
#include <filesystem>
#include <string>

#include "bench/gui/bench_files.h"
#include "bench/gui/recording_prompter.h"
#include "bench/gui/window_bench_main.h"
#include "ui/frm_main.h"

namespace {

void BM_OpenBigMdbIntoPages(benchmark::State& state) {
  const QString path = QString::fromStdString(
      bench::CopyOf(bench::BigMdb(), "mdbedit-open-pages-bench.mdb"));
  bench::RecordingPrompter prompter;
  ui::TFrmMain window(prompter, QStringLiteral("open_pages_bench"));
  for (auto _ : state) {
    window.OpenDatabaseFile(path);
    state.PauseTiming();
    if (!prompter.error.isEmpty()) {
      state.SkipWithError(prompter.error.toStdString().c_str());
      break;
    }
    state.counters["pages"] = window.PageControl->count();
    window.CloseDatabaseFile();
    state.ResumeTiming();
  }
  state.counters["peak_rss_mb"] = static_cast<double>(bench::PeakRssKb()) / 1024.0;
  std::filesystem::remove(path.toStdString());
}
BENCHMARK(BM_OpenBigMdbIntoPages)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) { return bench::RunWindowBenchmarks(argc, argv); }
