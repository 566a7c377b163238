// Reading real files through the public API: catalog and listing, definitions, every value type,
// Jet3 rows, overflow rows, multi-page definitions and reference usage maps.

#include <algorithm>
#include <gtest/gtest.h>

#include "db/database_impl.h"
#include "jet/database.h"
#include "support/fixtures.h"
#include "value/text.h"

namespace jet {
namespace {

std::vector<std::vector<Value>> AllRows(const Database& db, const TableDef& t,
                                        std::vector<RowId>* ids = nullptr) {
  std::vector<std::vector<Value>> rows;
  db.Scan(t, [&](RowId id, std::vector<Value>& v) {
    rows.push_back(v);
    if (ids) ids->push_back(id);
    return true;
  });
  return rows;
}

std::u16string Text(const Value& v) { return v.is_null() ? u"<null>" : v.as<std::u16string>(); }

class TypesFile : public testing::Test {
 protected:
  void SetUp() override {
    MDB_REQUIRE_FIXTURES();
    db_ = Database::Open(fixtures::Path("types.mdb"));
    table_ = db_->GetTable(u"alltypes");
    rows_ = AllRows(*db_, table_, &ids_);
  }
  const Value& At(size_t row, std::u16string_view column) {
    for (size_t i = 0; i < table_.columns.size(); ++i) {
      if (table_.columns[i].name == column) return rows_.at(row).at(i);
    }
    throw std::runtime_error("no column");
  }
  std::unique_ptr<Database> db_;
  TableDef table_;
  std::vector<std::vector<Value>> rows_;
  std::vector<RowId> ids_;
};

TEST_F(TypesFile, ListsTablesAndDefinitions) {
  std::vector<std::u16string> names;
  for (const auto& e : db_->ListTables()) {
    EXPECT_EQ("TABLE", e.type);
    names.push_back(e.name);
  }
  EXPECT_EQ((std::vector<std::u16string>{u"AllTypes", u"AutoKey", u"Customer List", u"EmptyTable",
                                         u"Order Details"}),
            names);
  EXPECT_EQ(u"AllTypes", table_.name);
  ASSERT_EQ(17u, table_.columns.size());
  EXPECT_EQ(20u, table_.row_count);
  const Column* dec = table_.FindColumn(u"DEC");
  ASSERT_NE(nullptr, dec);
  EXPECT_EQ(ColumnType::kNumeric, dec->type);
  EXPECT_EQ(18, dec->precision);
  EXPECT_EQ(4, dec->scale);
  EXPECT_EQ(50, table_.FindColumn(u"TxtU")->max_chars(Format::kJet4));
  TableDef order = db_->GetTable(u"Order Details");
  ASSERT_EQ(2u, order.indexes.size());
  const Index& pk = order.indexes[0].primary ? order.indexes[0] : order.indexes[1];
  EXPECT_TRUE(pk.primary && pk.unique && pk.required);
  EXPECT_EQ(2u, pk.columns.size());
  const Index& by_price = order.indexes[0].primary ? order.indexes[1] : order.indexes[0];
  EXPECT_EQ(u"ByPrice", by_price.name);
  EXPECT_FALSE(by_price.columns[0].ascending);
  EXPECT_TRUE(db_->GetTable(u"AutoKey").columns[0].autonumber());
  try {
    db_->GetTable(u"NoSuchTable");
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(Error::Kind::kNotFound, e.kind());
  }
}

TEST_F(TypesFile, DecodesEveryType) {
  ASSERT_EQ(20u, rows_.size());
  // Row 3: maxima.
  EXPECT_EQ(Value(true), At(2, u"Flag"));
  EXPECT_EQ(Value(uint8_t{255}), At(2, u"U8"));
  EXPECT_EQ(Value(int16_t{32767}), At(2, u"I16"));
  EXPECT_EQ(Value(int32_t{2147483647}), At(2, u"I32"));
  EXPECT_EQ(Value(Currency{INT64_MAX}), At(2, u"Cur"));
  EXPECT_EQ("99999999999999.9999", At(2, u"Dec").as<Decimal>().ToString());
  EXPECT_EQ("9999999999999999999999999999", At(2, u"DecInt").as<Decimal>().ToString());
  EXPECT_EQ(Value(std::numeric_limits<float>::max()), At(2, u"F32"));
  EXPECT_EQ(Value(std::numeric_limits<double>::max()), At(2, u"F64"));
  EXPECT_EQ(u"\u6700\u5927\u503C", Text(At(2, u"Txt")));
  EXPECT_EQ(Value(Bytes(16, 0xFF)), At(2, u"Bin"));
  EXPECT_EQ("{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}", At(2, u"Gid").as<Guid>().ToString());
  // Row 4: minima and a GUID in stored byte order.
  EXPECT_EQ(Value(Currency{INT64_MIN}), At(3, u"Cur"));
  EXPECT_TRUE(At(3, u"DecInt").as<Decimal>().negative);
  EXPECT_EQ("{12345678-9ABC-DEF0-1234-56789ABCDEF0}", At(3, u"Gid").as<Guid>().ToString());
  // Row 5: a date before 1899-12-30 keeps its stored double.
  EXPECT_EQ(Value(DateTime{-1.25}), At(4, u"DT"));
  // Row 2: all NULL except the key and the boolean.
  for (size_t i = 2; i < table_.columns.size(); ++i) EXPECT_TRUE(rows_[1][i].is_null()) << i;
  EXPECT_EQ(Value(false), rows_[1][1]);
  // Empty strings are not NULL; surrogate pairs survive.
  EXPECT_EQ(u"", Text(At(14, u"Txt")));
  EXPECT_EQ(u"emoji \U0001F600 and \U00020000", Text(At(10, u"Txt")));
}

TEST_F(TypesFile, ReadsLongValuesOfEveryForm) {
  // Memos of several KB are chained over LVAL pages; short ones sit in the row.
  EXPECT_EQ(u"max", Text(At(2, u"Note")));
  size_t longest = 0;
  for (size_t r = 0; r < rows_.size(); ++r) {
    const Value& note = At(r, u"Note");
    if (!note.is_null()) longest = std::max(longest, note.as<std::u16string>().size());
  }
  EXPECT_GT(longest, 4000u);
  size_t largest_blob = 0;
  for (size_t r = 0; r < rows_.size(); ++r) {
    const Value& blob = At(r, u"Blob");
    if (!blob.is_null()) largest_blob = std::max(largest_blob, blob.as<Bytes>().size());
  }
  EXPECT_GT(largest_blob, 4096u);
}

TEST_F(TypesFile, ReadRowMatchesScan) {
  for (size_t i = 0; i < ids_.size(); i += 7) EXPECT_EQ(rows_[i], db_->ReadRow(table_, ids_[i]));
  RowId missing{ids_[0].page, 250};
  try {
    db_->ReadRow(table_, missing);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(Error::Kind::kNotFound, e.kind());
  }
}

TEST(ReadJet3, DecodesRowsInTheCodePage) {
  MDB_REQUIRE_FIXTURES();
  auto db = Database::Open(fixtures::Path("access/jackcess-V1997-testV1997.mdb"));
  EXPECT_EQ(Format::kJet3, db->format());
  TableDef t = db->GetTable(u"Table1");
  auto rows = AllRows(*db, t);
  ASSERT_EQ(2u, rows.size());
  EXPECT_EQ(u"a", Text(rows[0][0]));
  EXPECT_EQ(Value(uint8_t{0}), rows[0][2]);
  EXPECT_EQ(Value(false), rows[0][8]);
  // Undefined 1252 bytes read as U+FFFD.
  auto codes = Database::Open(fixtures::Path("access/jackcess-V1997-testIndexCodesV1997.mdb"));
  bool saw_replacement = false;
  codes->Scan(codes->GetTable(u"Table1"), [&](RowId, std::vector<Value>& v) {
    if (!v[1].is_null() && v[1].as<std::u16string>().find(u'\uFFFD') != std::u16string::npos) {
      saw_replacement = true;
    }
    return true;
  });
  EXPECT_TRUE(saw_replacement);
}

TEST(ReadStructures, FollowsOverflowRows) {
  MDB_REQUIRE_FIXTURES();
  auto db = Database::Open(fixtures::Path("access/jackcess-V2000-overflowTestV2000.mdb"));
  TableDef t = db->GetTable(u"Table1");
  std::vector<RowId> ids;
  auto rows = AllRows(*db, t, &ids);
  ASSERT_EQ(7u, rows.size());
  EXPECT_EQ(u"row3col9", Text(rows[2][7]));
  EXPECT_EQ(u"row7col7", Text(rows[6][5]));
  for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i], db->ReadRow(t, ids[i]));
}

