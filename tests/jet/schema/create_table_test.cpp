// Database::CreateTable on databases the engine created: every column type, the Access column
// layout, keys and indexes, NOT NULL, refused specs, long definitions, and the results checked by
// the engine's checker and by mdbtools.

#include <gtest/gtest.h>

#include <algorithm>

#include "jet/check.h"
#include "jet/database.h"
#include "support/write_test_util.h"

namespace jet {
namespace {

using testutil::TempDir;

class CreateTableTest : public testing::Test {
 protected:
  void SetUp() override {
    file_ = dir_.File("t.mdb");
    db_ = Database::Create(file_);
  }

  void ExpectConsistent() {
    const CheckReport report = CheckFile(file_);
    EXPECT_TRUE(report.ok()) << report.problems.front();
    if (testutil::MdbtoolsComparisonAvailable()) {
      EXPECT_EQ(testutil::CompareWithMdbtools(dir_, file_), "AGREE");
    }
  }

  // Runs `fn`, which must throw `kind`, and checks the file did not change.
  template <typename Fn>
  void ExpectRefused(Fn&& fn, Error::Kind kind, const std::string& what) {
    const uint64_t before = testutil::HashFile(file_);
    try {
      fn();
      ADD_FAILURE() << what << ": accepted";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), kind) << what << ": " << e.what();
    }
    EXPECT_EQ(testutil::HashFile(file_), before) << what << ": the file changed";
  }

  TempDir dir_;
  std::string file_;
  std::unique_ptr<Database> db_;
};

// The table's catalog row: Id = its TDEF page, below the Tables container, a plain table.
void ExpectCatalogRow(const Database& db, const TableDef& t) {
  bool found = false;
  for (const CatalogObject& obj : db.Objects()) {
    if (obj.name != t.name) continue;
    found = true;
    EXPECT_EQ(static_cast<uint32_t>(obj.id), t.tdef_page);
    EXPECT_EQ(obj.parent_id, 0x0F000001);
    EXPECT_EQ(obj.type, 1);
    EXPECT_EQ(obj.flags, 0u);
    EXPECT_EQ(obj.kind, ObjectKind::kTable);
  }
  EXPECT_TRUE(found);
}

constexpr const char* kAllTypes =
    "CREATE TABLE AllTypes (ID COUNTER PRIMARY KEY, Name TEXT(50) NOT NULL, Small BYTE, "
    "Short SHORT, Whole LONG NOT NULL, Ratio SINGLE, Score DOUBLE, Price CURRENCY, "
    "Amount DECIMAL(18,4), Seen DATETIME, Flag BIT, Tag GUID, Raw BINARY(16), Body MEMO, "
    "Blob LONGBINARY)";

