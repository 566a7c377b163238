// INSERT INTO on a copy of a fixture: the statement the clipboard import sends, rows built from
// named and unnamed columns, and statements refused with the file left unchanged.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/error.h"
#include "sql/executor.h"
#include "sql/parser.h"
#include "support/write_test_util.h"

namespace jet {
namespace {

class SqlInsertTest : public testing::Test {
 protected:
  void SetUp() override {
    if (testutil::FixturePath("game-indexed.mdb").empty()) GTEST_SKIP() << "../shared is absent";
    path_ = testutil::CopyFixture(dir_, "game-indexed.mdb");
    db_ = Database::Open(path_, OpenMode::kReadWrite);
  }

  ExecResult Insert(const std::string& sql) {
    const sql::Statement statement = sql::Parse(sql);
    return sql::RunInsert(*db_, std::get<sql::InsertStatement>(statement));
  }

  std::vector<std::vector<Value>> Rows(const std::string& sql) const {
    const sql::Statement statement = sql::Parse(sql);
    return sql::RunSelect(*db_, std::get<sql::SelectStatement>(statement)).rows;
  }

  testutil::TempDir dir_;
  std::string path_;
  std::unique_ptr<Database> db_;
};

TEST_F(SqlInsertTest, ImportStatementFillsNamedColumnsAndLeavesTheRestNull) {
  const ExecResult result = Insert(
      "INSERT INTO StdItems(Idx, Name, Weight, Note) VALUES( 2000, '屠龙刀', 12, 'it''s sharp')");
  EXPECT_EQ(result.affected, 1);
  EXPECT_FALSE(result.rows.has_value());
  const auto rows = Rows("SELECT * FROM StdItems WHERE Idx = 2000");
  ASSERT_EQ(rows.size(), 1u);
  const std::vector<Value>& row = rows[0];
  EXPECT_EQ(row[0], Value(int32_t{2000}));
  EXPECT_EQ(row[1], Value(std::u16string(u"屠龙刀")));
  EXPECT_TRUE(row[2].is_null());  // StdMode was not named
  EXPECT_EQ(row[4], Value(int16_t{12}));
  EXPECT_EQ(row[9], Value(std::u16string(u"it's sharp")));
  EXPECT_EQ(Rows("SELECT * FROM StdItems").size(), 148u);
}

TEST_F(SqlInsertTest, ValuesForEveryColumnInTableOrder) {
  Insert("insert into settings values ('NewKey', Null, #2024-05-01 10:30#);");
  const auto rows = Rows("SELECT * FROM Settings WHERE Name = 'newkey'");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], Value(std::u16string(u"NewKey")));
  EXPECT_TRUE(rows[0][1].is_null());
  ASSERT_TRUE(rows[0][2].is<DateTime>());
  EXPECT_DOUBLE_EQ(rows[0][2].as<DateTime>().days, 45413 + 10.5 / 24);
}

TEST_F(SqlInsertTest, RefusedStatementsNameTheProblemAndLeaveTheFileUnchanged) {
  struct Case {
    std::string sql;
    Error::Kind kind;
    std::string part;
  };
  const std::vector<Case> cases = {
      {"INSERT INTO StdItem(Idx) VALUES(3000)", Error::Kind::kNotFound, "'StdItem'"},
      {"INSERT INTO StdItems(Idx, Nmae) VALUES(3000, 'x')", Error::Kind::kNotFound,
       "unknown field name: 'Nmae'"},
      {"INSERT INTO StdItems(Idx, idx) VALUES(3000, 3001)", Error::Kind::kInvalidArgument,
       "Duplicate output destination 'idx'"},
      {"INSERT INTO StdItems(Idx, Name) VALUES(3000)", Error::Kind::kInvalidArgument,
       "1 values for 2 fields"},
      {"INSERT INTO Settings VALUES('a', 'b')", Error::Kind::kInvalidArgument,
       "2 values for 3 fields"},
      {"INSERT INTO MSysObjects(Name) VALUES('x')", Error::Kind::kNotSupported, "system table"},
  };
  const uint64_t before = testutil::HashFile(path_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    try {
      Insert(c.sql);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), c.kind) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.part), std::string::npos) << e.what();
    }
  }
  // A duplicate primary key is refused by the write path.
  EXPECT_THROW(Insert("INSERT INTO StdItems(Idx, Name) VALUES(1, 'again')"), Error);
  db_.reset();
  EXPECT_EQ(testutil::HashFile(path_), before);
}

}  // namespace
}  // namespace jet
