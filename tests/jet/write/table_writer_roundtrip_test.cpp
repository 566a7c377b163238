// Randomized round trips of row writes: thousands of inserts, updates and deletes with fixed
// seeds, including long memo values and CJK text. After every batch the rows read back exactly
// as the model says, the stored row count matches, the checker finds nothing and mdbtools reads
// the same data. The tables come from the shared fixtures and from databases the engine created.

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

// Random text of up to `max_len` characters: CJK for Jet4, Windows-1252 characters (euro sign,
// curly quotes and accented letters included) for Jet3, whose fixtures use that code page.
std::u16string RandomText(std::mt19937& rng, size_t max_len, Format format) {
  static const std::u16string kAlphabet =
      u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 -'_"
      u"火球术鸡狼魔法治疗剑盾龙王之石éüßñ";
  static const std::u16string kJet3Alphabet =
      u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 -'_"
      u"éüßñÄÖÅæøÿ€‘’“”–Šœ";
  const std::u16string& alphabet = format == Format::kJet3 ? kJet3Alphabet : kAlphabet;
  std::uniform_int_distribution<size_t> len(0, max_len);
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  std::u16string s(len(rng), u' ');
  for (char16_t& c : s) c = alphabet[pick(rng)];
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

Model ScanModel(Database& db, const std::u16string& table) {
  Model m;
  db.Scan(db.GetTable(table), [&](RowId id, std::vector<Value>& v) {
    m.emplace(id, v);
    return true;
  });
  return m;
}

// A random row for `def`: every column gets a value of its type (NULL now and then), text up
// to the column length (Jet4 lengths count two bytes a character), memos from a few bytes to
// several pages.
std::vector<Value> RandomRow(const TableDef& def, Format format, std::mt19937& rng) {
  const size_t bytes_per_char = format == Format::kJet3 ? 1 : 2;
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
        v.push_back(Value(RandomText(
            rng, std::min<size_t>(c.length / bytes_per_char, k < 20 ? 255 : 40), format)));
        break;
      case ColumnType::kMemo:
        v.push_back(Value(RandomText(rng, k < 50 ? 60 : k < 90 ? 3000 : 12000, format)));
        break;
      case ColumnType::kFloat: v.emplace_back(static_cast<float>(small(rng)) / 4); break;
      case ColumnType::kMoney: v.emplace_back(Currency{int64_t{small(rng)} * 12345}); break;
      case ColumnType::kNumeric: {
        const auto magnitude = static_cast<UInt128>(rng() % 100000000);
        v.emplace_back(Decimal{magnitude != 0 && k % 2 == 0, magnitude, c.scale});
        break;
      }
      case ColumnType::kGuid: {
        Guid g;
        for (uint8_t& b : g.bytes) b = static_cast<uint8_t>(rng());
        v.emplace_back(g);
        break;
      }
      case ColumnType::kBinary:
      case ColumnType::kOle: {
        const size_t max = c.type == ColumnType::kBinary ? c.length : (k < 70 ? 100 : 9000);
        Bytes b(std::uniform_int_distribution<size_t>(1, max)(rng));
        // mdbtools cuts BINARY values at the first zero byte, so those hold none.
        const uint32_t low = c.type == ColumnType::kBinary ? 1 : 0;
        for (uint8_t& x : b) x = static_cast<uint8_t>(low + rng() % (256 - low));
        v.emplace_back(std::move(b));
        break;
      }
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
        std::vector<Value> v = RandomRow(def, db.format(), rng);
        RowId id = db.InsertRow(table, v);
        v = db.ReadRow(def, id);  // autonumbers were assigned
        ASSERT_TRUE(model.emplace(id, v).second) << "row id reused";
        continue;
      }
      auto it = model.begin();
      std::advance(it, std::uniform_int_distribution<size_t>(0, model.size() - 1)(rng));
      if (w < 85) {
        std::vector<Value> v = RandomRow(def, db.format(), rng);
        for (size_t c = 0; c < def.columns.size(); ++c) {
          if (def.columns[c].autonumber() || def.columns[c].auto_guid()) v[c] = it->second[c];
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

// Runs `batches` batches of `ops` random writes on `table` of `file` (in `dir`), checking the
// table against the model, the checker and mdbtools after every batch.
void RunBatches(const TempDir& dir, const std::string& file, const std::u16string& table,
                uint32_t seed, int batches, int ops) {
  std::mt19937 rng(seed);
  auto db = Database::Open(file, OpenMode::kReadWrite);
  Model model = ScanModel(*db, table);
  for (int batch = 0; batch < batches; ++batch) {
    RandomWrites(*db, file, table, model, rng, ops);
    ExpectTableEquals(*db, table, model);
    CheckReport report = CheckFile(file);
    EXPECT_TRUE(report.ok()) << "batch " << batch << ": " << report.problems.front();
    if (testutil::MdbtoolsComparisonAvailable()) {
      const std::string verdict = testutil::CompareWithMdbtools(dir, file);
      EXPECT_EQ(verdict.substr(0, 5), "AGREE") << "batch " << batch << ": " << verdict;
    }
  }
  db.reset();
  auto reopened = Database::Open(file);
  ExpectTableEquals(*reopened, table, model);
}

void RunRoundTrip(const std::string& fixture, const std::u16string& table, uint32_t seed,
                  int batches, int ops) {
  if (testutil::FixturePath(fixture).empty()) GTEST_SKIP() << "no ../shared";
  TempDir dir;
  RunBatches(dir, testutil::CopyFixture(dir, fixture), table, seed, batches, ops);
}

// Every Access 97 fixture: the tables cover every Jet3 column type, memos (MSP_PROJECTS), a
// dropped column (delColTest), rows wide enough for jump tables (Table2 of testV1997: 70 text
// columns), primary keys, unique, multi-column, descending and text indexes.
struct Jet3Case {
  const char* fixture;
  const char16_t* table;
  uint32_t seed;
};

void PrintTo(const Jet3Case& c, std::ostream* os) { *os << c.fixture << " " << ToUtf8(c.table); }

class Jet3RoundTripTest : public testing::TestWithParam<Jet3Case> {};

TEST_P(Jet3RoundTripTest, RowsModelCheckerAndMdbtoolsAgree) {
  const Jet3Case& c = GetParam();
  RunRoundTrip(std::string("access/") + c.fixture, c.table, c.seed, 3, 120);
}

INSTANTIATE_TEST_SUITE_P(
    Jet3, Jet3RoundTripTest,
    testing::Values(Jet3Case{"jackcess-V1997-testV1997.mdb", u"Table1", 1},
                    Jet3Case{"jackcess-V1997-testV1997.mdb", u"Table2", 2},
                    Jet3Case{"jackcess-V1997-testV1997.mdb", u"Table4", 3},
                    Jet3Case{"mdbreader-V1997-test.mdb", u"Table1", 4},
                    Jet3Case{"mdbreader-V1997-test.mdb", u"Table3", 5},
                    Jet3Case{"jackcess-V1997-test2V1997.mdb", u"MSP_PROJECTS", 6},
                    Jet3Case{"jackcess-V1997-compIndexTestV1997.mdb", u"Table1", 7},
                    Jet3Case{"jackcess-V1997-delColTestV1997.mdb", u"Table1", 8},
                    Jet3Case{"jackcess-V1997-delTestV1997.mdb", u"Table", 9},
                    Jet3Case{"jackcess-V1997-indexTestV1997.mdb", u"Table1", 10},
                    Jet3Case{"jackcess-V1997-overflowTestV1997.mdb", u"Table1", 11},
                    Jet3Case{"jackcess-V1997-queryTestV1997.mdb", u"Table2", 12},
                    Jet3Case{"jackcess-V1997-testIndexCodesV1997.mdb", u"Table12_asc_desc", 13}),
    [](const testing::TestParamInfo<Jet3Case>& param_info) {
      std::string name = param_info.param.fixture;
      name = name.substr(0, name.find('.'));
      for (char& ch : name) {
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
      }
      return name + "_" + std::to_string(param_info.index);
    });

// The same on a database and table the engine created itself.
void RunRoundTripOnCreated(const std::vector<std::string>& statements, const std::u16string& table,
                           uint32_t seed, int batches, int ops) {
  TempDir dir;
  const std::string file = dir.File("created.mdb");
  {
    auto db = Database::Create(file);
    for (const std::string& sql : statements) db->Execute(sql);
  }
  RunBatches(dir, file, table, seed, batches, ops);
}

TEST(RoundTripRowsTest, CreatedTableOfEveryType) {
  RunRoundTripOnCreated(
      {"CREATE TABLE Things (ID COUNTER PRIMARY KEY, Code TEXT(40) NOT NULL, Small BYTE, "
       "Qty SHORT, Big LONG, Ratio SINGLE, Score DOUBLE, Price CURRENCY, Amount DECIMAL(18,4), "
       "Seen DATETIME, Flag BIT, Tag GUID, Raw BINARY(32), Body MEMO, Blob LONGBINARY)",
       "CREATE INDEX CodeIdx ON Things (Code)", "CREATE UNIQUE INDEX BigIdx ON Things (Big DESC)"},
      u"Things", 424242, 6, 300);
}

TEST(RoundTripRowsTest, CreatedTableWithTextKey) {
  RunRoundTripOnCreated({"CREATE TABLE Names (Name TEXT(12) PRIMARY KEY, Zone TEXT(20), "
                         "Note MEMO, Stamp DATETIME NOT NULL)",
                         "CREATE INDEX ZoneIdx ON Names (Zone, Stamp DESC)"},
                        u"Names", 31337, 6, 300);
}

// Tables and indexes made by the engine inside an existing Access 97 file: CREATE TABLE with
// every Jet3 type, CREATE INDEX on a populated Access-written table, ALTER TABLE ... ADD PRIMARY
// KEY on one.
void RunRoundTripOnJet3(const std::vector<std::string>& statements, const std::u16string& table,
                        uint32_t seed,
                        const std::string& fixture = "access/jackcess-V1997-testV1997.mdb") {
  if (testutil::FixturePath(fixture).empty()) GTEST_SKIP() << "no ../shared";
  TempDir dir;
  const std::string file = testutil::CopyFixture(dir, fixture);
  {
    auto db = Database::Open(file, OpenMode::kReadWrite);
    for (const std::string& sql : statements) db->Execute(sql);
  }
  CheckReport report = CheckFile(file);
  ASSERT_TRUE(report.ok()) << report.problems.front();
  RunBatches(dir, file, table, seed, 4, 150);
}

TEST(RoundTripRowsTest, Jet3CreatedTableOfEveryType) {
  RunRoundTripOnJet3(
      {"CREATE TABLE Things (ID COUNTER PRIMARY KEY, Code TEXT(40) NOT NULL, Small BYTE, "
       "Qty SHORT, Big LONG, Ratio SINGLE, Score DOUBLE, Price CURRENCY, Seen DATETIME, Flag BIT, "
       "Tag GUID, Raw BINARY(32), Body MEMO, Blob LONGBINARY)",
       "CREATE INDEX CodeIdx ON Things (Code)", "CREATE UNIQUE INDEX BigIdx ON Things (Big DESC)"},
      u"Things", 4242);
}

TEST(RoundTripRowsTest, Jet3IndexesAddedToPopulatedTables) {
  RunRoundTripOnJet3({"CREATE INDEX ByE ON Table1 (E DESC, A)",
                      "CREATE UNIQUE INDEX ByD ON Table1 (D) WITH IGNORE NULL"},
                     u"Table1", 97);
  // 512 rows, some without CD_AGENTE.
  RunRoundTripOnJet3({"CREATE INDEX ByAgent ON Table1 (CD_AGENTE, RS_AGENTE DESC)"}, u"Table1", 98,
                     "access/jackcess-V1997-compIndexTestV1997.mdb");
  // A table with a dropped column and no primary key.
  RunRoundTripOnJet3({"ALTER TABLE Table1 ADD PRIMARY KEY CLUSTERED (id2)"}, u"Table1", 99,
                     "access/jackcess-V1997-delColTestV1997.mdb");
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
