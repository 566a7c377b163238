// Unique and primary-key rules on indexes whose text keys are approximate: values decide, not
// key bytes. The characters used have no established General-legacy code:
//   U+1EA0 (A with dot below) gets the very key bytes of a plain "A";
//   U+0152 / U+0153 (OE ligature) get different bytes in upper and lower case;
//   U+0140 (l with middle dot) is approximate while its upper case U+013F is exact.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "jet/check.h"
#include "jet/database.h"
#include "support/write_test_util.h"

namespace jet {
namespace {

using testutil::HashFile;

std::string Lines(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\n";
  return s;
}

class ApproximateUniqueTest : public testing::Test {
 protected:
  void Open(const std::string& fixture) {
    path_ = testutil::CopyFixture(dir_, fixture);
    db_ = Database::Open(path_, OpenMode::kReadWrite);
  }
  void SetUp() override {
    if (testutil::FixturePath("game-indexed.mdb").empty()) GTEST_SKIP() << "no ../shared";
    Open("game-indexed.mdb");
  }
  // Settings(Name primary key, Value, Updated).
  RowId Setting(const std::u16string& name, const std::u16string& value = u"v") {
    return db_->InsertRow(u"Settings", {Value(name), Value(value), Value()});
  }
  // Expects `write` to be refused as a constraint, with the file byte for byte unchanged.
  template <typename Fn>
  void ExpectRefused(Fn&& write, const std::string& what) {
    const uint64_t before = HashFile(path_);
    try {
      write();
      ADD_FAILURE() << what << ": accepted";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), Error::Kind::kConstraint) << what << ": " << e.what();
    }
    EXPECT_EQ(HashFile(path_), before) << what << ": the refused write changed the file";
  }
  void ExpectConsistent() {
    CheckReport r = CheckFile(path_);
    EXPECT_TRUE(r.ok()) << Lines(r.problems);
  }

  testutil::TempDir dir_;
  std::string path_;
  std::unique_ptr<Database> db_;
};

TEST_F(ApproximateUniqueTest, DifferentValuesWithEqualApproximateBytesAreBothAccepted) {
  Setting(u"Abc");
  EXPECT_NO_THROW(Setting(u"\u1EA0bc"));  // approximate key == key of "Abc"
  Setting(u"\u1EA0xy");
  EXPECT_NO_THROW(Setting(u"axy"));  // exact key that an approximate row already holds
  ExpectRefused([&] { Setting(u"ABC"); }, "case-only duplicate of an exact key");
  ExpectRefused([&] { Setting(u"\u1EA0XY"); }, "duplicate of an approximate key");
  ExpectConsistent();
  int rows = 0;
  db_->Scan(db_->GetTable(u"Settings"), [&](RowId, std::vector<Value>&) { return ++rows, true; });
  EXPECT_EQ(rows, 7 + 4);
}

TEST_F(ApproximateUniqueTest, EqualValuesWithDifferentApproximateBytesAreRefused) {
  Setting(u"\u0152uf");
  ExpectRefused([&] { Setting(u"\u0153UF"); }, "lower-case ligature");
  Setting(u"\u0140a");
  ExpectRefused([&] { Setting(u"\u013FA"); }, "exact character whose lower case is approximate");
  // Updates follow the same rule; a row may keep or re-case its own value.
  const RowId other = Setting(u"Other");
  ExpectRefused([&] { db_->UpdateRow(u"Settings", other, {Value(u"\u0153uf "), Value(), Value()}); },
                "update onto an equal value");
  EXPECT_NO_THROW(db_->UpdateRow(u"Settings", other, {Value(u"OTHER"), Value(), Value()}));
  ExpectConsistent();
}