TEST(ReadStructures, ReadsMultiPageDefinitions) {
  MDB_REQUIRE_FIXTURES();
  for (const char* f : {"access/jackcess-V1997-testV1997.mdb", "access/mdbreader-V2000-test.mdb"}) {
    auto db = Database::Open(fixtures::Path(f));
    TableDef t = db->GetTable(u"Table2");
    EXPECT_EQ(89u, t.columns.size()) << f;
    EXPECT_GT(DatabaseInternals::Of(*db).TableByName(u"Table2")->pages.size(), 1u) << f;
    for (size_t i = 1; i < t.columns.size(); ++i) {
      EXPECT_LT(t.columns[i - 1].number, t.columns[i].number) << f;
    }
  }
}

TEST(ReadStructures, ScansLargeTablesThroughReferenceMaps) {
  MDB_REQUIRE_FIXTURES();
  auto db = Database::Open(fixtures::Path("big.mdb"));
  TableDef t = db->GetTable(u"StdItems");
  size_t n = 0;
  RowId last{0, 0};
  bool ordered = true;
  db->Scan(t, [&](RowId id, std::vector<Value>&) {
    ordered = ordered && (id.page > last.page || (id.page == last.page && id.row >= last.row));
    last = id;
    ++n;
    return true;
  });
  EXPECT_EQ(200000u, n);
  EXPECT_TRUE(ordered);
  size_t stopped = 0;
  db->Scan(t, [&](RowId, std::vector<Value>&) { return ++stopped < 10; });
  EXPECT_EQ(10u, stopped);
}

