// The index bytes the write path puts on disk, against those stored in unicode-index.mdb: every row
// of CharSamples is deleted and inserted again through Database::InsertRow, so each of its four
// indexes is rebuilt entry by entry by the B-tree insert code; then, row by row (matched by ID),
// the written key must equal the key stored in the fixture wherever the row's key is exact.
// Rows with a character whose code is not established are counted, not compared.
// The same for every table of the Access 97 file testIndexCodesV1997.mdb (General 97 keys, text
// ascending and descending, multi-column), where rows are matched by their order.

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <set>

#include "db/database_impl.h"
#include "index/index_key.h"
#include "index/index_page.h"
#include "index/index_writer.h"
#include "jet/check.h"
#include "jet/database.h"
#include "support/write_test_util.h"

namespace jet {
namespace {

struct Snapshot {
  std::map<int32_t, std::vector<Value>> rows;          // by ID
  std::vector<std::map<int32_t, Bytes>> keys;          // per real index: ID -> stored key
  std::vector<std::map<int32_t, bool>> exact;          // per real index: ID -> key is exact
};

// The rows of CharSamples and, for each real index, the key stored for each row.
Snapshot Take(Database& db) {
  Snapshot s;
  std::shared_ptr<const TableInfo> t = DatabaseInternals::Of(db).TableByName(u"CharSamples");
  std::map<std::pair<uint32_t, uint8_t>, int32_t> id_of;
  db.Scan(t->def, [&](RowId id, std::vector<Value>& row) {
    const int32_t key = row[0].as<int32_t>();
    id_of[{id.page, id.row}] = key;
    s.rows[key] = row;
    return true;
  });
  FilePageSource src(DatabaseInternals::Of(db).file());
  for (size_t r = 0; r < t->real_indexes.size(); ++r) {
    std::map<int32_t, Bytes>& keys = s.keys.emplace_back();
    std::map<int32_t, bool>& exact = s.exact.emplace_back();
    for (IndexEntry& e : ReadIndexEntries(src, DatabaseInternals::Of(db).file().info(), t->real_indexes[r].root_page)) {
      const int32_t id = id_of.at({e.page, e.row});
      keys[id] = std::move(e.key);
      exact[id] = RealIndexKey(*t, r, s.rows[id], nullptr).exact;
    }
  }
  return s;
}

TEST(IndexWriteFixtureTest, ReinsertedRowsGetTheStoredIndexBytes) {
  if (testutil::FixturePath("unicode-index.mdb").empty()) GTEST_SKIP() << "no ../shared";
  testutil::TempDir dir;
  const std::string path = testutil::CopyFixture(dir, "unicode-index.mdb");
  auto db = Database::Open(path, OpenMode::kReadWrite);
  const Snapshot before = Take(*db);
  ASSERT_EQ(before.rows.size(), 3688u);
  ASSERT_EQ(before.keys.size(), 4u);
  // Empty the table, then insert every row again in ID order.
  const TableDef def = db->GetTable(u"CharSamples");
  std::vector<RowId> ids;
  db->Scan(def, [&](RowId id, std::vector<Value>&) { return ids.push_back(id), true; });
  for (RowId id : ids) db->DeleteRow(u"CharSamples", id);
  ASSERT_EQ(db->GetTable(u"CharSamples").row_count, 0u);
  for (const auto& [id, row] : before.rows) db->InsertRow(u"CharSamples", row);
  const Snapshot after = Take(*db);
  for (size_t r = 0; r < before.keys.size(); ++r) {
    long compared = 0, approximate = 0, differ = 0;
    for (const auto& [id, stored] : before.keys[r]) {
      if (!before.exact[r].at(id)) {
        ++approximate;
        std::cout << "  approximate: ID " << id << " Sample";
        for (char16_t c : before.rows.at(id)[1].as<std::u16string>()) {
          std::cout << " U+" << std::hex << static_cast<unsigned>(c) << std::dec;
        }
        std::cout << "\n";
        continue;
      }
      ++compared;
      auto it = after.keys[r].find(id);
      if (it == after.keys[r].end() || it->second != stored) {
        if (++differ <= 5) ADD_FAILURE() << "index " << r << ", ID " << id << ": written key differs";
      }
    }
    std::cout << "index " << r << ": " << compared << " written keys equal the stored ones, "
              << approximate << " approximate rows not compared\n";
    EXPECT_EQ(differ, 0) << "index " << r;
    EXPECT_EQ(after.keys[r].size(), before.keys[r].size()) << "index " << r;
    EXPECT_GT(compared, 3600) << "index " << r;
  }
}

// Per real index, the stored key of each row in scan order, and whether our key for it is exact.
struct OrderedKeys {
  std::vector<std::vector<Value>> rows;
  std::vector<std::vector<std::optional<Bytes>>> keys;  // [index][row]; nullopt = no entry
  std::vector<std::vector<bool>> exact;
};

OrderedKeys TakeInOrder(Database& db, const std::u16string& table) {
  OrderedKeys s;
  std::shared_ptr<const TableInfo> t = DatabaseInternals::Of(db).TableByName(table);
  std::map<std::pair<uint32_t, uint8_t>, size_t> position;
  db.Scan(t->def, [&](RowId id, std::vector<Value>& row) {
    position[{id.page, id.row}] = s.rows.size();
    s.rows.push_back(row);
    return true;
  });
  FilePageSource src(DatabaseInternals::Of(db).file());
  for (size_t r = 0; r < t->real_indexes.size(); ++r) {
    auto& keys = s.keys.emplace_back(s.rows.size());
    auto& exact = s.exact.emplace_back(s.rows.size());
    for (IndexEntry& e :
         ReadIndexEntries(src, DatabaseInternals::Of(db).file().info(), t->real_indexes[r].root_page)) {
      keys.at(position.at({e.page, e.row})) = std::move(e.key);
    }
    for (size_t i = 0; i < s.rows.size(); ++i) {
      exact[i] = RealIndexKey(*t, r, s.rows[i], nullptr, Format::kJet3).exact;
    }
  }
  return s;
}

TEST(IndexWriteFixtureTest, Jet3ReinsertedRowsGetTheStoredIndexBytes) {
  const std::string fixture = "access/jackcess-V1997-testIndexCodesV1997.mdb";
  if (testutil::FixturePath(fixture).empty()) GTEST_SKIP() << "no ../shared";
  testutil::TempDir dir;
  const std::string path = testutil::CopyFixture(dir, fixture);
  auto db = Database::Open(path, OpenMode::kReadWrite);
  long compared = 0, approximate = 0, differ = 0, unstorable = 0;
  std::set<char16_t> approximate_chars;
  for (const TableListEntry& entry : db->ListTables()) {
    if (entry.type != "TABLE") continue;
    const std::u16string& table = entry.name;
    SCOPED_TRACE(ToUtf8(table));
    const OrderedKeys before = TakeInOrder(*db, table);
    const TableDef def = db->GetTable(table);
    std::vector<RowId> ids;
    db->Scan(def, [&](RowId id, std::vector<Value>&) { return ids.push_back(id), true; });
    for (RowId id : ids) db->DeleteRow(table, id);
    size_t refused = 0;
    for (const std::vector<Value>& row : before.rows) {
      try {
        db->InsertRow(table, row);
      } catch (const Error& e) {
        // Bytes the code page leaves undefined read as U+FFFD, which cannot be written back.
        ASSERT_EQ(e.kind(), Error::Kind::kConstraint) << e.what();
        ASSERT_NE(std::string(e.what()).find("U+FFFD"), std::string::npos) << e.what();
        ++refused;
      }
    }
    unstorable += static_cast<long>(refused);
    const OrderedKeys after = TakeInOrder(*db, table);
    ASSERT_EQ(after.rows.size(), before.rows.size() - refused);
    // Rows come back in another order: match each new row to an old one with equal values (equal
    // rows have equal keys).
    std::vector<size_t> old_of(after.rows.size());
    for (size_t j = 0; j < after.rows.size(); ++j) {
      auto it = std::find(before.rows.begin(), before.rows.end(), after.rows[j]);
      ASSERT_NE(it, before.rows.end()) << "row " << j << " changed";
      old_of[j] = static_cast<size_t>(it - before.rows.begin());
    }
    for (size_t r = 0; r < before.keys.size(); ++r) {
      for (size_t j = 0; j < after.rows.size(); ++j) {
        const size_t i = old_of[j];
        if (!before.exact[r][i]) {
          ++approximate;
          for (const Value& v : before.rows[i]) {
            if (!v.is<std::u16string>()) continue;
            const std::optional<char16_t> c =
                FirstUnestablishedChar(Format::kJet3, v.as<std::u16string>());
            if (c) approximate_chars.insert(*c);
          }
          continue;
        }
        ++compared;
        if (after.keys[r][j] != before.keys[r][i] && ++differ <= 5) {
          ADD_FAILURE() << "index " << r << ", row " << i << ": written key differs";
        }
      }
    }
  }
  std::cout << compared << " Jet3 keys written equal the stored ones; " << approximate
            << " approximate; " << unstorable << " rows not storable; characters left approximate:";
  for (char16_t c : approximate_chars) std::cout << " U+" << std::hex << unsigned{c} << std::dec;
  std::cout << "\n";
  EXPECT_EQ(differ, 0);
  EXPECT_GT(compared, 2000);
}

}  // namespace
}  // namespace jet

