// The index bytes the write path puts on disk, against those stored in unicode-index.mdb: every row
// of CharSamples is deleted and inserted again through Database::InsertRow, so each of its four
// indexes is rebuilt entry by entry by the B-tree insert code; then, row by row (matched by ID),
// the written key must equal the key stored in the fixture wherever the row's key is exact.
// Rows with a character whose code is not established are counted, not compared.

#include <gtest/gtest.h>

#include <iostream>
#include <map>

#include "db/database_impl.h"
#include "index/index_key.h"
#include "index/index_page.h"
#include "index/index_writer.h"
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
  std::shared_ptr<const TableInfo> t = db.impl().TableByName(u"CharSamples");
  std::map<std::pair<uint32_t, uint8_t>, int32_t> id_of;
  db.Scan(t->def, [&](RowId id, std::vector<Value>& row) {
    const int32_t key = row[0].as<int32_t>();
    id_of[{id.page, id.row}] = key;
    s.rows[key] = row;
    return true;
  });
  FilePageSource src(db.impl().file());
  for (size_t r = 0; r < t->real_indexes.size(); ++r) {
    std::map<int32_t, Bytes>& keys = s.keys.emplace_back();
    std::map<int32_t, bool>& exact = s.exact.emplace_back();
    for (IndexEntry& e : ReadIndexEntries(src, db.impl().file().info(), t->real_indexes[r].root_page)) {
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

}  // namespace
}  // namespace jet