TEST_F(CreateTableTest, EveryColumnTypeIsLaidOutAsAccessDoes) {
  db_->Execute(kAllTypes);
  const TableDef t = db_->GetTable(u"alltypes");
  EXPECT_EQ(t.name, u"AllTypes");
  ASSERT_EQ(t.columns.size(), 15u);
  struct Expected {
    ColumnType type;
    bool fixed;
    uint16_t length;
    uint16_t offset_or_slot;  // fixed offset, or variable slot
  };
  const Expected expected[] = {
      {ColumnType::kLong, true, 4, 0},      {ColumnType::kText, false, 100, 0},
      {ColumnType::kByte, true, 1, 4},      {ColumnType::kInt, true, 2, 5},
      {ColumnType::kLong, true, 4, 7},      {ColumnType::kFloat, true, 4, 11},
      {ColumnType::kDouble, true, 8, 15},   {ColumnType::kMoney, true, 8, 23},
      {ColumnType::kNumeric, true, 17, 31}, {ColumnType::kDateTime, true, 8, 48},
      {ColumnType::kBoolean, true, 1, 0},   {ColumnType::kGuid, true, 16, 56},
      {ColumnType::kBinary, false, 16, 1},  {ColumnType::kMemo, false, 0, 2},
      {ColumnType::kOle, false, 0, 3},
  };
  for (size_t i = 0; i < t.columns.size(); ++i) {
    const Column& c = t.columns[i];
    SCOPED_TRACE(ToUtf8(c.name));
    EXPECT_EQ(c.number, i);
    EXPECT_EQ(c.type, expected[i].type);
    EXPECT_EQ(c.fixed(), expected[i].fixed);
    EXPECT_EQ(c.length, expected[i].length);
    EXPECT_EQ(c.fixed() ? c.fixed_offset : c.var_index, expected[i].offset_or_slot);
    if (c.type != ColumnType::kNumeric) {
      EXPECT_EQ(c.sort_order, 0x0409);
    }
  }
  EXPECT_TRUE(t.columns[0].autonumber());
  EXPECT_TRUE(t.columns[1].compressed_unicode());
  EXPECT_TRUE(t.columns[1].required);
  EXPECT_TRUE(t.columns[4].required);
  EXPECT_FALSE(t.columns[2].required);
  EXPECT_EQ(t.columns[8].precision, 18);
  EXPECT_EQ(t.columns[8].scale, 4);
  ASSERT_EQ(t.indexes.size(), 1u);
  EXPECT_EQ(t.indexes[0].name, u"PrimaryKey");
  EXPECT_TRUE(t.indexes[0].primary);
  EXPECT_TRUE(t.indexes[0].unique);
  EXPECT_TRUE(t.indexes[0].required);
  ASSERT_EQ(t.indexes[0].columns.size(), 1u);
  EXPECT_EQ(t.indexes[0].columns[0].column_number, 0);
  EXPECT_EQ(t.row_count, 0u);

  ExpectCatalogRow(*db_, t);
  ASSERT_EQ(db_->ListTables().size(), 1u);
  ExpectConsistent();
}

TEST_F(CreateTableTest, RowsOfEveryTypeReadBack) {
  db_->Execute(kAllTypes);
  db_->Execute(
      "INSERT INTO AllTypes (Name, Small, Short, Whole, Ratio, Score, Price, Amount, Seen, Flag, "
      "Body) VALUES ('Zhang 张三', 200, -123, 2000000000, 1.5, -2.25, 12.3456, -98765.4321, "
      "#1999-12-31 23:59:58#, TRUE, 'a memo')");
  const TableDef t = db_->GetTable(u"AllTypes");
  Guid g;
  for (size_t i = 0; i < 16; ++i) g.bytes[i] = static_cast<uint8_t>(i * 17);
  const std::u16string long_memo(6000, u'龍');
  const Bytes blob(9000, 0x5A);
  std::vector<Value> row = {Value(),
                            std::u16string(u"second"),
                            uint8_t{0},
                            int16_t{32767},
                            int32_t{-5},
                            0.25f,
                            1e300,
                            Currency{-10000},
                            Decimal{false, 123456789, 4},
                            DateTime{-1.25},
                            false,
                            g,
                            Bytes{1, 2, 3},
                            long_memo,
                            blob};
  const RowId id = db_->InsertRow(u"AllTypes", row);
  std::vector<Value> back = db_->ReadRow(t, id);
  row[0] = int32_t{2};  // the counter went on from the first row
  EXPECT_EQ(back, row);

  const ResultSet first = db_->Query("SELECT * FROM AllTypes WHERE ID = 1");
  ASSERT_EQ(first.rows.size(), 1u);
  const std::vector<Value>& v = first.rows[0];
  EXPECT_EQ(v[1], Value(std::u16string(u"Zhang 张三")));
  EXPECT_EQ(v[2], Value(uint8_t{200}));
  EXPECT_EQ(v[4], Value(int32_t{2000000000}));
  EXPECT_EQ(v[7], Value(Currency{123456}));
  EXPECT_EQ(v[8], Value(Decimal{true, 987654321, 4}));
  EXPECT_EQ(v[10], Value(true));
  EXPECT_TRUE(v[11].is_null());
  EXPECT_EQ(v[13], Value(std::u16string(u"a memo")));
  EXPECT_EQ(db_->GetTable(u"AllTypes").row_count, 2u);
  db_.reset();
  auto reopened = Database::Open(file_);
  EXPECT_EQ(reopened->ReadRow(reopened->GetTable(u"AllTypes"), id), row);
  ExpectConsistent();
  if (testutil::MdbtoolsComparisonAvailable()) {
    int status = 0;
    const std::string json = testutil::RunCommand("mdb-json '" + file_ + "' AllTypes", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), 2) << json;
    EXPECT_NE(json.find("\"Name\":\"second\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"Short\":-123"), std::string::npos) << json;
  }
}

