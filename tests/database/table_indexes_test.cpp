#include "database/table_indexes.h"

#include <gtest/gtest.h>

#include "db_test_util.h"
#include "jet/error.h"

namespace {

using database::IndexList;
using database::ReadTableIndexes;

class TableIndexesTest : public dbtest::DbTest {};

TEST_F(TableIndexesTest, ListsEveryIndexWithItsPrimaryFlagWhileTheConnectionHoldsTheFile) {
  SKIP_WITHOUT_FIXTURE("game-indexed.mdb");
  ASSERT_TRUE(conn_.Connected());
  IndexList monster;
  ReadTableIndexes(path_, QStringLiteral("Monster"), monster);
  ASSERT_EQ(monster.size(), 2u);
  int primaries = 0;
  for (const auto& entry : monster) {
    if (entry.name == QStringLiteral("Zone")) {
      EXPECT_EQ(entry.primary, 0);
    }
    if (entry.name == QStringLiteral("PrimaryKey")) {
      EXPECT_EQ(entry.primary, 1);
    }
    primaries += entry.primary;
  }
  EXPECT_EQ(primaries, 1);

  IndexList std_items;
  ReadTableIndexes(path_, QStringLiteral("stditems"), std_items);  // names as the engine finds them
  ASSERT_EQ(std_items.size(), 1u);
  EXPECT_EQ(std_items[0].name, QStringLiteral("PrimaryKey"));
  EXPECT_EQ(std_items[0].primary, 1);
}

TEST_F(TableIndexesTest, AppendsToTheListAndLeavesTablesWithoutIndexEmpty) {
  SKIP_WITHOUT_FIXTURE("game-unindexed.mdb");
  IndexList list;
  for (const char* table : {"StdItems", "Magic", "Monster"}) {
    ReadTableIndexes(path_, QString::fromUtf8(table), list);
    EXPECT_TRUE(list.empty()) << table;
  }
  ReadTableIndexes(path_, QStringLiteral("Settings"), list);
  ReadTableIndexes(path_, QStringLiteral("Settings"), list);
  ASSERT_EQ(list.size(), 2u);  // appended, never cleared
  EXPECT_EQ(list[1].primary, 1);
}

TEST_F(TableIndexesTest, UnknownTableOrFileFailsAndKeepsEarlierEntries) {
  SKIP_WITHOUT_FIXTURE("game-indexed.mdb");
  IndexList list{{QStringLiteral("kept"), 0}};
  EXPECT_THROW(ReadTableIndexes(path_, QStringLiteral("NoSuchTable"), list), jet::Error);
  EXPECT_THROW(ReadTableIndexes(path_ + QStringLiteral(".missing"), QStringLiteral("Magic"), list),
               jet::Error);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name, QStringLiteral("kept"));
  // The failed calls released their second open: the file can still be read again.
  ReadTableIndexes(path_, QStringLiteral("Magic"), list);
  EXPECT_EQ(list.size(), 2u);
}

}  // namespace