namespace jet {
namespace {

// CREATE INDEX over one row per BMP code unit stores, entry for entry, the Sample index the
// fixture holds, and the checker finds nothing approximate in the file.
TEST(IndexWriteFixtureTest, CreateIndexOverEveryBmpCharacterMatchesTheStoredIndex) {
  if (testutil::FixturePath("unicode-bmp.mdb").empty()) GTEST_SKIP() << "no ../shared";
  testutil::TempDir dir;
  const std::string path = testutil::CopyFixture(dir, "unicode-bmp.mdb");
  {
    auto db = Database::Open(path, OpenMode::kReadWrite);
    db->Execute("CREATE INDEX Again ON CharSamples (Sample)");
    std::shared_ptr<const TableInfo> t = DatabaseInternals::Of(*db).TableByName(u"CharSamples");
    const TableDef def = db->GetTable(u"CharSamples");
    auto entries = [&](const char16_t* name) {
      const auto index = std::find_if(def.indexes.begin(), def.indexes.end(),
                                      [&](const Index& i) { return i.name == name; });
      EXPECT_NE(index, def.indexes.end());
      FilePageSource src(DatabaseInternals::Of(*db).file());
      return ReadIndexEntries(src, DatabaseInternals::Of(*db).file().info(),
                              t->real_indexes[index->real_index].root_page);
    };
    const std::vector<IndexEntry> stored = entries(u"Sample");
    const std::vector<IndexEntry> written = entries(u"Again");
    ASSERT_EQ(stored.size(), 63486u);
    ASSERT_EQ(written.size(), stored.size());
    size_t differ = 0;
    for (size_t i = 0; i < stored.size(); ++i) {
      if (!(written[i] == stored[i]) && ++differ <= 5) ADD_FAILURE() << "entry " << i << " differs";
    }
    EXPECT_EQ(differ, 0u);
  }
  const CheckReport report = CheckFile(path);
  EXPECT_TRUE(report.ok());
  EXPECT_TRUE(report.approximate_indexes.empty())
      << (report.approximate_indexes.empty() ? "" : report.approximate_indexes.front());
}

}  // namespace
}  // namespace jet
