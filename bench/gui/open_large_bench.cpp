// The editor on a large file: 2,000,000 rows of StdItems' shape (bench/large_file.h, made once
// and kept in the build directory). Times opening the table into its page with its first rows
// drawn, going to the last record and back, posting one edit, and reports the process's peak
// memory. Run one benchmark per process (--benchmark_filter) for a meaningful peak.
// Run: build/bench/open_large_bench [--benchmark_filter=...]; MDB_BIG_MDB selects the source.

#include <benchmark/benchmark.h>

#include <QAbstractItemModel>
#include <algorithm>
#include <QFileDialog>
#include <QTabWidget>
#include <filesystem>
#include <string>

#include "bench/gui/bench_files.h"
#include "bench/gui/recording_prompter.h"
#include "bench/gui/window_bench_main.h"
#include "bench/large_file.h"
#include "database/field.h"
#include "database/query.h"
#include "shared/table_page.h"
#include "ui/data_grid.h"
#include "ui/frm_main.h"

namespace {

// A private writable copy of the cached large file.
std::string LargeCopy() {
  return bench::CopyOf(bench::LargeMdb(MDB_BENCH_CACHE_DIR, bench::BigMdb()),
                       "mdbedit-open-large-bench.mdb");
}

// Asks the grid's model for every cell of the rows a page shows from `first` on, as painting does.
void DrawRows(TTablePage* page, int first) {
  QAbstractItemModel* model = page->Grid->model();
  const int last = std::min(model->rowCount(), first + 40);
  for (int r = first; r < last; ++r) {
    for (int c = 0; c < model->columnCount(); ++c) {
      benchmark::DoNotOptimize(model->data(model->index(r, c), Qt::DisplayRole));
    }
  }
}

void Open(ui::TFrmMain& window, bench::RecordingPrompter& prompter, const QString& path,
          benchmark::State& state) {
  window.OpenDatabaseFile(path);
  if (!prompter.error.isEmpty()) state.SkipWithError(prompter.error.toStdString().c_str());
}

void BM_OpenLargeTable(benchmark::State& state) {
  const QString path = QString::fromStdString(LargeCopy());
  bench::RecordingPrompter prompter;
  ui::TFrmMain window(prompter, QStringLiteral("open_large_bench"));
  for (auto _ : state) {
    Open(window, prompter, path, state);
    DrawRows(window.CurrentPage(), 0);
    state.PauseTiming();
    state.counters["rows"] = window.CurrentPage()->Query->RecordCount();
    window.CloseDatabaseFile();
    state.ResumeTiming();
  }
  state.counters["peak_rss_mb"] = static_cast<double>(bench::PeakRssKb()) / 1024.0;
  std::filesystem::remove(path.toStdString());
}
BENCHMARK(BM_OpenLargeTable)->Unit(benchmark::kMillisecond)->Iterations(3);

// The window with the large file open, for the benchmarks that work on an open page; closing it
// reports the peak memory and removes the copy.
struct OpenLargeWindow {
  explicit OpenLargeWindow(benchmark::State& s) : state(s) { Open(window, prompter, path, state); }
  ~OpenLargeWindow() {
    state.counters["peak_rss_mb"] = static_cast<double>(bench::PeakRssKb()) / 1024.0;
    window.CloseDatabaseFile();
    std::filesystem::remove(path.toStdString());
  }
  benchmark::State& state;
  const QString path = QString::fromStdString(LargeCopy());
  bench::RecordingPrompter prompter;
  ui::TFrmMain window{prompter, QStringLiteral("open_large_bench")};
};

void BM_LargeLastAndBack(benchmark::State& state) {
  OpenLargeWindow open(state);
  TTablePage* page = open.window.CurrentPage();
  for (auto _ : state) {
    page->Query->Last();
    DrawRows(page, page->Query->RecordCount() - 40);
    page->Query->First();
    DrawRows(page, 0);
  }
}
BENCHMARK(BM_LargeLastAndBack)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_LargePostEdit(benchmark::State& state) {
  OpenLargeWindow open(state);
  database::Query* query = open.window.CurrentPage()->Query;
  query->MoveTo(query->RecordCount() / 2);
  int n = 0;
  for (auto _ : state) {
    query->Edit();
    query->FieldByName(QStringLiteral("Price"))->SetAsInteger(++n);
    query->Post();
  }
}
BENCHMARK(BM_LargePostEdit)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char** argv) { return bench::RunWindowBenchmarks(argc, argv); }
