// Write-path throughput: 100,000 inserts into a table with a LONG primary key and a TEXT index,
// 10,000 updates, 10,000 deletes, and building a primary key over 200,000 rows. Each benchmark
// works on a fresh copy of a fixture in a temporary directory and reports rows/s (overall and per
// phase) and the file size afterwards.

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>

#include "jet/database.h"

namespace {

namespace fs = std::filesystem;

std::string Copy(const std::string& fixture, const std::string& name) {
  fs::path dir = fs::temp_directory_path() / "mdbwrite-bench";
  fs::create_directories(dir);
  fs::path dst = dir / name;
  fs::copy_file(fs::path(MDB_SHARED_DIR) / "fixtures" / fixture, dst,
                fs::copy_options::overwrite_existing);
  fs::permissions(dst, fs::perms::owner_read | fs::perms::owner_write);
  return dst.string();
}

std::vector<jet::Value> StdItem(int32_t idx, std::mt19937& rng) {
  std::u16string name = u"Item" + std::u16string(1, static_cast<char16_t>(u'A' + rng() % 26));
  for (char c : std::to_string(idx)) name.push_back(static_cast<char16_t>(c));
  return {jet::Value(idx), jet::Value(name), jet::Value(static_cast<uint8_t>(rng())),
          jet::Value(int16_t{1}), jet::Value(int16_t{2}), jet::Value(int16_t{3}),
          jet::Value(int16_t{4}), jet::Value(static_cast<int32_t>(rng() % 100000)),
          jet::Value(int16_t{5}), jet::Value()};
}

using Clock = std::chrono::steady_clock;

double PerSecond(int rows, Clock::duration d) {
  return rows / std::chrono::duration<double>(d).count();
}

void Report(benchmark::State& state, const std::string& path, int64_t rows) {
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows),
                                                benchmark::Counter::kIsRate);
  state.counters["file_MB"] = static_cast<double>(fs::file_size(path)) / 1e6;
}

// StdItems of game-indexed.mdb has a primary key on Idx (LONG); a TEXT index on Name is added.
void BM_InsertUpdateDelete(benchmark::State& state) {
  const int inserts = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    const std::string path = Copy("game-indexed.mdb", "iud.mdb");
    auto db = jet::Database::Open(path, jet::OpenMode::kReadWrite);
    db->CreateIndex(u"StdItems", {u"ByName", {{u"Name", true}}, false, false, false});
    std::mt19937 rng(1);
    std::vector<jet::RowId> ids;
    state.ResumeTiming();
    const auto t0 = Clock::now();
    for (int i = 0; i < inserts; ++i) ids.push_back(db->InsertRow(u"StdItems", StdItem(20000000 + i, rng)));
    const auto t1 = Clock::now();
    for (int i = 0; i < inserts / 10; ++i) {
      db->UpdateRow(u"StdItems", ids[static_cast<size_t>(i) * 7 % ids.size()], StdItem(50000000 + i, rng));
    }
    const auto t2 = Clock::now();
    for (int i = 0; i < inserts / 10; ++i) db->DeleteRow(u"StdItems", ids[static_cast<size_t>(i) * 10 + 3]);
    const auto t3 = Clock::now();
    state.PauseTiming();
    Report(state, path, inserts + inserts / 5);
    state.counters["insert_rows/s"] = PerSecond(inserts, t1 - t0);
    state.counters["update_rows/s"] = PerSecond(inserts / 10, t2 - t1);
    state.counters["delete_rows/s"] = PerSecond(inserts / 10, t3 - t2);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_InsertUpdateDelete)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);

// The same table and work in both formats, side by side: a table shaped like StdItems (LONG
// primary key, TEXT index) created by the engine in an Access 97 file (a copy of an Access-written
// one) and in a new Access 2000 file. Arg 0 = Jet3, 1 = Jet4.
void BM_Jet3BesideJet4(benchmark::State& state) {
  const bool jet3 = state.range(0) == 0;
  const int inserts = 30000;
  for (auto _ : state) {
    state.PauseTiming();
    std::string path;
    if (jet3) {
      path = Copy("access/jackcess-V1997-testV1997.mdb", "fmt3.mdb");
    } else {
      path = (fs::temp_directory_path() / "mdbwrite-bench" / "fmt4.mdb").string();
      fs::create_directories(fs::path(path).parent_path());
      fs::remove(path);
      jet::Database::Create(path);
    }
    auto db = jet::Database::Open(path, jet::OpenMode::kReadWrite);
    db->Execute(
        "CREATE TABLE StdItems (Idx LONG PRIMARY KEY, Name TEXT(40), Kind BYTE, A SHORT, "
        "B SHORT, C SHORT, D SHORT, Price LONG, E SHORT, Note MEMO)");
    db->Execute("CREATE INDEX ByName ON StdItems (Name)");
    std::mt19937 rng(1);
    std::vector<jet::RowId> ids;
    state.ResumeTiming();
    const auto t0 = Clock::now();
    for (int i = 0; i < inserts; ++i)
      ids.push_back(db->InsertRow(u"StdItems", StdItem(20000000 + i, rng)));
    const auto t1 = Clock::now();
    for (int i = 0; i < inserts / 10; ++i) {
      db->UpdateRow(u"StdItems", ids[static_cast<size_t>(i) * 7 % ids.size()],
                    StdItem(50000000 + i, rng));
    }
    const auto t2 = Clock::now();
    for (int i = 0; i < inserts / 10; ++i)
      db->DeleteRow(u"StdItems", ids[static_cast<size_t>(i) * 10 + 3]);
    const auto t3 = Clock::now();
    state.PauseTiming();
    state.SetLabel(jet3 ? "Jet3" : "Jet4");
    Report(state, path, inserts + inserts / 5);
    state.counters["insert_rows/s"] = PerSecond(inserts, t1 - t0);
    state.counters["update_rows/s"] = PerSecond(inserts / 10, t2 - t1);
    state.counters["delete_rows/s"] = PerSecond(inserts / 10, t3 - t2);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_Jet3BesideJet4)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

// Primary key over the 200,000 rows of big.mdb's StdItems, built next to the existing one.
void BM_BuildPrimaryKeySizedIndex(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    const std::string path = Copy("big.mdb", "build.mdb");
    auto db = jet::Database::Open(path, jet::OpenMode::kReadWrite);
    state.ResumeTiming();
    db->CreateIndex(u"StdItems", {u"IdxUnique", {{u"Idx", false}}, false, true, false});
    state.PauseTiming();
    Report(state, path, 200000);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_BuildPrimaryKeySizedIndex)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
