// Every kind of refused write, through every entry point, leaves the file byte for byte unchanged
// and says which column or index is at fault.

#include <gtest/gtest.h>

#include <functional>

#include "jet/check.h"
#include "jet/database.h"
#include "support/write_test_util.h"

namespace jet {
namespace {

struct Refusal {
  std::string what;                  // the case, for failure messages
  std::function<void()> write;       // the refused write
  Error::Kind kind;                  // expected error kind
  std::vector<std::string> mention;  // texts the message must contain
};

void ExpectAllRefused(const std::string& path, const std::vector<Refusal>& cases) {
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.what);
    const uint64_t before = testutil::HashFile(path);
    try {
      c.write();
      ADD_FAILURE() << "accepted";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), c.kind) << e.what();
      for (const std::string& m : c.mention) {
        EXPECT_NE(std::string(e.what()).find(m), std::string::npos) << e.what();
      }
    }
    EXPECT_EQ(testutil::HashFile(path), before) << "the refused write changed the file";
  }
}

TEST(RejectedWrites, RowWritesOnInsertAndUpdate) {
  if (testutil::FixturePath("game-indexed.mdb").empty()) GTEST_SKIP() << "no ../shared";
  testutil::TempDir dir;
  const std::string path = testutil::CopyFixture(dir, "game-indexed.mdb");
  auto db = Database::Open(path, OpenMode::kReadWrite);
  // Monster(Name TEXT(30) primary key, Race BYTE, Lvl INT, Exp LONG, HP, AC, Speed, Zone TEXT(20)).
  const TableDef monster = db->GetTable(u"Monster");
  std::vector<Value> row(monster.columns.size());
  row[0] = Value(u"Newcomer");
  row[2] = Value(int16_t{7});
  const RowId id = db->InsertRow(u"Monster", row);
  auto with = [&](size_t column, Value v) {
    std::vector<Value> r = row;
    r[column] = std::move(v);
    return r;
  };
  using K = Error::Kind;
  const std::u16string too_long(31, u'x');
  ExpectAllRefused(path, {
      {"duplicate key on insert", [&] { db->InsertRow(u"Monster", with(0, Value(u"Wolf"))); },
       K::kConstraint, {"PrimaryKey", "Monster"}},
      {"case-only duplicate on insert", [&] { db->InsertRow(u"Monster", with(0, Value(u"WOLF "))); },
       K::kConstraint, {"PrimaryKey"}},
      {"duplicate key on update", [&] { db->UpdateRow(u"Monster", id, with(0, Value(u"wolf"))); },
       K::kConstraint, {"PrimaryKey"}},
      {"text too long on insert", [&] { db->InsertRow(u"Monster", with(0, Value(too_long))); },
       K::kConstraint, {"Name"}},
      {"text too long on update", [&] { db->UpdateRow(u"Monster", id, with(7, Value(too_long))); },
       K::kConstraint, {"Zone"}},
      {"NULL key on insert", [&] { db->InsertRow(u"Monster", with(0, Value())); },
       K::kConstraint, {"Name", "PrimaryKey"}},
      {"NULL key on update", [&] { db->UpdateRow(u"Monster", id, with(0, Value())); },
       K::kConstraint, {"Name", "PrimaryKey"}},
      {"wrong type on insert", [&] { db->InsertRow(u"Monster", with(3, Value(u"many"))); },
       K::kInvalidArgument, {"Exp"}},
      {"wrong type on update", [&] { db->UpdateRow(u"Monster", id, with(2, Value(Guid{}))); },
       K::kInvalidArgument, {"Lvl"}},
      {"number out of range", [&] { db->InsertRow(u"Monster", with(1, Value(int32_t{300}))); },
       K::kConstraint, {"Race", "out of range"}},
  });
}

TEST(RejectedWrites, PrimaryKeysOverDuplicatesOrNulls) {
  if (testutil::FixturePath("game-unindexed.mdb").empty()) GTEST_SKIP() << "no ../shared";
  testutil::TempDir dir;
  const std::string path = testutil::CopyFixture(dir, "game-unindexed.mdb");
  auto db = Database::Open(path, OpenMode::kReadWrite);
  using K = Error::Kind;
  // StdItems.Idx has NULLs (and duplicates); StdItems.Name and Monster.Exp only duplicates;
  // Magic.MagName differs only in case in some rows.
  const IndexSpec by_idx{u"PrimaryKey", {{u"Idx", true}}, true, false, false};
  const IndexSpec by_name{u"PrimaryKey", {{u"Name", true}}, true, false, false};
  ExpectAllRefused(path, {
      {"CreateIndex over NULLs", [&] { db->CreateIndex(u"StdItems", by_idx); },
       K::kConstraint, {"Idx", "Null"}},
      {"CreateIndex over duplicates", [&] { db->CreateIndex(u"StdItems", by_name); },
       K::kConstraint, {"PrimaryKey", "StdItems", "equal keys"}},
      {"ALTER TABLE over NULLs",
       [&] { db->Execute("ALTER TABLE StdItems ADD PRIMARY KEY CLUSTERED(Idx)"); },
       K::kConstraint, {"Idx", "Null"}},
      {"ALTER TABLE over duplicates",
       [&] { db->Execute("ALTER TABLE Monster ADD PRIMARY KEY CLUSTERED(Exp)"); },
       K::kConstraint, {"Monster", "equal keys"}},
      {"ALTER TABLE over case-only duplicates",
       [&] { db->Execute("ALTER TABLE [StdItems] ADD PRIMARY KEY CLUSTERED([Name])"); },
       K::kConstraint, {"StdItems", "equal keys"}},
      {"ALTER TABLE on a table that has one",
       [&] { db->Execute("ALTER TABLE Settings ADD PRIMARY KEY CLUSTERED(Value)"); },
       K::kInvalidArgument, {"Settings", "PrimaryKey"}},
  });
  // The refusals left a table that still takes the key once the rows allow it.
  EXPECT_NO_THROW(db->Execute("ALTER TABLE Settings ADD CONSTRAINT ByValue UNIQUE (Value)"));
}

