// SELECT on the shared fixtures: criteria as Access applies them (text without case, literals
// converted to the column type, NULL never equal), ORDER BY with NULLs and ties, and the errors
// for unknown tables, columns and saved queries. Needs ../shared/fixtures.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/error.h"
#include "sql/convert.h"
#include "sql/executor.h"
#include "sql/parser.h"
#include "support/fixtures.h"

namespace jet {

// Readable values in failure messages (internal linkage: other test files may print differently).
[[maybe_unused]] static void PrintTo(const Value& value, std::ostream* os) {
  if (value.is_null()) {
    *os << "Null";
  } else if (value.is<std::u16string>()) {
    *os << "'" << ToUtf8(value.as<std::u16string>()) << "'";
  } else if (value.is<int32_t>()) {
    *os << value.as<int32_t>();
  } else if (value.is<int16_t>()) {
    *os << value.as<int16_t>() << "s";
  } else if (value.is<Currency>()) {
    *os << value.as<Currency>().units << "/10000";
  } else {
    *os << "(value of type #" << value.storage().index() << ")";
  }
}

namespace {

std::string FixturePath(const std::string& name) {
  return std::string(MDB_SHARED_DIR) + "/fixtures/" + name;
}

class SqlSelectTest : public testing::Test {
 protected:
  // Every case reads a shared fixture; a skip inside a helper would not stop the test body.
  void SetUp() override { MDB_REQUIRE_FIXTURES(); }

  void Open(const std::string& name) { db_ = Database::Open(FixturePath(name)); }

  ResultSet Select(const std::string& sql) const {
    const sql::Statement statement = sql::Parse(sql);
    return sql::RunSelect(*db_, std::get<sql::SelectStatement>(statement));
  }

  // The values of column `name` in `result`, in row order.
  static std::vector<Value> ColumnOf(const ResultSet& result, std::u16string_view name) {
    size_t index = result.columns.size();
    for (size_t i = 0; i < result.columns.size(); ++i) {
      if (result.columns[i].name == name) index = i;
    }
    EXPECT_LT(index, result.columns.size()) << "no column in result";
    std::vector<Value> values;
    for (const auto& row : result.rows) values.push_back(index < row.size() ? row[index] : Value());
    return values;
  }

  void ExpectError(const std::string& sql, Error::Kind kind,
                   const std::vector<std::string>& parts) {
    SCOPED_TRACE(sql);
    try {
      Select(sql);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), kind) << e.what();
      for (const std::string& part : parts) {
        EXPECT_NE(std::string(e.what()).find(part), std::string::npos)
            << "message: " << e.what() << "\nmissing: " << part;
      }
    }
  }

  std::unique_ptr<Database> db_;
};

std::vector<Value> Texts(std::initializer_list<const char16_t*> texts) {
  std::vector<Value> values;
  for (const char16_t* t : texts) values.emplace_back(std::u16string(t));
  return values;
}

std::vector<Value> Longs(std::initializer_list<int32_t> numbers) {
  std::vector<Value> values;
  for (int32_t n : numbers) values.emplace_back(n);
  return values;
}

TEST_F(SqlSelectTest, WholeTableInScanOrderWithRowIds) {
  Open("game-indexed.mdb");
  const ResultSet all = Select("SELECT * FROM stditems\r\n");
  const TableDef table = db_->GetTable(u"StdItems");
  EXPECT_EQ(all.table, u"StdItems");
  ASSERT_EQ(all.columns.size(), table.columns.size());
  for (size_t i = 0; i < table.columns.size(); ++i) {
    EXPECT_EQ(all.columns[i].name, table.columns[i].name);
  }
  std::vector<std::vector<Value>> scanned;
  std::vector<RowId> ids;
  db_->Scan(table, [&](RowId id, std::vector<Value>& values) {
    ids.push_back(id);
    scanned.push_back(values);
    return true;
  });
  EXPECT_EQ(all.rows.size(), 147u);
  EXPECT_EQ(all.rows, scanned);
  ASSERT_EQ(all.row_ids.size(), ids.size());
  for (size_t i = 0; i < ids.size(); ++i) EXPECT_TRUE(all.row_ids[i] == ids[i]) << i;
}

