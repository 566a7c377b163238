// Row writes on copies of fixtures: insert, update, delete, read back, rejected writes.

#include <gtest/gtest.h>

#include "jet/database.h"
#include "support/write_test_util.h"

namespace jet {
namespace {

using testutil::CopyFixture;
using testutil::FixturePath;
using testutil::HashFile;
using testutil::TempDir;

class WriteRowsTest : public testing::Test {
 protected:
  void SetUp() override {
    if (FixturePath("game-unindexed.mdb").empty()) GTEST_SKIP() << "../shared/fixtures is absent";
    path_ = CopyFixture(dir_, "game-unindexed.mdb");
    db_ = Database::Open(path_, OpenMode::kReadWrite);
  }
  std::vector<std::vector<Value>> Rows(const std::u16string& table) {
    std::vector<std::vector<Value>> rows;
    db_->Scan(db_->GetTable(table), [&](RowId, std::vector<Value>& v) {
      rows.push_back(v);
      return true;
    });
    return rows;
  }
  TempDir dir_;
  std::string path_;
  std::unique_ptr<Database> db_;
};

TEST_F(WriteRowsTest, InsertReadsBackAndCountsRise) {
  TableDef magic = db_->GetTable(u"Magic");
  const uint32_t before = magic.row_count;
  std::vector<Value> row = {Value(int16_t{900}), Value(std::u16string(u"新魔法")), Value(uint8_t{3}),
                            Value(int16_t{10}),  Value(int16_t{20}),
                            Value(uint8_t{1}),   Value(std::u16string(u"a description"))};
  RowId id = db_->InsertRow(u"Magic", row);
  EXPECT_EQ(db_->ReadRow(magic, id), row);
  EXPECT_EQ(db_->GetTable(u"Magic").row_count, before + 1);
  auto rows = Rows(u"Magic");
  EXPECT_EQ(rows.size(), before + 1);
  EXPECT_EQ(rows.back(), row);
}

}  // namespace
}  // namespace jet