TEST_F(CreateTableTest, NotNullAndPrimaryKeyRefuseRowsWithoutChangingTheFile) {
  db_->Execute(
      "CREATE TABLE People (Code TEXT(10), Name TEXT(40) NOT NULL, Age SHORT, "
      "CONSTRAINT pk PRIMARY KEY (Code))");
  db_->Execute("INSERT INTO People (Code, Name, Age) VALUES ('a1', 'Ann', 30)");
  ExpectRefused([&] { db_->Execute("INSERT INTO People (Code, Age) VALUES ('b2', 40)"); },
                Error::Kind::kConstraint, "NULL in a NOT NULL column");
  ExpectRefused([&] { db_->Execute("INSERT INTO People (Name) VALUES ('Bob')"); },
                Error::Kind::kConstraint, "NULL primary key");
  ExpectRefused([&] { db_->Execute("INSERT INTO People (Code, Name) VALUES ('A1', 'Al')"); },
                Error::Kind::kConstraint, "duplicate primary key, other case");
  const TableDef t = db_->GetTable(u"People");
  RowId id{};
  db_->Scan(t, [&](RowId r, std::vector<Value>&) {
    id = r;
    return false;
  });
  ExpectRefused(
      [&] {
        db_->UpdateRow(u"People", id, {std::u16string(u"a1"), Value(), Value()});
      },
      Error::Kind::kConstraint, "update to NULL in a NOT NULL column");
  EXPECT_EQ(db_->GetTable(u"People").row_count, 1u);
  ExpectConsistent();
}

TEST_F(CreateTableTest, ExtraIndexesAreCreatedWithTheTable) {
  TableSpec spec;
  spec.name = u"Stock";
  spec.columns = {{u"Sku", ColumnType::kText, 20},
                  {u"Zone", ColumnType::kText, 10},
                  {u"Qty", ColumnType::kLong},
                  {u"Note", ColumnType::kMemo}};
  spec.primary_key = {u"Sku"};
  IndexSpec zone;
  zone.name = u"ZoneQty";
  zone.columns = {{u"Zone", true}, {u"Qty", false}};
  IndexSpec qty;
  qty.name = u"QtyUnique";
  qty.columns = {{u"Qty", true}};
  qty.unique = true;
  qty.ignore_nulls = true;
  spec.indexes = {zone, qty};
  db_->CreateTable(spec);
  const TableDef t = db_->GetTable(u"Stock");
  // Logical indexes are stored by name, as Access stores them; numbers follow creation.
  ASSERT_EQ(t.indexes.size(), 3u);
  EXPECT_TRUE(t.indexes[0].primary);
  EXPECT_EQ(t.indexes[0].number, 0u);
  EXPECT_EQ(t.indexes[1].name, u"QtyUnique");
  EXPECT_EQ(t.indexes[1].number, 2u);
  EXPECT_TRUE(t.indexes[1].unique);
  EXPECT_TRUE(t.indexes[1].ignore_nulls);
  EXPECT_EQ(t.indexes[2].name, u"ZoneQty");
  EXPECT_FALSE(t.indexes[2].unique);
  ASSERT_EQ(t.indexes[2].columns.size(), 2u);
  EXPECT_FALSE(t.indexes[2].columns[1].ascending);
  for (int i = 0; i < 300; ++i) {
    db_->InsertRow(u"Stock", {std::u16string(u"sku-") + FromUtf8(std::to_string(i)),
                              std::u16string(i % 2 ? u"north" : u"南"),
                              i % 7 == 0 ? Value() : Value(int32_t{i}), std::u16string(u"n")});
  }
  ExpectRefused(
      [&] {
        db_->InsertRow(u"Stock", {std::u16string(u"x"), Value(), int32_t{5}, Value()});
      },
      Error::Kind::kConstraint, "duplicate in a unique index");
  EXPECT_EQ(db_->Query("SELECT Sku FROM Stock WHERE Qty = 8").rows.size(), 1u);
  ExpectConsistent();
}