TEST_F(SqlSelectTest, TextCriteriaIgnoreCaseOnly) {
  Open("game-indexed.mdb");
  const std::vector<std::pair<std::string, std::vector<Value>>> cases = {
      {"SELECT * FROM Monster WHERE Name='wolf'", Texts({u"Wolf"})},
      {"SELECT * FROM Monster WHERE Name='WOLF_2'", Texts({u"wolf_2"})},
      {"SELECT * FROM Monster WHERE Name='wolf '", {}},
      {"SELECT * FROM Monster WHERE Name='Wolf1'", {}},
      {"SELECT * FROM Monster WHERE Name='鸡'", Texts({u"鸡"})},
      {"select * from monster where name = 'hen_3';", Texts({u"Hen_3"})},
  };
  for (const auto& [sql, names] : cases) {
    EXPECT_EQ(ColumnOf(Select(sql), u"Name"), names) << sql;
  }
  EXPECT_EQ(ColumnOf(Select("SELECT * FROM Magic WHERE MagName='火球术'"), u"MagID"),
            std::vector<Value>{Value(int16_t{1})});
  EXPECT_EQ(ColumnOf(Select("SELECT * FROM Magic WHERE MagName = 'FIREBALL'"), u"MagName"),
            Texts({u"Fireball"}));
}

TEST_F(SqlSelectTest, LiteralsConvertToTheColumnType) {
  Open("game-indexed.mdb");
  const std::vector<Value> five = Texts({u"青铜剑"});
  EXPECT_EQ(ColumnOf(Select("SELECT * FROM StdItems WHERE Idx = 5"), u"Name"), five);
  EXPECT_EQ(ColumnOf(Select("SELECT * FROM StdItems WHERE Idx = '5'"), u"Name"), five);
  EXPECT_EQ(ColumnOf(Select("SELECT * FROM StdItems WHERE Idx = ' 5 '"), u"Name"), five);
  EXPECT_EQ(ColumnOf(Select("SELECT * FROM StdItems WHERE Idx = 5.00"), u"Name"), five);
  EXPECT_TRUE(Select("SELECT * FROM StdItems WHERE Idx = 5.5").rows.empty());
  EXPECT_EQ(ColumnOf(Select("SELECT * FROM StdItems WHERE Idx = -1"), u"Idx"), Longs({-1}));
  EXPECT_EQ(ColumnOf(Select("SELECT * FROM Settings WHERE Value = 500"), u"Name"),
            Texts({u"MaxPlayers"}));
  EXPECT_EQ(
      ColumnOf(Select("SELECT * FROM Settings WHERE Updated = #2024-02-29 23:59:59#"), u"Name"),
      Texts({u"Motd"}));
  EXPECT_EQ(
      ColumnOf(Select("SELECT * FROM Settings WHERE Updated = '2024-01-02 08:30:00'"), u"Name"),
      Texts({u"MaxPlayers"}));
  ExpectError("SELECT * FROM StdItems WHERE Idx = 'abc'", Error::Kind::kInvalidArgument,
              {"Data type mismatch in criteria expression.", "'abc'", "Idx"});
  ExpectError("SELECT * FROM Settings WHERE Updated = 'soon'", Error::Kind::kInvalidArgument,
              {"Data type mismatch", "Updated"});
}

TEST_F(SqlSelectTest, NullEqualsNothing) {
  Open("game-indexed.mdb");
  EXPECT_TRUE(Select("SELECT * FROM Settings WHERE Value = Null").rows.empty());
  EXPECT_EQ(ColumnOf(Select("SELECT * FROM Settings WHERE Value IS NULL"), u"Name"),
            Texts({u"NullValue"}));
  EXPECT_EQ(ColumnOf(Select("SELECT * FROM Settings WHERE Value = ''"), u"Name"),
            Texts({u"Empty"}));
  EXPECT_EQ(Select("SELECT * FROM Settings WHERE Value <> ''").rows.size(), 5u);
  EXPECT_EQ(Select("SELECT * FROM Settings WHERE Updated IS NOT NULL").rows.size(), 4u);
}

TEST_F(SqlSelectTest, OrderByNumbersBothWays) {
  Open("game-indexed.mdb");
  const std::vector<Value> up = ColumnOf(Select("SELECT * FROM StdItems Order by Idx"), u"Idx");
  ASSERT_EQ(up.size(), 147u);
  EXPECT_EQ(std::vector<Value>(up.begin(), up.begin() + 5), Longs({-1, 0, 1, 2, 4}));
  EXPECT_EQ(up.back(), Value(int32_t{1000006}));
  for (size_t i = 1; i < up.size(); ++i) EXPECT_LT(up[i - 1].as<int32_t>(), up[i].as<int32_t>());
  const std::vector<Value> down =
      ColumnOf(Select("SELECT * FROM StdItems ORDER BY Idx DESC"), u"Idx");
  EXPECT_EQ(std::vector<Value>(down.rbegin(), down.rend()), up);
}

