// Table operations on big.mdb (StdItems 200,000 rows with primary key Idx, Magic 20,000 rows with
// primary key MagName): importing 10,000 lines, copying the large table, the key repair of an
// unindexed 200,000-row StdItems with 1 % repeated keys, and renumbering Idx.
// Run: build/bench/table_ops_bench [--benchmark_filter=...]; MDB_BIG_MDB selects the file.

#include <benchmark/benchmark.h>

#include <QString>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "bench/gui/bench_files.h"
#include "database/connection.h"
#include "database/key_repair.h"
#include "database/query.h"
#include "jet/database.h"
#include "tableops/copy.h"
#include "tableops/import.h"
#include "tableops/renumber.h"

namespace {

namespace fs = std::filesystem;

const QString kTemplate =
    QStringLiteral("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=%1;Persist Security Info=False");

class NullPrompts : public tableops::Prompter {
 public:
  void Notice(const QString&, Icon) override { ++notices; }
  void StatementFailed(const QString&, const std::exception&) override { ++failed; }
  int notices = 0;
  int failed = 0;
};

// A connection and a page on one table of `path`.
struct Page {
  Page(const std::string& path, const QString& table) : caption(table) {
    connection.SetConnectionString(kTemplate.arg(QString::fromStdString(path)));
    connection.Open();
    query.SetConnection(&connection);
    query.SetSQL("SELECT * FROM " + table);
    query.Open();
  }
  tableops::Page Get() { return tableops::Page{caption, &query, &grid}; }
  QString caption;
  database::Connection connection;
  database::Query query;
  tableops::PlainGrid grid{query};
};

void Import(benchmark::State& state, const QString& table, const QString& pattern) {
  constexpr int kLines = 10000;
  QString text;
  for (int i = 0; i < kLines; ++i) text += pattern.arg(i) + "\r\n";
  for (auto _ : state) {
    state.PauseTiming();
    const std::string path = bench::CopyOf(bench::BigMdb(), "mdbedit-import-bench.mdb");
    auto page = std::make_unique<Page>(path, table);
    NullPrompts prompts;
    state.ResumeTiming();
    const tableops::ImportResult result = tableops::ImportText(page->Get(), text, prompts);
    state.PauseTiming();
    if (result.failed > 0 || prompts.notices > 0 || result.statements != kLines) {
      state.SkipWithError("import refused lines");
    }
    page.reset();
    state.ResumeTiming();
  }
  state.counters["lines/s"] =
      benchmark::Counter(static_cast<double>(kLines) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}

void BM_ImportStdItems(benchmark::State& state) {
  Import(state, "StdItems", "0;新物品%1;1;2;3;4;5;6;7;note");
}
BENCHMARK(BM_ImportStdItems)->Unit(benchmark::kMillisecond)->Iterations(1);

// One probe per line: every name is new to the table.
void BM_ImportMagic(benchmark::State& state) { Import(state, "Magic", "9;Spell%1;1;2;3;4;x"); }
BENCHMARK(BM_ImportMagic)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_CopyTable(benchmark::State& state) {
  Page page(bench::CopyOf(bench::BigMdb(), "mdbedit-copy-bench.mdb"), "StdItems");
  qsizetype size = 0;
  for (auto _ : state) size = tableops::TableText(page.Get()).size();
  state.counters["rows"] = page.query.RecordCount();
  state.counters["chars"] = static_cast<double>(size);
}
BENCHMARK(BM_CopyTable)->Unit(benchmark::kMillisecond);

// An unindexed StdItems of 200,000 rows, one key in a hundred repeating an earlier one.
std::string UnindexedStdItems() {
  const fs::path path = fs::temp_directory_path() / "mdbedit-unindexed-200k.mdb";
  if (fs::exists(path)) return path.string();
  auto db = jet::Database::Create(path.string());
  db->Execute("CREATE TABLE StdItems (Idx LONG, Name TEXT(40), Price LONG)");
  for (int i = 0; i < 200000; ++i) {
    const int idx = i % 100 == 99 ? i - 50 : i;
    db->InsertRow(u"StdItems", {jet::Value(int32_t{idx}), jet::Value(std::u16string(u"item")),
                                jet::Value(int32_t{i})});
  }
  return path.string();
}

void BM_KeyRepair200k(benchmark::State& state) {
  const std::string source = UnindexedStdItems();
  for (auto _ : state) {
    state.PauseTiming();
    const std::string path = bench::CopyOf(source, "mdbedit-repair-bench.mdb");
    auto page = std::make_unique<Page>(path, "StdItems");
    state.ResumeTiming();
    database::RepairTableKey(nullptr, &page->query, "StdItems");
    state.PauseTiming();
    page.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_KeyRepair200k)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_Renumber200k(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    const std::string path = bench::CopyOf(bench::BigMdb(), "mdbedit-renumber-bench.mdb");
    auto page = std::make_unique<Page>(path, "StdItems");
    state.ResumeTiming();
    const int count = tableops::RenumberStdItems(page->Get());
    state.PauseTiming();
    state.counters["rows"] = count;
    page.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_Renumber200k)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
