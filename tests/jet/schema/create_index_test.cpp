// CreateIndex on tables that hold rows: validation first, bulk build, then normal maintenance.

#include <gtest/gtest.h>

#include "jet/check.h"
#include "jet/database.h"
#include "support/write_test_util.h"

namespace jet {
namespace {

using testutil::HashFile;

std::string Problems(const CheckReport& r) {
  std::string s;
  for (const auto& p : r.problems) s += p + "\n";
  return s;
}

class CreateIndexTest : public testing::Test {
 protected:
  void SetUp() override {
    if (testutil::FixturePath("game-unindexed.mdb").empty()) GTEST_SKIP() << "no ../shared";
    path_ = testutil::CopyFixture(dir_, "game-unindexed.mdb");
    db_ = Database::Open(path_, OpenMode::kReadWrite);
  }
  Error::Kind Refused(const std::u16string& table, const IndexSpec& spec) {
    const uint64_t before = HashFile(path_);
    try {
      db_->CreateIndex(table, spec);
    } catch (const Error& e) {
      EXPECT_EQ(HashFile(path_), before) << "refused index changed the file";
      return e.kind();
    }
    ADD_FAILURE() << "index accepted";
    return Error::Kind::kIo;
  }
  testutil::TempDir dir_;
  std::string path_;
  std::unique_ptr<Database> db_;
};

TEST_F(CreateIndexTest, RefusesDuplicatesNullsAndBadSpecs) {
  // Exact and case-only duplicate names, NULL names, duplicate Idx values.
  EXPECT_EQ(Refused(u"Monster", {u"PrimaryKey", {{u"Name", true}}, true, false, false}),
            Error::Kind::kConstraint);
  EXPECT_EQ(Refused(u"Magic", {u"ByName", {{u"MagName", true}}, false, true, false}),
            Error::Kind::kConstraint);
  EXPECT_EQ(Refused(u"StdItems", {u"PrimaryKey", {{u"Idx", true}}, true, false, false}),
            Error::Kind::kConstraint);
  EXPECT_EQ(Refused(u"StdItems", {u"ByNote", {{u"Note", true}}, false, false, false}),
            Error::Kind::kInvalidArgument);
  EXPECT_EQ(Refused(u"StdItems", {u"X", {{u"Nope", true}}, false, false, false}),
            Error::Kind::kNotFound);
  EXPECT_EQ(Refused(u"Settings", {u"primarykey", {{u"Value", true}}, false, false, false}),
            Error::Kind::kInvalidArgument);  // the name exists (case-insensitively)
}

TEST_F(CreateIndexTest, BuildsFromRowsAndIsMaintainedAfterwards) {
  const int indexes_before = CheckFile(path_).indexes;
  db_->CreateIndex(u"Monster", {u"Zone", {{u"Zone", true}, {u"Lvl", false}}, false, false, false});
  db_->CreateIndex(u"StdItems", {u"ByPrice", {{u"Price", true}}, false, false, true});
  TableDef monster = db_->GetTable(u"Monster");
  ASSERT_EQ(monster.indexes.size(), 1u);
  EXPECT_EQ(monster.indexes[0].name, u"Zone");
  EXPECT_FALSE(monster.indexes[0].columns[1].ascending);
  CheckReport r = CheckFile(path_);
  EXPECT_TRUE(r.ok()) << Problems(r);
  // Rows written afterwards go into the new index.
  std::vector<Value> row(monster.columns.size());
  row[0] = Value(u"NewMonster");
  row[7] = Value(u"东海");
  RowId id = db_->InsertRow(u"Monster", row);
  db_->UpdateRow(u"Monster", id, {Value(u"NewMonster"), Value(), Value(int16_t{3}), Value(), Value(),
                                  Value(), Value(), Value(u"Zone9")});
  r = CheckFile(path_);
  EXPECT_TRUE(r.ok()) << Problems(r);
  // mdbtools sees the index in the schema.
  std::string schema = testutil::RunCommand("mdb-schema '" + path_ + "' 2>/dev/null");
  EXPECT_NE(schema.find("Zone"), std::string::npos);
  // A second index on a table makes its own tree.
  db_->CreateIndex(u"Monster", {u"ByExp", {{u"Exp", false}}, false, false, false});
  db_->DeleteRow(u"Monster", id);
  r = CheckFile(path_);
  EXPECT_TRUE(r.ok()) << Problems(r);
  EXPECT_EQ(r.indexes, indexes_before + 3);  // Zone, ByPrice, ByExp
}

}  // namespace
}  // namespace jet
