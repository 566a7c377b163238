// Recomputes the key of every row for every index of the fixture files and compares the result,
// entry by entry and in order, with the leaf entries stored in the file. Indexes that hold an
// approximate key (a character whose code is not established, a non-General sort order) are
// counted but not compared. Needs ../shared/fixtures.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <string>

#include "db/database_impl.h"
#include "page/format.h"
#include "index/index_key.h"
#include "index/index_page.h"
#include "jet/database.h"

namespace jet {
namespace {

namespace fs = std::filesystem;

struct Tally {
  int indexes = 0;          // real indexes seen
  int compared = 0;         // real indexes whose keys were all exact
  int approximate = 0;      // real indexes skipped for an approximate key
  long entries = 0;         // entries compared
  long matched = 0;         // entries equal to the recomputed ones at the same position
};

// Compares one real index; returns false when it was skipped as approximate.
bool CheckIndex(Database& db, const TableInfo& t, const RealIndex& ri, Tally* tally,
                std::string* first_diff) {
  const Format format = db.format();
  std::vector<KeyColumn> cols;
  std::vector<size_t> pos;
  for (const IndexColumn& ic : ri.columns) {
    for (size_t i = 0; i < t.def.columns.size(); ++i) {
      if (t.def.columns[i].number == ic.column_number) {
        cols.push_back(KeyColumn::From(t.def.columns[i], ic.ascending));
        pos.push_back(i);
      }
    }
  }
  std::vector<IndexEntry> expected;
  bool exact = true;
  db.Scan(t.def, [&](RowId id, std::vector<Value>& row) {
    std::vector<Value> vals;
    bool all_null = true;
    for (size_t p : pos) {
      vals.push_back(row[p]);
      all_null = all_null && row[p].is_null();
    }
    if ((ri.flags & 0x02) && all_null) return true;
    IndexKey k = EncodeIndexKey(format, cols, vals);
    exact = exact && k.exact;
    expected.push_back({std::move(k.bytes), id.page, id.row, 0});
    return true;
  });
  if (!exact) return false;
  std::sort(expected.begin(), expected.end(), EntryLess);
  FilePageSource src(DatabaseInternals::Of(db).file());
  const std::vector<IndexEntry> stored =
      ReadIndexEntries(src, DatabaseInternals::Of(db).file().info(), ri.root_page);
  tally->entries += static_cast<long>(stored.size());
  for (size_t i = 0; i < stored.size() && i < expected.size(); ++i) {
    if (stored[i] == expected[i]) {
      ++tally->matched;
    } else if (first_diff->empty()) {
      *first_diff = ToUtf8(t.def.name) + " root " + std::to_string(ri.root_page) + " entry " +
                    std::to_string(i);
    }
  }
  if (stored.size() != expected.size() && first_diff->empty()) {
    *first_diff = ToUtf8(t.def.name) + ": " + std::to_string(stored.size()) + " stored, " +
                  std::to_string(expected.size()) + " rows";
  }
  return true;
}

Tally CheckFile(const fs::path& path, std::string* first_diff) {
  Tally tally;
  auto db = Database::Open(path.string());
  for (const CatalogObject& o : db->Objects()) {
    if (o.kind != ObjectKind::kTable && o.kind != ObjectKind::kSystemTable) continue;
    std::shared_ptr<const TableInfo> t;
    try {
      t = DatabaseInternals::Of(*db).TableByName(o.name);
    } catch (const Error&) {
      continue;  // system objects that are not readable tables
    }
    for (const RealIndex& ri : t->real_indexes) {
      ++tally.indexes;
      if (CheckIndex(*db, *t, ri, &tally, first_diff)) {
        ++tally.compared;
      } else {
        ++tally.approximate;
      }
    }
  }
  return tally;
}

std::vector<fs::path> Fixtures() {
  std::vector<fs::path> out;
  const fs::path dir = fs::path(MDB_SHARED_DIR) / "fixtures";
  for (const char* name : {"unicode-index.mdb", "game-indexed.mdb", "types.mdb", "big.mdb"}) {
    out.push_back(dir / name);
  }
  std::vector<fs::path> access;
  for (const auto& e : fs::directory_iterator(dir / "access")) {
    if (e.path().extension() == ".mdb") access.push_back(e.path());
  }
  std::sort(access.begin(), access.end());
  out.insert(out.end(), access.begin(), access.end());
  return out;
}

TEST(IndexFixtureTest, RecomputedKeysEqualStoredEntries) {
  if (!fs::exists(fs::path(MDB_SHARED_DIR) / "fixtures")) GTEST_SKIP() << "no ../shared/fixtures";
  Tally total;
  for (const fs::path& p : Fixtures()) {
    std::string diff;
    Tally t;
    try {
      t = CheckFile(p, &diff);
    } catch (const Error& e) {
      ADD_FAILURE() << p.filename() << ": " << e.what();
      continue;
    }
    std::cout << p.filename().string() << ": " << t.compared << "/" << t.indexes
              << " indexes compared (" << t.approximate << " approximate), " << t.matched << "/"
              << t.entries << " entries match\n";
    EXPECT_TRUE(diff.empty()) << p.filename() << ": first difference at " << diff;
    total.indexes += t.indexes;
    total.compared += t.compared;
    total.approximate += t.approximate;
    total.entries += t.entries;
    total.matched += t.matched;
  }
  std::cout << "total: " << total.compared << "/" << total.indexes << " indexes, " << total.matched
            << "/" << total.entries << " entries match\n";
  EXPECT_EQ(total.matched, total.entries);
  EXPECT_GT(total.entries, 230000);
}

}  // namespace
}  // namespace jet
