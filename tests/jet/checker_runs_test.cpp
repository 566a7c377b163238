// The checker compares each index with keys recomputed from the rows, sorted in runs spilled to a
// temporary file once a table has more entries than a run holds. Runs of two entries must give
// exactly the findings of one run, on every fixture (approximate indexes included) and on files
// with a broken index.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "jet/check.h"
#include "jet/database.h"
#include "support/write_test_util.h"

namespace jet {
namespace {

void ExpectSameReport(const CheckReport& a, const CheckReport& b, const std::string& what) {
  EXPECT_EQ(a.problems, b.problems) << what;
  EXPECT_EQ(a.approximate_indexes, b.approximate_indexes) << what;
  EXPECT_EQ(a.notes, b.notes) << what;
  EXPECT_EQ(a.tables, b.tables) << what;
  EXPECT_EQ(a.indexes, b.indexes) << what;
  EXPECT_EQ(a.rows, b.rows) << what;
}

std::vector<std::string> AllFixtures() {
  std::vector<std::string> out;
  const std::string big = testutil::FixturePath("big.mdb");
  if (big.empty()) return out;
  const std::filesystem::path dir = std::filesystem::path(big).parent_path();
  for (const auto& sub : {dir, dir / "access"}) {
    for (const auto& e : std::filesystem::directory_iterator(sub)) {
      if (e.path().extension() == ".mdb" && e.path().filename() != "big.mdb") {
        out.push_back(e.path().string());
      }
    }
  }
  return out;
}

TEST(CheckerRunsTest, TinyRunsFindWhatOneRunFinds) {
  const std::vector<std::string> files = AllFixtures();
  if (files.empty()) GTEST_SKIP() << "no ../shared";
  size_t approximate = 0;
  for (const std::string& f : files) {
    const CheckReport whole = CheckFile(f);
    approximate += whole.approximate_indexes.size();
    ExpectSameReport(CheckFile(f, 2), whole, f);
  }
  EXPECT_GT(approximate, 0u);  // the approximate path ran with spilled runs too
}

void Poke(const std::string& path, std::streamoff offset, std::vector<uint8_t> bytes) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(offset);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Broken entries at the start, the middle and the end of a leaf, in two indexes of the table.
TEST(CheckerRunsTest, TinyRunsFindTheSameBrokenEntries) {
  if (testutil::FixturePath("game-indexed.mdb").empty()) GTEST_SKIP() << "no ../shared";
  int broken = 0;
  for (int index = 0; index < 2; ++index) {
    for (int at : {1, 40, 300, 1200}) {
      testutil::TempDir dir;
      const std::string file = testutil::CopyFixture(dir, "game-indexed.mdb");
      uint32_t root = 0;
      {
        auto db = Database::Open(file);
        const TableDef t = db->GetTable(u"StdItems");
        if (static_cast<size_t>(index) >= t.indexes.size()) continue;
        root = t.indexes.at(static_cast<size_t>(index)).root_page;
      }
      Poke(file, static_cast<std::streamoff>(root) * 4096 + 0x1E0 + at, {0x00, 0x7F});
      const CheckReport whole = CheckFile(file);
      if (!whole.ok()) ++broken;
      ExpectSameReport(CheckFile(file, 2), whole, std::to_string(index) + " " + std::to_string(at));
      ExpectSameReport(CheckFile(file, 1), whole, std::to_string(index) + " " + std::to_string(at));
    }
  }
  EXPECT_GE(broken, 4);
}

}  // namespace
}  // namespace jet
