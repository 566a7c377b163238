// Randomized round trips of row writes: thousands of inserts, updates and deletes with fixed
// seeds, including long memo values and CJK text. After every batch the rows read back exactly
// as the model says, the stored row count matches, and mdbtools reads the same data.

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "jet/check.h"
#include "jet/database.h"
#include "support/write_test_util.h"

namespace jet {
namespace {

using testutil::TempDir;

struct RowIdLess {
  bool operator()(RowId a, RowId b) const {
    return a.page != b.page ? a.page < b.page : a.row < b.row;
  }
};
using Model = std::map<RowId, std::vector<Value>, RowIdLess>;

std::u16string RandomText(std::mt19937& rng, size_t max_len) {
  static const std::u16string kAlphabet =
      u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 -'_"
      u"火球术鸡狼魔法治疗剑盾龙王之石éüßñ";
  std::uniform_int_distribution<size_t> len(0, max_len);
  std::uniform_int_distribution<size_t> pick(0, kAlphabet.size() - 1);
  std::u16string s(len(rng), u' ');
  for (char16_t& c : s) c = kAlphabet[pick(rng)];
  return s;
}

// Checks the table against the model: the same rows by id, and the stored count.
void ExpectTableEquals(Database& db, const std::u16string& table, const Model& model) {
  TableDef def = db.GetTable(table);
  Model seen;
  db.Scan(def, [&](RowId id, std::vector<Value>& v) {
    EXPECT_TRUE(seen.emplace(id, v).second) << "row seen twice";
    return true;
  });
  EXPECT_EQ(def.row_count, model.size());
  ASSERT_EQ(seen.size(), model.size());
  for (const auto& [id, values] : model) {
    auto it = seen.find(id);
    ASSERT_NE(it, seen.end()) << "row " << id.page << ":" << int(id.row) << " missing";
    EXPECT_EQ(it->second, values) << "row " << id.page << ":" << int(id.row);
  }
}

// Compares `mdbtool dump` of `file` with what mdbtools reads, the way the shared comparison
// script does, except that rows are compared as a multiset: mdbtools reads a row that moved to an
// overflow slot at the position of that slot, not of its header. Returns "AGREE" or the diff.
std::string CompareWithMdbtools(const TempDir& dir, const std::string& file) {
  const std::string tools = std::string(MDB_SHARED_DIR) + "/tools/";
  const std::string ours = dir.File("ours.jsonl");
  const std::string theirs = dir.File("theirs.txt");
  int status = 0;
  testutil::RunCommand(std::string(MDBTOOL_PATH) + " dump '" + file + "' > '" + ours + "'",
                       &status);
  if (status != 0) return "mdbtool dump failed";
  testutil::RunCommand(tools + "mdbt-dump.sh '" + file + "' > '" + theirs + "' 2>/dev/null",
                       &status);
  if (status != 0) return "mdbtools failed";
  const std::string norm = "node " + tools + "dump-normalize.mjs ";
  testutil::RunCommand(norm + "J T '" + ours + "' '" + ours + ".n' >/dev/null");
  testutil::RunCommand(norm + "T J '" + theirs + "' '" + theirs + ".n' >/dev/null");
  testutil::RunCommand("LC_ALL=C sort '" + ours + ".n' > '" + ours + ".s'");
  testutil::RunCommand("LC_ALL=C sort '" + theirs + ".n' > '" + theirs + ".s'");
  std::string diff =
      testutil::RunCommand("diff '" + ours + ".s' '" + theirs + ".s' | head -c 2000");
  return diff.empty() ? "AGREE" : "DIFFER\n" + diff;
}

Model ScanModel(Database& db, const std::u16string& table) {
  Model m;
  db.Scan(db.GetTable(table), [&](RowId id, std::vector<Value>& v) {
    m.emplace(id, v);
    return true;
  });
  return m;
}

// A random row for `def`: every column gets a value of its type (NULL now and then), text up
// to the column length with CJK characters, memos from a few bytes to several pages.
std::vector<Value> RandomRow(const TableDef& def, std::mt19937& rng) {
  std::uniform_int_distribution<int> small(-32768, 32767);
  std::uniform_int_distribution<int> pct(0, 99);
  std::vector<Value> v;
  for (const Column& c : def.columns) {
    const int k = pct(rng);
    if (k < 8 && c.type != ColumnType::kBoolean && !c.autonumber()) {
      v.emplace_back();
      continue;
    }
    switch (c.type) {
      case ColumnType::kBoolean: v.emplace_back(k % 2 == 0); break;
      case ColumnType::kByte: v.emplace_back(static_cast<uint8_t>(rng())); break;
      case ColumnType::kInt: v.emplace_back(static_cast<int16_t>(small(rng))); break;
      case ColumnType::kLong:
        v.emplace_back(c.autonumber() ? Value() : Value(static_cast<int32_t>(rng())));
        break;
      case ColumnType::kDouble: v.emplace_back(static_cast<double>(small(rng)) / 8); break;
      case ColumnType::kDateTime: v.emplace_back(DateTime{static_cast<double>(k * 500)}); break;
      case ColumnType::kText:
        v.emplace_back(RandomText(rng, std::min<size_t>(c.length / 2u, 40)));
        break;
      case ColumnType::kMemo:
        v.emplace_back(RandomText(rng, k < 50 ? 60 : k < 90 ? 3000 : 12000));
        break;
      default: v.emplace_back(); break;
    }
  }
  return v;
}

// Applies `ops` random writes to `table` of `db`, keeping `model` in step. A write refused by a
// unique index must leave the file byte-for-byte unchanged.
void RandomWrites(Database& db, const std::string& file, const std::u16string& table,
                  Model& model, std::mt19937& rng, int ops) {
  const TableDef def = db.GetTable(table);
  std::uniform_int_distribution<int> what(0, 99);
  for (int i = 0; i < ops; ++i) {
    const int w = what(rng);
    try {
      if (model.empty() || w < 55) {
        std::vector<Value> v = RandomRow(def, rng);
        RowId id = db.InsertRow(table, v);
        v = db.ReadRow(def, id);  // autonumbers were assigned
        ASSERT_TRUE(model.emplace(id, v).second) << "row id reused";
        continue;
      }
      auto it = model.begin();
      std::advance(it, std::uniform_int_distribution<size_t>(0, model.size() - 1)(rng));
      if (w < 85) {
        std::vector<Value> v = RandomRow(def, rng);
        for (size_t c = 0; c < def.columns.size(); ++c) {
          if (def.columns[c].autonumber()) v[c] = it->second[c];
        }
        const uint64_t before = testutil::HashFile(file);
        try {
          db.UpdateRow(table, it->first, v);
        } catch (const Error& e) {
          ASSERT_EQ(e.kind(), Error::Kind::kConstraint) << e.what();
          ASSERT_EQ(testutil::HashFile(file), before) << "rejected update changed the file";
          continue;
        }
        it->second = v;
      } else {
        db.DeleteRow(table, it->first);
        model.erase(it);
      }
    } catch (const Error& e) {
      ASSERT_EQ(e.kind(), Error::Kind::kConstraint) << e.what();
    }
  }
}

void RunRoundTrip(const std::string& fixture, const std::u16string& table, uint32_t seed,
                  int batches, int ops) {
  if (testutil::FixturePath(fixture).empty()) GTEST_SKIP() << "no ../shared";
  TempDir dir;
  const std::string file = testutil::CopyFixture(dir, fixture);
  std::mt19937 rng(seed);
  auto db = Database::Open(file, OpenMode::kReadWrite);
  Model model = ScanModel(*db, table);
  for (int batch = 0; batch < batches; ++batch) {
    RandomWrites(*db, file, table, model, rng, ops);
    ExpectTableEquals(*db, table, model);
    CheckReport report = CheckFile(file);
    EXPECT_TRUE(report.ok()) << "batch " << batch << ": " << report.problems.front();
    if (batch % 3 == 2 || batch == batches - 1) {
      const std::string verdict = CompareWithMdbtools(dir, file);
      EXPECT_EQ(verdict.substr(0, 5), "AGREE") << "batch " << batch << ": " << verdict;
    }
  }
  db.reset();
  auto reopened = Database::Open(file);
  ExpectTableEquals(*reopened, table, model);
}

TEST(RoundTripRowsTest, UnindexedTableWithMemos) {
  RunRoundTrip("game-unindexed.mdb", u"StdItems", 20240611, 6, 250);
}

TEST(RoundTripRowsTest, LongPrimaryKey) {
  RunRoundTrip("game-indexed.mdb", u"StdItems", 7, 6, 250);
}

TEST(RoundTripRowsTest, TextPrimaryKeyAndSecondIndex) {
  RunRoundTrip("game-indexed.mdb", u"Monster", 99, 6, 250);
}

}  // namespace
}  // namespace jet