TEST(ReadCatalog, ClassifiesObjects) {
  MDB_REQUIRE_FIXTURES();
  auto db = Database::Open(fixtures::Path("access/jackcess-V2000-queryTestV2000.mdb"));
  int system = 0;
  int selects = 0;
  int others = 0;
  for (const CatalogObject& o : db->Objects()) {
    if (o.name == u"MSysObjects") {
      EXPECT_EQ(ObjectKind::kSystemTable, o.kind);
    }
    system += o.kind == ObjectKind::kSystemTable;
    selects += o.kind == ObjectKind::kSelectQuery;
    others += o.kind == ObjectKind::kOtherQuery;
  }
  EXPECT_GE(system, 4);
  EXPECT_GT(selects, 0);
  EXPECT_GT(others, 0);
  auto list = db->ListTables();
  size_t first_view = list.size();
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].type == "VIEW" && first_view == list.size()) first_view = i;
    if (i > first_view) {
      EXPECT_EQ("VIEW", list[i].type);
    }
    if (i > 0 && list[i].type == list[i - 1].type) {
      EXPECT_LE(CompareIgnoreCase(list[i - 1].name, list[i].name), 0);
    }
  }
  EXPECT_LT(first_view, list.size());
}

}  // namespace
}  // namespace jet

namespace jet {
namespace {

TEST(ReadFreshness, AnOpenDatabaseSeesWritesMadeThroughAnotherHandleAtOnce) {
  MDB_REQUIRE_FIXTURES();
  fixtures::ScratchDir dir;
  const std::string path = dir.Copy("types.mdb");
  auto db = Database::Open(path);
  const TableDef t = db->GetTable(u"AutoKey");
  std::vector<RowId> ids;
  auto rows = AllRows(*db, t, &ids);
  ASSERT_EQ(u"alpha", Text(rows[0][1]));
  File writer(path, true);
  for (int round = 0; round < 20; ++round) {
    // Rewrite "alpha" in place (same length), with no pause between the writes and the reads.
    Page p = writer.ReadPage(ids[0].page);
    std::vector<uint8_t> bytes(p.bytes().begin(), p.bytes().end());
    const std::string from = round % 2 == 0 ? "alpha" : "ALPHA";
    const std::string to = round % 2 == 0 ? "ALPHA" : "alpha";
    auto at = std::search(bytes.begin(), bytes.end(), from.begin(), from.end());
    ASSERT_NE(bytes.end(), at);
    std::copy(to.begin(), to.end(), at);
    writer.WritePage(ids[0].page, bytes);
    EXPECT_EQ(FromUtf8(to), Text(db->ReadRow(t, ids[0])[1])) << round;
  }
  EXPECT_EQ(u"alpha", Text(AllRows(*db, t)[0][1]));
}

}  // namespace
}  // namespace jet