// The same refusals on an Access 97 file, in a table created there (so NOT NULL is the Required
// property of a Jet3 property block), plus text the Windows-1252 code page cannot hold.
TEST(RejectedWrites, Jet3RowWrites) {
  if (testutil::FixturePath("access/jackcess-V1997-testV1997.mdb").empty()) {
    GTEST_SKIP() << "no ../shared";
  }
  testutil::TempDir dir;
  const std::string path = testutil::CopyFixture(dir, "access/jackcess-V1997-testV1997.mdb");
  auto db = Database::Open(path, OpenMode::kReadWrite);
  db->Execute("CREATE TABLE People (ID LONG PRIMARY KEY, Name TEXT(10) NOT NULL, Note MEMO)");
  const std::vector<Value> row = {Value(int32_t{1}), Value(u"Zoë €"), Value(u"x")};
  const RowId id = db->InsertRow(u"People", row);
  auto with = [&](size_t column, Value v) {
    std::vector<Value> r = row;
    r[column] = std::move(v);
    return r;
  };
  using K = Error::Kind;
  ExpectAllRefused(path,
                   {
                       {"duplicate key",
                        [&] { db->InsertRow(u"People", with(1, Value(u"Other"))); },
                        K::kConstraint,
                        {"PrimaryKey", "People"}},
                       {"text too long",
                        [&] { db->InsertRow(u"People", with(1, Value(u"Twelve chars"))); },
                        K::kConstraint,
                        {"Name"}},
                       {"NULL in a required column",
                        [&] { db->UpdateRow(u"People", id, with(1, Value())); },
                        K::kConstraint,
                        {"People.Name", "Required"}},
                       {"character outside the code page",
                        [&] {
                          db->InsertRow(u"People", {Value(int32_t{2}), Value(u"Жuk"), Value()});
                        },
                        K::kConstraint,
                        {"Name", "U+0416", "1252"}},
                       {"memo character outside the code page",
                        [&] { db->UpdateRow(u"People", id, with(2, Value(u"ok 中"))); },
                        K::kConstraint,
                        {"Note", "U+4E2D"}},
                   });
  EXPECT_EQ(db->ReadRow(db->GetTable(u"People"), id), row);
}

// A byte that Windows-1252 leaves undefined reads as U+FFFD and cannot be written back; a row
// holding one still takes updates of its other columns, and the byte stays as it was.
TEST(RejectedWrites, Jet3UndefinedBytesSurviveUpdatesOfOtherColumns) {
  const std::string fixture = "access/jackcess-V1997-testIndexCodesV1997.mdb";
  if (testutil::FixturePath(fixture).empty()) GTEST_SKIP() << "no ../shared";
  testutil::TempDir dir;
  const std::string path = testutil::CopyFixture(dir, fixture);
  auto db = Database::Open(path, OpenMode::kReadWrite);
  const TableDef def = db->GetTable(u"Table1");  // name TEXT (primary key), data TEXT
  std::optional<RowId> id;
  std::vector<Value> row;
  db->Scan(def, [&](RowId at, std::vector<Value>& v) {
    if (!v[1].is<std::u16string>() || v[1].as<std::u16string>().find(u'\uFFFD') == std::u16string::npos) {
      return true;
    }
    id = at;
    row = v;
    return false;
  });
  ASSERT_TRUE(id.has_value());
  std::vector<Value> renamed = row;
  renamed[0] = Value(u"renamed");
  db->UpdateRow(u"Table1", *id, renamed);
  EXPECT_EQ(db->ReadRow(def, *id), renamed);
  std::vector<Value> retyped = renamed;
  retyped[1] = Value(row[1].as<std::u16string>() + u"x");
  ExpectAllRefused(path, {{"U+FFFD in changed text", [&] { db->UpdateRow(u"Table1", *id, retyped); },
                           Error::Kind::kConstraint, {"U+FFFD", "data"}}});
  EXPECT_TRUE(CheckFile(path).ok());
}

}  // namespace
}  // namespace jet
