// Relationships read from MSysRelationships, against what an independent library reads from the
// same files and against the rows mdbtools lists.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "jet/database.h"
#include "support/fixtures.h"

namespace {

// One relationship in the shape of expected/relations.relationships.jsonl.
std::string Line(const jet::Relationship& r) {
  auto b = [](bool v) { return v ? "true" : "false"; };
  std::string cols;
  for (size_t i = 0; i < r.referenced_columns.size(); ++i) {
    if (i > 0) cols += ",";
    cols += "[\"" + jet::ToUtf8(r.referenced_columns[i]) + "\",\"" +
            jet::ToUtf8(r.referencing_columns[i]) + "\"]";
  }
  return "{\"name\":\"" + jet::ToUtf8(r.name) + "\",\"from\":\"" + jet::ToUtf8(r.referenced_table) +
         "\",\"to\":\"" + jet::ToUtf8(r.referencing_table) + "\",\"columns\":[" + cols +
         "],\"integrity\":" + b(r.enforced) + ",\"cascadeUpdates\":" + b(r.cascade_update) +
         ",\"cascadeDeletes\":" + b(r.cascade_delete) + ",\"cascadeNull\":" + b(r.cascade_null) +
         "}";
}

TEST(RelationshipsTest, MatchTheIndependentReadingOfRelationsMdb) {
  MDB_REQUIRE_FIXTURES();
  auto db = jet::Database::Open(fixtures::Path("relations.mdb"));
  std::vector<std::string> ours;
  for (const jet::Relationship& r : db->Relationships()) ours.push_back(Line(r));
  std::ifstream in(fixtures::Path("expected/relations.relationships.jsonl"));
  std::vector<std::string> expected;
  for (std::string line; std::getline(in, line);) expected.push_back(line);
  EXPECT_EQ(ours, expected);  // both in name order
}

// Files written by Access: names, tables, columns and the stored flags (mdb-export of
// MSysRelationships), including Access's own relationships between system tables.
TEST(RelationshipsTest, ReadsAccessWrittenFilesOfBothFormats) {
  MDB_REQUIRE_FIXTURES();
  struct Case {
    const char* file;
    std::vector<std::string> names;
    std::vector<uint32_t> flags;
  };
  const Case cases[] = {
      {"access/jackcess-V1997-indexTestV1997.mdb", {"Table2Table1", "Table3Table1"}, {4096, 256}},
      {"access/jackcess-V2000-indexTestV2000.mdb",
       {"MSysNavPaneGroupCategoriesMSysNavPaneGroups", "MSysNavPaneGroupsMSysNavPaneGroupToObjects",
        "Table2Table1", "Table3Table1"},
       {4352, 4352, 4096, 256}},
      {"access/jackcess-V2000-queryTestV2000.mdb", {}, {}},
      {"access/jackcess-empty.mdb", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    auto db = jet::Database::Open(fixtures::Path(c.file));
    const std::vector<jet::Relationship> rels = db->Relationships();
    ASSERT_EQ(rels.size(), c.names.size());
    for (size_t i = 0; i < rels.size(); ++i) {
      EXPECT_EQ(jet::ToUtf8(rels[i].name), c.names[i]);
      EXPECT_EQ(rels[i].flags, c.flags[i]);
      EXPECT_TRUE(rels[i].enforced);
      EXPECT_EQ(rels[i].cascade_delete, (c.flags[i] & 0x1000) != 0);
      EXPECT_EQ(rels[i].cascade_update, (c.flags[i] & 0x100) != 0);
      EXPECT_FALSE(rels[i].cascade_null);
    }
    if (!rels.empty() && c.names.back() == "Table3Table1") {
      const jet::Relationship& r = rels.back();
      EXPECT_EQ(r.referencing_table, u"Table1");
      EXPECT_EQ(r.referencing_columns, std::vector<std::u16string>{u"otherfk2"});
      EXPECT_EQ(r.referenced_table, u"Table3");
      EXPECT_EQ(r.referenced_columns, std::vector<std::u16string>{u"id"});
    }
  }
}

}  // namespace
