// Time the editor takes to open big.mdb (200,000 + 20,000 rows) into one tab page and grid per
// table, and the memory that costs. Runs the real window on the offscreen platform.
// Run: build/bench/gui/open_pages_bench [--benchmark_filter=...]; MDB_BIG_MDB selects the file.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <QFileDialog>
#include <QTabWidget>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "ui/frm_main.h"
#include "ui/prompter.h"

namespace {

// Records errors instead of showing them; the benchmark fails on any.
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

std::string BigMdbCopy() {
  const char* env = std::getenv("MDB_BIG_MDB");
  const std::string source =
      env != nullptr && *env != '\0' ? env : std::string(MDB_SHARED_DIR) + "/fixtures/big.mdb";
  // The window opens files for writing: work on a private copy, never on the shared fixture.
  const auto copy = std::filesystem::temp_directory_path() / "mdbedit-open-pages-bench.mdb";
  std::filesystem::copy_file(source, copy, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(copy, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  return copy.string();
}

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void BM_OpenBigMdbIntoPages(benchmark::State& state) {
  const QString path = QString::fromStdString(BigMdbCopy());
  RecordingPrompter prompter;
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
  state.counters["peak_rss_mb"] = static_cast<double>(PeakRssKb()) / 1024.0;
  std::filesystem::remove(path.toStdString());
}
BENCHMARK(BM_OpenBigMdbIntoPages)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
