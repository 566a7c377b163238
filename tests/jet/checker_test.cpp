// The consistency checker on reference files and on files broken on purpose.

#include <gtest/gtest.h>

#include <fstream>

#include "jet/check.h"
#include "jet/database.h"
#include "support/write_test_util.h"

namespace jet {
namespace {

using testutil::FixturePath;

std::string Join(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\n";
  return s;
}

TEST(CheckerTest, ReferenceFixturesAreConsistent) {
  for (const char* name : {"game-unindexed.mdb", "game-indexed.mdb", "types.mdb",
                           "unicode-index.mdb"}) {
    if (FixturePath(name).empty()) GTEST_SKIP() << "no ../shared";
    CheckReport r = CheckFile(FixturePath(name));
    EXPECT_TRUE(r.ok()) << name << ":\n" << Join(r.problems);
    EXPECT_GT(r.tables, 4) << name;
    EXPECT_GT(r.rows, 0) << name;
  }
}

// Overwrites `n` bytes at `offset` of the file.
void Poke(const std::string& path, std::streamoff offset, std::vector<uint8_t> bytes) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(offset);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST(CheckerTest, FindsWrongRowCountAndBrokenIndex) {
  if (FixturePath("game-indexed.mdb").empty()) GTEST_SKIP() << "no ../shared";
  testutil::TempDir dir;
  const std::string file = testutil::CopyFixture(dir, "game-indexed.mdb");
  uint32_t tdef = 0;
  uint32_t root = 0;
  {
    auto db = Database::Open(file);
    TableDef t = db->GetTable(u"StdItems");
    tdef = t.tdef_page;
    root = t.indexes.at(0).root_page;
  }
  Poke(file, static_cast<std::streamoff>(tdef) * 4096 + 0x10, {0x01, 0x00, 0x00, 0x00});
  CheckReport r = CheckFile(file);
  ASSERT_FALSE(r.ok());
  EXPECT_NE(Join(r.problems).find("StdItems"), std::string::npos) << Join(r.problems);
  // Swap two bytes in the first key of the primary key's root page entry area.
  Poke(file, static_cast<std::streamoff>(root) * 4096 + 0x1E0 + 1, {0x00});
  r = CheckFile(file);
  EXPECT_GE(r.problems.size(), 2u) << Join(r.problems);
}

}  // namespace
}  // namespace jet
