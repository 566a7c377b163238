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

// Runs `fn`, expects a jet::Error of `kind` whose message contains `needle`, and checks that the
// file did not change.
template <typename Fn>
void ExpectRejected(const std::string& path, Error::Kind kind, const std::string& needle, Fn fn) {
  const uint64_t before = HashFile(path);
  try {
    fn();
    ADD_FAILURE() << "write was accepted";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), kind) << e.what();
    EXPECT_NE(std::string(e.what()).find(needle), std::string::npos) << e.what();
  }
  EXPECT_EQ(HashFile(path), before) << "a rejected write changed the file";
}

TEST(RejectedWritesTest, LeaveTheFileUnchanged) {
  if (FixturePath("game-indexed.mdb").empty()) GTEST_SKIP() << "no ../shared";
  TempDir dir;
  const std::string path = CopyFixture(dir, "game-indexed.mdb");
  auto db = Database::Open(path, OpenMode::kReadWrite);
  TableDef settings = db->GetTable(u"Settings");  // Name TEXT(50) primary key, Value, Updated
  std::vector<Value> existing;
  RowId first{};
  db->Scan(settings, [&](RowId id, std::vector<Value>& v) {
    existing = v;
    first = id;
    return false;
  });
  using K = Error::Kind;
  ExpectRejected(path, K::kConstraint, "PrimaryKey",
                 [&] { db->InsertRow(u"Settings", existing); });
  ExpectRejected(path, K::kConstraint, "Name", [&] {
    db->InsertRow(u"Settings", {Value(std::u16string(51, u'x')), Value(), Value()});
  });
  ExpectRejected(path, K::kConstraint, "Name",
                 [&] { db->InsertRow(u"Settings", {Value(), Value(u"v"), Value()}); });
  ExpectRejected(path, K::kInvalidArgument, "Updated", [&] {
    db->InsertRow(u"Settings", {Value(u"fresh"), Value(u"v"), Value(u"not a date")});
  });
  ExpectRejected(path, K::kInvalidArgument, "columns",
                 [&] { db->InsertRow(u"Settings", {Value(u"fresh")}); });
  // An update to another row's key, and a delete of a missing row.
  std::vector<Value> other;
  db->Scan(settings, [&](RowId id, std::vector<Value>& v) {
    if (!(id == first)) other = v;
    return other.empty();
  });
  std::vector<Value> clash = existing;
  clash[0] = other[0];
  ExpectRejected(path, K::kConstraint, "PrimaryKey",
                 [&] { db->UpdateRow(u"Settings", first, clash); });
  ExpectRejected(path, K::kNotFound, "row", [&] { db->DeleteRow(u"Settings", RowId{first.page, 250}); });
  // The same key differing only in case collides too (the General sort order ignores case).
  std::vector<Value> upper = existing;
  std::u16string name = existing[0].as<std::u16string>();
  for (char16_t& c : name) c = (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  upper[0] = Value(name);
  if (name != existing[0].as<std::u16string>()) {
    ExpectRejected(path, K::kConstraint, "PrimaryKey",
                   [&] { db->InsertRow(u"Settings", upper); });
  }
}

TEST(WriteAccessTest, ReadOnlyHandlesAndSecondWritersAreRefused) {
  if (FixturePath("game-indexed.mdb").empty()) GTEST_SKIP() << "no ../shared";
  TempDir dir;
  const std::string path = CopyFixture(dir, "game-indexed.mdb");
  {
    auto reader = Database::Open(path);
    ExpectRejected(path, Error::Kind::kInvalidArgument, "read-only", [&] {
      reader->DeleteRow(u"Settings", RowId{1, 0});
    });
  }
  auto writer = Database::Open(path, OpenMode::kReadWrite);
  try {
    Database::Open(path, OpenMode::kReadWrite);
    ADD_FAILURE() << "second writer accepted";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), Error::Kind::kLocked) << e.what();
  }
  auto reader = Database::Open(path);  // readers are not blocked
  EXPECT_GT(reader->GetTable(u"Settings").row_count, 0u);
  // Another process is refused as well.
  int status = 0;
  const std::string write = std::string(MDBTOOL_PATH) + " sql '" + path +
                            "' 'CREATE TABLE Other (A LONG)' 2>&1";
  EXPECT_NE(testutil::RunCommand(write, &status).find("open for writing by another program"),
            std::string::npos);
  EXPECT_NE(status, 0);
  writer.reset();
  testutil::RunCommand(write, &status);
  EXPECT_EQ(status, 0);
}

TEST_F(WriteRowsTest, SecondHandleSeesWritesAtOnce) {
  auto reader = Database::Open(path_);
  TableDef magic = reader->GetTable(u"Magic");
  RowId id = db_->InsertRow(u"Magic", {Value(int16_t{1}), Value(u"x"), Value(), Value(), Value(),
                                       Value(), Value()});
  EXPECT_EQ(reader->ReadRow(reader->GetTable(u"Magic"), id)[1], Value(std::u16string(u"x")));
  EXPECT_EQ(reader->GetTable(u"Magic").row_count, magic.row_count + 1);
}

}  // namespace
}  // namespace jet
