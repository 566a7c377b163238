// The checker on every shared fixture (Access-written files included), and what it accepts from
// Access without accepting it from user tables or from files this engine writes.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "jet/check.h"
#include "jet/database.h"
#include "support/fixtures.h"
#include "support/write_test_util.h"

namespace jet {
namespace {

std::string Lines(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\n";
  return s;
}

bool Mentions(const std::vector<std::string>& lines, const std::string& text) {
  return Lines(lines).find(text) != std::string::npos;
}

void PokeU32(const std::string& path, std::streamoff offset, uint32_t v) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(offset);
  const char bytes[4] = {static_cast<char>(v), static_cast<char>(v >> 8),
                         static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
  f.write(bytes, 4);
}

TEST(CheckerFixtures, EveryFixtureChecksClean) {
  MDB_REQUIRE_FIXTURES();
  const std::vector<std::string> all = fixtures::AllDatabases();
  EXPECT_GE(all.size(), 37u);
  for (const std::string& path : all) {
    CheckReport r = CheckFile(path);
    EXPECT_TRUE(r.ok()) << path << ":\n" << Lines(r.problems);
    EXPECT_GT(r.tables, 4) << path;
    EXPECT_GT(r.indexes, 0) << path;
  }
}

TEST(CheckerFixtures, SystemTableCountsAreNotesUserTableCountsProblems) {
  MDB_REQUIRE_FIXTURES();
  testutil::TempDir dir;
  const std::string file = testutil::CopyFixture(dir, "access/jackcess-V2000-testV2000.mdb");
  CheckReport r = CheckFile(file);
  EXPECT_TRUE(r.ok()) << Lines(r.problems);
  EXPECT_TRUE(Mentions(r.notes, "table MSysACEs: the definition says 61 rows, 64 are live"))
      << Lines(r.notes);
  uint32_t tdef = 0;
  {
    auto db = Database::Open(file);
    tdef = db->GetTable(u"Table1").tdef_page;
  }
  PokeU32(file, static_cast<std::streamoff>(tdef) * 4096 + 0x10, 3);  // it has 2 rows
  r = CheckFile(file);
  EXPECT_TRUE(Mentions(r.problems, "table Table1: the definition says 3 rows, 2 are live"))
      << Lines(r.problems);
}

// Access's reference-type global map in this file holds the pointer 0xFFFFFF80 and no bitmap
// page: the checker accepts it and the writer allocates past it.
TEST(CheckerFixtures, WritesOnAFileWithAccessReferenceGlobalMap) {
  MDB_REQUIRE_FIXTURES();
  testutil::TempDir dir;
  const std::string file = testutil::CopyFixture(dir, "access/jackcess-V2000-testRefGlobalV2000.mdb");
  const auto pages_before = std::filesystem::file_size(file) / 4096;
  {
    auto db = Database::Open(file, OpenMode::kReadWrite);
    std::vector<RowId> ids;
    for (int i = 0; i < 120; ++i) {
      const std::u16string key = u"row" + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) +
                                 std::u16string(static_cast<size_t>(i / 26 + 1), u'x');
      ids.push_back(db->InsertRow(u"Table1", {Value(key), Value(std::u16string(90, u'b')),
                                              Value(uint8_t{1}), Value(int16_t{2}), Value(3),
                                              Value(4.5), Value(), Value(), Value(true)}));
    }
    db->DeleteRow(u"Table1", ids.front());
  }
  EXPECT_GT(std::filesystem::file_size(file) / 4096, pages_before);
  CheckReport r = CheckFile(file);
  EXPECT_TRUE(r.ok()) << Lines(r.problems);
  auto db = Database::Open(file);
  EXPECT_EQ(db->GetTable(u"Table1").row_count, 2u + 119u);
}

TEST(CheckerFixtures, UserTableMapRowOutsideTheFileIsStillAProblem) {
  MDB_REQUIRE_FIXTURES();
  testutil::TempDir dir;
  const std::string file = testutil::CopyFixture(dir, "game-indexed.mdb");
  TableDef t;
  {
    auto db = Database::Open(file);
    t = db->GetTable(u"Monster");
  }
  // The owned-pages map row pointer (TDEF 0x37) now names a row on a page past the end: unlike
  // the global map, a table map gets no leniency.
  PokeU32(file, static_cast<std::streamoff>(t.tdef_page) * 4096 + 0x37, 0x00FFFF00u);
  CheckReport r = CheckFile(file);
  EXPECT_TRUE(Mentions(r.problems, "table Monster")) << Lines(r.problems);
}

}  // namespace
}  // namespace jet
