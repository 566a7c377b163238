// Column properties: the Required flag (NOT NULL) in MSysObjects.LvProp blocks, written by the
// engine and by Access, and lenient parsing of damaged blocks.

#include "table/properties.h"

#include <gtest/gtest.h>

#include "jet/database.h"
#include "support/write_test_util.h"

namespace jet {
namespace {

TEST(PropertiesTest, RequiredBlockRoundTrips) {
  const std::vector<std::u16string> columns = {u"Name", u"数量", u"A b"};
  const std::vector<uint8_t> block = RequiredPropertiesBlock(columns);
  ASSERT_GE(block.size(), 4u);
  EXPECT_EQ(std::string(block.begin(), block.begin() + 4), std::string("MR2\0", 4));
  EXPECT_EQ(RequiredColumns(block), columns);
  EXPECT_TRUE(RequiredColumns(RequiredPropertiesBlock({})).empty());
}

TEST(PropertiesTest, DamagedBlocksYieldAtMostWhatTheyHold) {
  const std::vector<uint8_t> block = RequiredPropertiesBlock({u"First", u"Second"});
  for (size_t n = 0; n < block.size(); ++n) {
    const std::vector<uint8_t> cut(block.begin(), block.begin() + static_cast<long>(n));
    const std::vector<std::u16string> got = RequiredColumns(cut);
    EXPECT_LE(got.size(), 1u) << "cut at " << n;
  }
  for (size_t i = 4; i < block.size(); ++i) {
    std::vector<uint8_t> bad = block;
    bad[i] = 0xFF;
    const std::vector<std::u16string> got = RequiredColumns(bad);  // must not crash or hang
    EXPECT_LE(got.size(), 2u);
  }
  EXPECT_TRUE(RequiredColumns(std::vector<uint8_t>{'K', 'K', 'D', 0, 1, 2}).empty());
}

// Setting and removing one column's Required property keeps the other columns' properties;
// a name list without "Required" gets it.
TEST(PropertiesTest, ColumnEditsKeepTheOtherColumns) {
  std::vector<uint8_t> described = {'M', 'R', '2', 0, 30, 0, 0, 0, 0x80, 0, 22, 0};
  for (char16_t ch : std::u16string(u"Description")) {
    described.insert(described.end(), {static_cast<uint8_t>(ch), 0});
  }
  struct Case {
    std::vector<uint8_t> block;
    std::u16string column;
    bool required;  // set, else remove
    std::vector<std::u16string> want;
  };
  const Case cases[] = {
      {{}, u"A", true, {u"A"}},
      {RequiredPropertiesBlock({u"A", u"B"}), u"C", true, {u"A", u"B", u"C"}},
      {RequiredPropertiesBlock({u"A", u"B"}), u"b", true, {u"A", u"b"}},  // not twice
      {RequiredPropertiesBlock({u"A", u"B"}), u"a", false, {u"B"}},
      {RequiredPropertiesBlock({u"A"}), u"Z", false, {u"A"}},
      {described, u"X", true, {u"X"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.column));
    const std::vector<uint8_t> edited = c.required ? WithRequiredColumn(c.block, c.column)
                                                   : WithoutColumnProperties(c.block, c.column);
    EXPECT_EQ(RequiredColumns(edited), c.want);
  }
  const std::vector<uint8_t> block = RequiredPropertiesBlock({u"A"});
  EXPECT_EQ(WithoutColumnProperties(block, u"Z"), block);  // unchanged: nothing to write
}

TEST(PropertiesTest, AccessWrittenRequiredColumnsAreEnforced) {
  const std::string fixture = "access/jackcess-V2000-fixedTextTestV2000.mdb";
  if (testutil::FixturePath(fixture).empty()) GTEST_SKIP() << "../shared is absent";
  testutil::TempDir dir;
  const std::string file = testutil::CopyFixture(dir, fixture);
  auto db = Database::Open(file, OpenMode::kReadWrite);
  const TableDef users = db->GetTable(u"users");
  const Column* login = users.FindColumn(u"c_user_login");
  ASSERT_NE(login, nullptr);
  EXPECT_TRUE(login->required);
  std::vector<Value> row(users.columns.size());
  const uint64_t before = testutil::HashFile(file);
  try {
    db->InsertRow(u"users", row);
    ADD_FAILURE() << "a row of NULLs went into required columns";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), Error::Kind::kConstraint) << e.what();
  }
  EXPECT_EQ(testutil::HashFile(file), before);
}

}  // namespace
}  // namespace jet
