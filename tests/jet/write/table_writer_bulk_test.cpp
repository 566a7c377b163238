// Many writes on one indexed table: thousands of inserts (several index page splits), then
// updates that change the primary key and deletes, with the checker at the end.

#include <gtest/gtest.h>

#include "jet/check.h"
#include "jet/database.h"
#include "support/write_test_util.h"

namespace jet {
namespace {

std::vector<Value> Item(int32_t idx) {
  std::u16string name = u"Item";
  for (char c : std::to_string(idx)) name.push_back(static_cast<char16_t>(c));
  return {Value(idx), Value(name), Value(uint8_t{1}), Value(int16_t{1}), Value(int16_t{2}),
          Value(int16_t{3}), Value(int16_t{4}), Value(int32_t{5}), Value(int16_t{5}), Value()};
}

TEST(WriteBulkTest, InsertsUpdatesDeletesKeepIndexesSound) {
  if (testutil::FixturePath("game-indexed.mdb").empty()) GTEST_SKIP() << "no ../shared";
  testutil::TempDir dir;
  const std::string path = testutil::CopyFixture(dir, "game-indexed.mdb");
  auto db = Database::Open(path, OpenMode::kReadWrite);
  db->CreateIndex(u"StdItems", {u"ByName", {{u"Name", true}}, false, false, false});
  std::vector<RowId> ids;
  for (int i = 0; i < 3000; ++i) ids.push_back(db->InsertRow(u"StdItems", Item(20000000 + i)));
  for (int i = 0; i < 300; ++i) {
    ASSERT_NO_THROW(db->UpdateRow(u"StdItems", ids[static_cast<size_t>(i) * 7], Item(50000000 + i)))
        << "update " << i;
  }
  for (int i = 0; i < 300; ++i) db->DeleteRow(u"StdItems", ids[static_cast<size_t>(i) * 10 + 3]);
  CheckReport r = CheckFile(path);
  EXPECT_TRUE(r.ok()) << (r.problems.empty() ? "" : r.problems.front());
  EXPECT_EQ(db->GetTable(u"StdItems").row_count, 147u + 3000 - 300);
}

}  // namespace
}  // namespace jet