TEST_F(ApproximateUniqueTest, CreateIndexComparesValuesOfApproximateKeys) {
  Open("game-unindexed.mdb");  // Settings has a primary key on Name, nothing on Value
  auto set = [&](const std::u16string& name, const std::u16string& value) {
    db_->InsertRow(u"Settings", {Value(name), Value(value), Value()});
  };
  set(u"k1", u"Abc");
  set(u"k2", u"\u1EA0bc");
  const IndexSpec unique{u"ByValue", {{u"Value", true}}, false, true, false};
  const std::string copy = dir_.File("copy.mdb");
  std::filesystem::copy_file(path_, copy);
  EXPECT_NO_THROW(db_->CreateIndex(u"Settings", unique));
  ExpectConsistent();
  // Back to the copy: add a value equal to another under Access's text equality.
  db_.reset();
  path_ = copy;
  db_ = Database::Open(path_, OpenMode::kReadWrite);
  set(u"k3", u"\u0152uf");
  set(u"k4", u"\u0153uf");
  ExpectRefused([&] { db_->CreateIndex(u"Settings", unique); }, "unique index over equal values");
  const IndexSpec plain{u"ByValue", {{u"Value", true}}, false, false, false};
  EXPECT_NO_THROW(db_->CreateIndex(u"Settings", plain));
  ExpectConsistent();
}

// Sets the text sort order of column `column` of `table` in the file (its first TDEF page).
void SetSortOrder(const std::string& path, const std::u16string& table, const std::u16string& column,
                  uint16_t lcid) {
  uint32_t tdef = 0;
  uint16_t number = 0;
  {
    auto db = Database::Open(path);
    TableDef t = db->GetTable(table);
    tdef = t.tdef_page;
    number = t.FindColumn(column)->number;
  }
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  std::vector<uint8_t> page(4096);
  f.seekg(static_cast<std::streamoff>(tdef) * 4096);
  f.read(reinterpret_cast<char*>(page.data()), 4096);
  auto u16 = [&](size_t at) { return static_cast<uint16_t>(page[at] | page[at + 1] << 8); };
  const size_t columns = u16(0x2D);
  const size_t reals = u16(0x33);
  size_t at = 0x3F + 12 * reals;
  for (size_t i = 0; i < columns; ++i, at += 25) {
    if (u16(at + 0x05) != number) continue;
    page[at + 0x0B] = static_cast<uint8_t>(lcid);
    page[at + 0x0C] = static_cast<uint8_t>(lcid >> 8);
    f.seekp(static_cast<std::streamoff>(tdef) * 4096);
    f.write(reinterpret_cast<const char*>(page.data()), 4096);
    return;
  }
  FAIL() << "column not found";
}

TEST_F(ApproximateUniqueTest, OtherSortOrderIsListedAsApproximateAndCheckedByValue) {
  db_.reset();
  SetSortOrder(path_, u"Monster", u"Name", 0x0804);  // Chinese PRC
  CheckReport r = CheckFile(path_);
  EXPECT_TRUE(r.ok()) << Lines(r.problems);
  const std::string listed = Lines(r.approximate_indexes);
  EXPECT_NE(listed.find("table Monster index PrimaryKey"), std::string::npos) << listed;
  EXPECT_NE(listed.find("sort order 0x0804"), std::string::npos) << listed;
  EXPECT_NE(listed.find("Compact and Repair"), std::string::npos) << listed;
  EXPECT_EQ(listed.find("Settings"), std::string::npos) << listed;  // General order, exact
  // mdbtool check lists it too and succeeds.
  int status = -1;
  const std::string out =
      testutil::RunCommand(std::string(MDBTOOL_PATH) + " check '" + path_ + "'", &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("approximate: table Monster index PrimaryKey"), std::string::npos) << out;
  // Writes still work and keep uniqueness by value.
  db_ = Database::Open(path_, OpenMode::kReadWrite);
  TableDef monster = db_->GetTable(u"Monster");
  std::vector<Value> row(monster.columns.size());
  row[0] = Value(u"\u9E21\u738B");
  db_->InsertRow(u"Monster", row);
  row[0] = Value(u"wOLF");  // the fixture has "Wolf"
  ExpectRefused([&] { db_->InsertRow(u"Monster", row); }, "case-only duplicate");
  ExpectConsistent();
}

}  // namespace
}  // namespace jet