TEST_F(CreateTableTest, RefusedSpecsLeaveTheFileUnchanged) {
  db_->Execute("CREATE TABLE Existing (A LONG)");
  auto spec_with = [](std::u16string name, std::vector<ColumnSpec> columns) {
    TableSpec s;
    s.name = std::move(name);
    s.columns = std::move(columns);
    return s;
  };
  const ColumnSpec a{u"A", ColumnType::kLong};
  const auto k = Error::Kind::kInvalidArgument;
  ExpectRefused([&] { db_->CreateTable(spec_with(u"EXISTING", {a})); }, k, "same name, other case");
  ExpectRefused([&] { db_->Execute("CREATE TABLE existing (B TEXT)"); }, k, "same name via SQL");
  ExpectRefused([&] { db_->CreateTable(spec_with(u"MSysObjects", {a})); }, k, "system table name");
  ExpectRefused([&] { db_->CreateTable(spec_with(u"Empty", {})); }, k, "no columns");
  ExpectRefused(
      [&] {
        db_->CreateTable(spec_with(u"Dup", {a, {u"a", ColumnType::kText}}));
      },
      k, "duplicate column names");
  std::vector<ColumnSpec> many;
  for (int i = 0; i < 256; ++i)
    many.push_back({u"c" + FromUtf8(std::to_string(i)), ColumnType::kByte});
  ExpectRefused([&] { db_->CreateTable(spec_with(u"Wide", many)); }, k, "256 columns");
  ExpectRefused([&] { db_->CreateTable(spec_with(std::u16string(65, u'n'), {a})); }, k,
                "long name");
  ExpectRefused([&] { db_->CreateTable(spec_with(u"", {a})); }, k, "empty name");
  ExpectRefused([&] { db_->CreateTable(spec_with(u"Bad.Name", {a})); }, k, "dot in the name");
  ExpectRefused(
      [&] {
        db_->CreateTable(spec_with(u"T", {{std::u16string(65, u'c'), ColumnType::kLong}}));
      },
      k, "long column name");
  ExpectRefused(
      [&] {
        db_->CreateTable(spec_with(u"T", {{u"C", ColumnType::kText, 256}}));
      },
      k, "text of 256 characters");
  ColumnSpec counter{u"C", ColumnType::kText};
  counter.autonumber = true;
  ExpectRefused([&] { db_->CreateTable(spec_with(u"T", {counter})); }, k, "text counter");
  ColumnSpec dec{u"D", ColumnType::kNumeric};
  dec.precision = 29;
  ExpectRefused([&] { db_->CreateTable(spec_with(u"T", {dec})); }, k, "precision 29");
  TableSpec memo_key = spec_with(u"T", {{u"M", ColumnType::kMemo}});
  memo_key.primary_key = {u"M"};
  ExpectRefused([&] { db_->CreateTable(memo_key); }, k, "primary key on a memo");
  TableSpec missing_key = spec_with(u"T", {a});
  missing_key.primary_key = {u"Nope"};
  ExpectRefused([&] { db_->CreateTable(missing_key); }, k, "primary key on a missing column");
  std::vector<ColumnSpec> wide_fixed;
  for (int i = 0; i < 250; ++i)
    wide_fixed.push_back({u"g" + FromUtf8(std::to_string(i)), ColumnType::kNumeric});
  ExpectRefused([&] { db_->CreateTable(spec_with(u"T", wide_fixed)); }, k, "fixed area too big");
  EXPECT_EQ(db_->ListTables().size(), 1u);
  EXPECT_TRUE(CheckFile(file_).ok());
}

TEST_F(CreateTableTest, ReadOnlyHandlesAreRefused) {
  const std::string other = dir_.File("ro.mdb");
  Database::Create(other);
  auto ro = Database::Open(other);
  const uint64_t before = testutil::HashFile(other);
  TableSpec spec;
  spec.name = u"T";
  spec.columns = {{u"A", ColumnType::kLong}};
  try {
    ro->CreateTable(spec);
    ADD_FAILURE() << "read-only handle wrote";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), Error::Kind::kInvalidArgument) << e.what();
  }
  EXPECT_EQ(testutil::HashFile(other), before);
}

