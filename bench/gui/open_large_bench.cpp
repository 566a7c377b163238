// The editor on a large file: 2,000,000 rows of StdItems' shape (bench/large_file.h, made once
// and kept in the build directory). Times opening the table into its page with its first rows
// drawn, going to the last record and back, posting one edit, and reports the process's peak
// memory. Run one benchmark per process (--benchmark_filter) for a meaningful peak.
// Run: build/bench/open_large_bench [--benchmark_filter=...]; MDB_BIG_MDB selects the source.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QAbstractItemModel>
#include <algorithm>
#include <QApplication>
#include <QFileDialog>
#include <QTabWidget>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/large_file.h"
#include "database/field.h"
#include "database/query.h"
#include "shared/table_page.h"
#include "ui/data_grid.h"
#include "ui/frm_main.h"
#include "ui/prompter.h"

namespace {

class RecordingPrompter : public ui::Prompter {
 public:
  void ShowError(QWidget*, const QString&, const QString& text) override { error = text; }
  QMessageBox::StandardButton Ask(QWidget*, const QString&, const QString&, QMessageBox::Icon,
                                  QMessageBox::StandardButtons,
                                  QMessageBox::StandardButton) override {
    return QMessageBox::Cancel;
  }
  bool RunOpenDialog(QFileDialog*, QString*) override { return false; }

  QString error;
};

std::string BigMdb() {
  const char* env = std::getenv("MDB_BIG_MDB");
  return env != nullptr && *env != '\0' ? env : std::string(MDB_SHARED_DIR) + "/fixtures/big.mdb";
}

// A private writable copy of the cached large file (the window opens files for writing).
std::string LargeCopy() {
  const std::string large = bench::LargeMdb(MDB_BENCH_CACHE_DIR, BigMdb());
  const auto copy = std::filesystem::temp_directory_path() / "mdbedit-open-large-bench.mdb";
  std::filesystem::copy_file(large, copy, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(copy, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  return copy.string();
}

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
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

void Open(ui::TFrmMain& window, RecordingPrompter& prompter, const QString& path,
          benchmark::State& state) {
  window.OpenDatabaseFile(path);
  if (!prompter.error.isEmpty()) state.SkipWithError(prompter.error.toStdString().c_str());
}

void BM_OpenLargeTable(benchmark::State& state) {
  const QString path = QString::fromStdString(LargeCopy());
  RecordingPrompter prompter;
  ui::TFrmMain window(prompter, QStringLiteral("open_large_bench"));
  for (auto _ : state) {
    Open(window, prompter, path, state);
    DrawRows(window.CurrentPage(), 0);
    state.PauseTiming();
    state.counters["rows"] = window.CurrentPage()->Query->RecordCount();
    window.CloseDatabaseFile();
    state.ResumeTiming();
  }
  state.counters["peak_rss_mb"] = static_cast<double>(PeakRssKb()) / 1024.0;
  std::filesystem::remove(path.toStdString());
}
BENCHMARK(BM_OpenLargeTable)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_LargeLastAndBack(benchmark::State& state) {
  const QString path = QString::fromStdString(LargeCopy());
  RecordingPrompter prompter;
  ui::TFrmMain window(prompter, QStringLiteral("open_large_bench"));
  Open(window, prompter, path, state);
  TTablePage* page = window.CurrentPage();
  for (auto _ : state) {
    page->Query->Last();
    DrawRows(page, page->Query->RecordCount() - 40);
    page->Query->First();
    DrawRows(page, 0);
  }
  state.counters["peak_rss_mb"] = static_cast<double>(PeakRssKb()) / 1024.0;
  window.CloseDatabaseFile();
  std::filesystem::remove(path.toStdString());
}
BENCHMARK(BM_LargeLastAndBack)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_LargePostEdit(benchmark::State& state) {
  const QString path = QString::fromStdString(LargeCopy());
  RecordingPrompter prompter;
  ui::TFrmMain window(prompter, QStringLiteral("open_large_bench"));
  Open(window, prompter, path, state);
  database::Query* query = window.CurrentPage()->Query;
  query->MoveTo(query->RecordCount() / 2);
  int n = 0;
  for (auto _ : state) {
    query->Edit();
    query->FieldByName(QStringLiteral("Price"))->SetAsInteger(++n);
    query->Post();
  }
  state.counters["peak_rss_mb"] = static_cast<double>(PeakRssKb()) / 1024.0;
  window.CloseDatabaseFile();
  std::filesystem::remove(path.toStdString());
}
BENCHMARK(BM_LargePostEdit)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