TEST_F(SqlSelectTest, OrderByTextIgnoresCase) {
  Open("game-indexed.mdb");
  std::vector<Value> ascii;
  for (const Value& v : ColumnOf(Select("SELECT * FROM Monster ORDER BY Name"), u"Name")) {
    if (v.as<std::u16string>()[0] < 0x80) ascii.push_back(v);
  }
  EXPECT_EQ(ascii, Texts({u"Deer", u"Hen", u"Hen_2", u"Hen_3", u"Skeleton", u"Wolf", u"Wolf0",
                          u"wolf_2", u"WOLF_3", u"Zombie"}));
}

TEST_F(SqlSelectTest, OrderByPutsNullsFirstAscendingLastDescendingAndKeepsTiesInScanOrder) {
  Open("game-indexed.mdb");
  std::vector<Value> null_note_idx;  // Idx of rows without a Note, in scan order
  const ResultSet all = Select("SELECT * FROM StdItems");
  for (const auto& row : all.rows) {
    if (row[9].is_null()) null_note_idx.push_back(row[0]);
  }
  ASSERT_EQ(null_note_idx.size(), 57u);

  const ResultSet up = Select("SELECT * FROM StdItems ORDER BY Note");
  const ResultSet down = Select("SELECT * FROM StdItems ORDER BY Note DESC");
  const std::vector<Value> up_idx = ColumnOf(up, u"Idx"), down_idx = ColumnOf(down, u"Idx");
  EXPECT_EQ(std::vector<Value>(up_idx.begin(), up_idx.begin() + 57), null_note_idx);
  EXPECT_EQ(std::vector<Value>(down_idx.end() - 57, down_idx.end()), null_note_idx);
  EXPECT_FALSE(up.rows[57][9].is_null());
  EXPECT_FALSE(down.rows[147 - 58][9].is_null());
  // Row ids travel with their rows.
  for (size_t i = 0; i < up.rows.size(); ++i) {
    EXPECT_EQ(db_->ReadRow(db_->GetTable(u"StdItems"), up.row_ids[i]), up.rows[i]) << i;
  }
}

TEST_F(SqlSelectTest, OrderByEveryKindOfColumn) {
  Open("types.mdb");
  auto row_numbers = [this](const std::string& sql) { return ColumnOf(Select(sql), u"RowNo"); };
  // Dates by time, including the years before 1899-12-30 whose stored numbers run backwards.
  EXPECT_EQ(row_numbers("SELECT * FROM AllTypes ORDER BY DT"),
            Longs({2, 4, 18, 13, 14, 6, 19, 5, 1, 20, 11, 17, 12, 7, 10, 16, 15, 9, 8, 3}));
  EXPECT_EQ(row_numbers("SELECT * FROM AllTypes ORDER BY Dec DESC"),
            Longs({3, 14, 8, 9, 18, 6, 15, 20, 7, 13, 1, 12, 5, 10, 19, 17, 11, 4, 2, 16}));
  // True (-1) sorts before False (0); ties stay in scan order.
  EXPECT_EQ(row_numbers("SELECT * FROM AllTypes ORDER BY Flag"),
            Longs({1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20}));
  const ResultSet lines =
      Select("SELECT * FROM [Order Details] ORDER BY Quantity, [UnitPrice] DESC");
  std::vector<Value> prices = ColumnOf(lines, u"UnitPrice");
  prices.resize(5);
  EXPECT_EQ(prices, (std::vector<Value>{Currency{1970800}, Currency{1891600}, Currency{1010400},
                                        Currency{931200}, Currency{50000}}));
  EXPECT_EQ(ColumnOf(Select("SELECT * FROM [Customer List] ORDER BY Phone DESC"), u"Phone").back(),
            Value());
}

TEST_F(SqlSelectTest, ColumnListPicksColumns) {
  Open("types.mdb");
  const ResultSet picked = Select(
      "SELECT [Company Name], [Customer ID] FROM [Customer List] WHERE [Customer ID] = 'alfki'");
  ASSERT_EQ(picked.columns.size(), 2u);
  EXPECT_EQ(picked.columns[0].name, u"Company Name");
  ASSERT_EQ(picked.rows.size(), 1u);
  EXPECT_EQ(picked.rows[0], Texts({u"Alfreds Futterkiste", u"ALFKI"}));
}