TEST_F(CreateTableTest, LongDefinitionsSpanSeveralPages) {
  TableSpec spec;
  spec.name = u"Wide";
  for (int i = 0; i < 200; ++i) {
    const std::u16string n = u"column_with_a_rather_long_name_" + FromUtf8(std::to_string(i));
    spec.columns.push_back({n, i % 3 == 0 ? ColumnType::kText : ColumnType::kLong, 20});
  }
  spec.primary_key = {spec.columns[1].name};
  for (int i = 0; i < 20; ++i) {
    IndexSpec idx;
    idx.name = u"index_number_" + FromUtf8(std::to_string(i));
    idx.columns = {{spec.columns[static_cast<size_t>(i * 3)].name, true}};
    spec.indexes.push_back(idx);
  }
  db_->CreateTable(spec);
  const TableDef t = db_->GetTable(u"Wide");
  ASSERT_EQ(t.columns.size(), 200u);
  EXPECT_EQ(t.columns[199].name, spec.columns[199].name);
  EXPECT_EQ(t.indexes.size(), 21u);
  std::vector<Value> row;
  for (int i = 0; i < 200; ++i) {
    row.push_back(i % 3 == 0 ? Value(std::u16string(u"v")) : Value(int32_t{i}));
  }
  const RowId id = db_->InsertRow(u"Wide", row);
  EXPECT_EQ(db_->ReadRow(t, id), row);
  ExpectConsistent();
}

TEST_F(CreateTableTest, ManyTablesInOneDatabase) {
  for (int i = 0; i < 40; ++i) {
    const std::string n = std::to_string(i);
    db_->Execute("CREATE TABLE T" + n + " (Id LONG PRIMARY KEY, Label TEXT(30), Body MEMO)");
    db_->Execute("CREATE INDEX Label" + n + " ON T" + n + " (Label)");
    for (int r = 0; r < 5; ++r) {
      db_->Execute("INSERT INTO T" + n + " (Id, Label, Body) VALUES (" + std::to_string(r) +
                   ", 'label " + std::to_string(r) + "', '" + std::string(r * 900, 'x') + "')");
    }
  }
  EXPECT_EQ(db_->ListTables().size(), 40u);
  EXPECT_EQ(db_->Query("SELECT Id FROM T39 WHERE Label = 'label 4'").rows.size(), 1u);
  ExpectConsistent();
}

TEST(CreateTableOnAccessFileTest, NewTableJoinsAnAccessWrittenCatalog) {
  const std::string fixture = "access/mdbreader-V2000-test.mdb";
  if (testutil::FixturePath(fixture).empty()) GTEST_SKIP() << "../shared is absent";
  TempDir dir;
  const std::string file = testutil::CopyFixture(dir, fixture);
  // Access left a stale row count on MSysACEs in this file; the checker must find nothing else.
  const std::vector<std::string> known = CheckFile(file).problems;
  auto db = Database::Open(file, OpenMode::kReadWrite);
  const size_t tables_before = db->ListTables().size();
  const uint64_t before = testutil::HashFile(file);
  EXPECT_THROW(db->Execute("CREATE TABLE table1 (X LONG)"), Error);
  EXPECT_EQ(testutil::HashFile(file), before);
  db->Execute("CREATE TABLE Added (Id COUNTER PRIMARY KEY, Label TEXT(20) NOT NULL, Body MEMO)");
  for (int i = 0; i < 50; ++i) {
    db->Execute("INSERT INTO Added (Label, Body) VALUES ('l" + std::to_string(i) + "', '" +
                std::string(static_cast<size_t>(i) * 100, 'b') + "')");
  }
  EXPECT_EQ(db->ListTables().size(), tables_before + 1);
  const TableDef added = db->GetTable(u"Added");
  EXPECT_EQ(added.row_count, 50u);
  EXPECT_EQ(added.columns[1].sort_version, db->GetTable(u"Table1").columns[0].sort_version);
  EXPECT_EQ(CheckFile(file).problems, known);
  if (testutil::MdbtoolsComparisonAvailable()) {
    EXPECT_EQ(testutil::CompareWithMdbtools(dir, file), "AGREE");
  }
}

}  // namespace
}  // namespace jet
