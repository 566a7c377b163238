// The key repair of unindexed tables: the worked Monster example, the null-key change, numeric
// keys, the whole unindexed fixture, and the hashed plan against a literal pairwise one on many
// small random tables.

#include "database/key_repair.h"

#include <random>

#include "database/data_source.h"
#include "database/table_indexes.h"
#include "jet/check.h"
#include "tableops_test_util.h"

namespace database {
namespace {

// The repair's steps 5 to 8 as written: every pair of records compared, the free-text test by a
// walk over the value list. A null key is listed at its own turn when nothing listed it before.
std::vector<KeyRepairEntry> LiteralPlan(const std::vector<KeyValue>& values) {
  struct Entry {
    QString text;
    int position;
  };
  std::vector<Entry> list;
  for (size_t i = 0; i < values.size(); ++i) list.push_back({values[i].text, static_cast<int>(i)});
  std::vector<KeyRepairEntry> duplicates;
  auto ascii_equal = [](const QString& a, const QString& b) {
    if (a.size() != b.size()) return false;
    for (qsizetype k = 0; k < a.size(); ++k) {
      QChar x = a[k], y = b[k];
      if (x >= u'A' && x <= u'Z') x = QChar(x.unicode() + 32);
      if (y >= u'A' && y <= u'Z') y = QChar(y.unicode() + 32);
      if (x != y) return false;
    }
    return true;
  };
  const size_t c = list.size();
  for (size_t i = 0; i < c; ++i) {
    if (values[i].null && list[i].position != -1) {
      duplicates.push_back({list[i].text, list[i].position});
      list[i].position = -1;
    }
    for (size_t j = i + 1; j < c; ++j) {
      if (ascii_equal(list[i].text, list[j].text)) {
        duplicates.push_back({list[j].text, static_cast<int>(j)});
        list[j].position = -1;
      }
    }
  }
  if (duplicates.empty()) return duplicates;
  for (size_t i = list.size(); i-- > 0;) {
    if (list[i].position == -1) list.erase(list.begin() + static_cast<ptrdiff_t>(i));
  }
  auto present = [&](const QString& text) {
    for (const Entry& e : list) {
      if (SameFolded(e.text, text)) return true;
    }
    return false;
  };
  for (KeyRepairEntry& d : duplicates) {
    QString candidate = d.text + "0";
    for (int n = 1; present(candidate); ++n) candidate = d.text + QString::number(n);
    d.text = candidate;
    list.push_back({candidate, 0});
  }
  return duplicates;
}

QString AsciiLower(QString text) {
  for (QChar& c : text) {
    if (c >= u'A' && c <= u'Z') c = QChar(c.unicode() + 32);
  }
  return text;
}

TEST(PlanKeyRepair, WorkedMonsterExample) {
  const std::vector<KeyValue> values = {{"Wolf"}, {"Bear"}, {"wolf"}, {"Wolf0"}, {"Wolf"}};
  const std::vector<KeyRepairEntry> expected = {{"wolf1", 2}, {"Wolf2", 4}, {"Wolf3", 4}};
  EXPECT_EQ(PlanKeyRepair(values), expected);
  EXPECT_EQ(LiteralPlan(values), expected);
}

TEST(PlanKeyRepair, NullKeysAllGetDigits) {
  const std::vector<KeyValue> values = {{"", true}, {"1"}, {"", true}, {"5"}, {"5"}, {"", true}};
  const std::vector<KeyRepairEntry> expected = {{"0", 0}, {"2", 2}, {"3", 5}, {"4", 5}, {"50", 4}};
  EXPECT_EQ(PlanKeyRepair(values), expected);
  EXPECT_EQ(LiteralPlan(values), expected);
  // No null and no repetition: nothing to do.
  EXPECT_TRUE(PlanKeyRepair({{"a"}, {"b"}, {QStringLiteral("Ä")}, {QStringLiteral("ä")}}).empty());
}

TEST(PlanKeyRepair, HashedPlanEqualsTheLiteralOneOnRandomTables) {
  std::mt19937 rng(20261209);
  const QStringList pool = {"Wolf",
                            "wolf",
                            "WOLF",
                            "Wolf0",
                            "wolf1",
                            "Wolf01",
                            "Bear",
                            "bear0",
                            QStringLiteral("鸡"),
                            QStringLiteral("鸡0"),
                            QStringLiteral("Äpfel"),
                            QStringLiteral("äpfel"),
                            QStringLiteral("ÄPFEL0"),
                            "5",
                            "50",
                            "51",
                            "-1",
                            "0",
                            "1",
                            "10",
                            "",
                            "x"};
  for (int round = 0; round < 600; ++round) {
    const int size = static_cast<int>(rng() % 14);
    std::vector<KeyValue> values;
    for (int i = 0; i < size; ++i) {
      const unsigned pick = rng() % (static_cast<unsigned>(pool.size()) + 2);
      if (pick >= static_cast<unsigned>(pool.size())) {
        values.push_back({"", true});
      } else {
        values.push_back({pool[static_cast<qsizetype>(pick)], false});
      }
    }
    const auto hashed = PlanKeyRepair(values);
    ASSERT_EQ(hashed, LiteralPlan(values)) << "round " << round;
    // After the plan no two keys are equal under the repetition comparison and none is null.
    // (Keys that differ only in the case of non-ASCII letters are not repetitions and stay.)
    std::vector<QString> final_texts;
    for (const KeyValue& v : values) final_texts.push_back(v.null ? QString() : v.text);
    std::vector<bool> is_null;
    for (const KeyValue& v : values) is_null.push_back(v.null);
    for (const KeyRepairEntry& e : hashed) {
      final_texts[static_cast<size_t>(e.position)] = e.text;
      is_null[static_cast<size_t>(e.position)] = false;
    }
    for (size_t i = 0; i < final_texts.size(); ++i) {
      EXPECT_FALSE(is_null[i]);
      for (size_t j = i + 1; j < final_texts.size(); ++j) {
        EXPECT_NE(AsciiLower(final_texts[i]), AsciiLower(final_texts[j]))
            << "round " << round << ": " << final_texts[i].toStdString();
      }
    }
  }
}

class KeyRepairTest : public optest::OpsTest {
 protected:
  // Repairs `table` through a query and a data source as the window does.
  bool Repair(const QString& table) {
    DataSource source;
    Query* query = source.AdoptDataSet(std::make_unique<Query>());
    query->SetConnection(&conn_);
    const bool done = RepairTableKey(&source, query, table);
    statement_ = query->SQL().Lines();
    active_after_ = query->Active();
    return done;
  }
  IndexList Indexes(const QString& table) {
    IndexList list;
    ReadTableIndexes(path_, table, list);
    return list;
  }
  QStringList statement_;
  bool active_after_ = false;
};

TEST_P(KeyRepairTest, WorkedMonsterExampleOnAFile) {
  Create({"CREATE TABLE Monster (Name TEXT(30), Lvl SHORT)",
          "INSERT INTO Monster(Name, Lvl) VALUES('Wolf', 1)",
          "INSERT INTO Monster(Name, Lvl) VALUES('Bear', 2)",
          "INSERT INTO Monster(Name, Lvl) VALUES('wolf', 3)",
          "INSERT INTO Monster(Name, Lvl) VALUES('Wolf0', 4)",
          "INSERT INTO Monster(Name, Lvl) VALUES('Wolf', 5)"});
  ASSERT_TRUE(Repair("Monster"));
  EXPECT_EQ(Rows("Monster"), QStringList({"Wolf|1", "Bear|2", "wolf1|3", "Wolf0|4", "Wolf3|5"}));
  EXPECT_EQ(statement_, QStringList({"Create Index iName ON Monster ([Name])"}));
  EXPECT_FALSE(active_after_);
  const IndexList indexes = Indexes("Monster");
  ASSERT_EQ(indexes.size(), 2u);
  int primaries = 0;
  for (const auto& index : indexes) primaries += index.primary;
  EXPECT_EQ(primaries, 1);
  EXPECT_TRUE(jet::CheckFile(path_.toStdString()).ok());
}

TEST_P(KeyRepairTest, OtherTablesAndMissingKeyColumnsAreLeftAlone) {
  Create({"CREATE TABLE Things (Name TEXT(30))", "CREATE TABLE magic (Other TEXT(30))",
          "INSERT INTO Things(Name) VALUES('a')", "INSERT INTO Things(Name) VALUES('a')"});
  const uint64_t before = FileHash();
  EXPECT_FALSE(Repair("Things"));
  EXPECT_TRUE(active_after_);
  EXPECT_EQ(statement_, QStringList({"SELECT * FROM Things"}));
  EXPECT_FALSE(Repair("magic"));
  EXPECT_EQ(FileHash(), before);
}

TEST_P(KeyRepairTest, EmptyTableStillGetsItsKey) {
  Create({"CREATE TABLE MAGIC (MagName TEXT(30))"});
  ASSERT_TRUE(Repair("MAGIC"));
  EXPECT_EQ(statement_, QStringList({"Create Index iMagName ON MAGIC ([MagName])"}));
  EXPECT_EQ(Indexes("MAGIC").size(), 2u);
}

TEST_P(KeyRepairTest, NumericKeysAndNulls) {
  Create({"CREATE TABLE StdItems (Idx LONG, Name TEXT(10))",
          "INSERT INTO StdItems(Idx, Name) VALUES(5, 'a')",
          "INSERT INTO StdItems(Idx, Name) VALUES(Null, 'b')",
          "INSERT INTO StdItems(Idx, Name) VALUES(5, 'c')",
          "INSERT INTO StdItems(Idx, Name) VALUES(50, 'd')",
          "INSERT INTO StdItems(Idx, Name) VALUES(Null, 'e')"});
  ASSERT_TRUE(Repair("StdItems"));
  EXPECT_EQ(Rows("StdItems"), QStringList({"5|a", "0|b", "51|c", "50|d", "1|e"}));
  EXPECT_TRUE(jet::CheckFile(path_.toStdString()).ok());
}

TEST_P(KeyRepairTest, TheUnindexedFixture) {
  SKIP_WITHOUT("game-unindexed.mdb");
  for (const QString table : {"StdItems", "Magic", "Monster"}) {
    ASSERT_TRUE(Indexes(table).empty());
    ASSERT_TRUE(Repair(table)) << table.toStdString();
    EXPECT_EQ(Indexes(table).size(), 2u);
    const QStringList rows = Rows(table);
    const int key = table == "Magic" ? 1 : 0;
    QSet<QString> seen;
    for (const QString& row : rows) {
      const QString value = row.section(u'|', key, key);
      EXPECT_NE(value, "<null>");
      EXPECT_FALSE(seen.contains(AsciiLower(value))) << value.toStdString();
      seen.insert(AsciiLower(value));
    }
  }
  const jet::CheckReport report = jet::CheckFile(path_.toStdString());
  EXPECT_TRUE(report.ok()) << (report.problems.empty() ? "" : report.problems.front());
  if (testutil::MdbtoolsComparisonAvailable()) {
    conn_.Close();
    EXPECT_EQ(testutil::CompareWithMdbtools(dir_, path_.toStdString()).substr(0, 5), "AGREE");
  }
}

OPS_TEST_FORMATS(KeyRepairTest);

}  // namespace
}  // namespace database