TEST_F(SqlSelectTest, UnknownNamesAreReportedByName) {
  Open("game-indexed.mdb");
  ExpectError("SELECT * FROM Monsters", Error::Kind::kNotFound,
              {"cannot find the input table or query 'Monsters'"});
  ExpectError("SELECT * FROM [怪物]", Error::Kind::kNotFound, {"'怪物'"});
  ExpectError("SELECT * FROM Monster WHERE Nam = 'x'", Error::Kind::kNotFound,
              {"Unknown column 'Nam'", "WHERE clause", "Monster"});
  ExpectError("SELECT * FROM Monster ORDER BY Level", Error::Kind::kNotFound,
              {"Unknown column 'Level'", "ORDER BY"});
  ExpectError("SELECT Name, Lvel FROM Monster", Error::Kind::kNotFound, {"'Lvel'"});
}

TEST_F(SqlSelectTest, SavedSelectQueriesAreNamedAndRefused) {
  Open("access/jackcess-V2000-queryTestV2000.mdb");
  ExpectError("SELECT * FROM selectquery", Error::Kind::kNotSupported,
              {"cannot run this saved query yet: selectquery"});
}

TEST_F(SqlSelectTest, CriteriaOnEveryKindOfColumn) {
  Open("types.mdb");
  auto row_numbers = [this](const std::string& sql) { return ColumnOf(Select(sql), u"RowNo"); };
  EXPECT_EQ(row_numbers("SELECT * FROM AllTypes WHERE I32 = '-1'"), Longs({5}));
  EXPECT_EQ(row_numbers("SELECT * FROM AllTypes WHERE Cur = 19.99"), Longs({7}));
  EXPECT_EQ(row_numbers("SELECT * FROM AllTypes WHERE F64 = 0.1"), Longs({5}));
  EXPECT_EQ(row_numbers("SELECT * FROM AllTypes WHERE Dec = -0.0001"), Longs({5}));
  EXPECT_EQ(row_numbers("SELECT * FROM AllTypes WHERE DecInt >= 1000000"), Longs({3, 6, 11}));
  EXPECT_EQ(row_numbers("SELECT * FROM AllTypes WHERE DecInt = 9999999999999999999999999999"),
            Longs({3}));
  EXPECT_TRUE(
      Select("SELECT * FROM AllTypes WHERE DecInt = 9999999999999999999999999998").rows.empty());
  EXPECT_EQ(row_numbers("SELECT * FROM AllTypes WHERE U8 > 100"), Longs({3, 6, 8}));
  EXPECT_EQ(row_numbers("SELECT * FROM AllTypes WHERE F32 = -2.5"), Longs({8}));
  EXPECT_EQ(row_numbers("SELECT * FROM AllTypes WHERE Cur < -1"), Longs({4, 17}));
  EXPECT_EQ(row_numbers("SELECT * FROM AllTypes WHERE Flag = True").size(), 10u);
  EXPECT_EQ(row_numbers("SELECT * FROM AllTypes WHERE Flag = -1").size(), 10u);
  EXPECT_TRUE(Select("SELECT * FROM AllTypes WHERE Flag = 1").rows.empty());
  EXPECT_EQ(row_numbers("SELECT * FROM AllTypes WHERE DT < #1899-12-29 12:00#"),
            Longs({4, 5, 6, 13, 14, 18, 19}));
  EXPECT_EQ(row_numbers("SELECT * FROM AllTypes WHERE Txt = 'ZÜRICH'"), Longs({19}));
  EXPECT_EQ(row_numbers("SELECT * FROM AllTypes WHERE Txt = 'O''Brien; DROP TABLE'"), Longs({18}));
  EXPECT_EQ(
      row_numbers("SELECT * FROM AllTypes WHERE Gid = '{12345678-9abc-def0-1234-56789abcdef0}'"),
      Longs({4}));
  ExpectError("SELECT * FROM AllTypes WHERE Blob = 'x'", Error::Kind::kInvalidArgument,
              {"Data type mismatch", "Blob"});
  ExpectError("SELECT * FROM AllTypes ORDER BY Blob", Error::Kind::kInvalidArgument,
              {"Cannot sort", "Blob"});
}

TEST_F(SqlSelectTest, OrderBy200000Rows) {
  Open("big.mdb");
  const ResultSet sorted = Select("SELECT * FROM StdItems ORDER BY Name DESC");
  ASSERT_EQ(sorted.rows.size(), 200000u);
  const std::vector<Value> names = ColumnOf(sorted, u"Name");
  for (size_t i = 1; i < names.size(); ++i) {
    ASSERT_FALSE(names[i - 1].is_null());
    ASSERT_GE(sql::FoldCase(names[i - 1].as<std::u16string>()),
              sql::FoldCase(names[i].as<std::u16string>()))
        << i;
  }
}

}  // namespace
}  // namespace jet
