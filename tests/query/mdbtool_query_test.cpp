// mdbtool's queries command and the Access SQL side of its sql command.

#include <gtest/gtest.h>

#include <sstream>

#include "commands.h"
#include "support/fixtures.h"

namespace {

struct ToolRun {
  int status;
  std::string out, err;
};

ToolRun Mdbtool(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = cli::RunMdbtool(args, out, err);
  return {status, out.str(), err.str()};
}

TEST(MdbtoolQueries, ListsEveryQueryAndPrintsOne) {
  MDB_REQUIRE_FIXTURES();
  const std::string file = fixtures::Path("access/jackcess-V1997-queryTestV1997.mdb");
  const ToolRun all = Mdbtool({"queries", file});
  ASSERT_EQ(all.status, 0) << all.err;
  for (const char* head :
       {"-- SelectQuery (select)\n", "-- UnionQuery (union)\n", "-- CrosstabQuery (crosstab)\n",
        "-- UpdateQuery (update)\n", "-- DataDefinitionQuery (data-definition)\n"}) {
    EXPECT_NE(all.out.find(head), std::string::npos) << head;
  }
  const ToolRun one = Mdbtool({"queries", file, "deletequery"});
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(one.out,
            "DELETE Table1.col1, Table1.col2, Table1.col3\nFROM Table1\nWHERE "
            "(((Table1.col1)>\"blah\"));\n");
  const ToolRun missing = Mdbtool({"queries", file, "Nothing"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("no saved query named 'Nothing'"), std::string::npos);
}

TEST(MdbtoolSql, AccessSqlCsvAndParameters) {
  MDB_REQUIRE_FIXTURES();
  fixtures::ScratchDir dir;
  const std::string file = dir.Copy("access/jackcess-V2000-queryTestV2000.mdb");
  ASSERT_EQ(Mdbtool({"sql", file, "INSERT INTO Table1 (col1, col2) VALUES ('a', 'x,y')"}).status,
            0);
  ASSERT_EQ(
      Mdbtool({"sql", file, "INSERT INTO Table1 (col1, col2) VALUES ('b', 'say \"hi\"')"}).status,
      0);
  // Joins and expressions run on the Access SQL engine; --csv quotes as RFC 4180 says.
  const ToolRun csv = Mdbtool({"sql", "--csv", file,
                               "SELECT t.col1 & '!' AS Tagged, t.col2 FROM Table1 AS t INNER JOIN "
                               "Table1 AS u ON t.col1 = u.col1 ORDER BY t.col1"});
  ASSERT_EQ(csv.status, 0) << csv.err;
  EXPECT_EQ(csv.out, "Tagged,col2\r\na!,\"x,y\"\r\nb!,\"say \"\"hi\"\"\"\r\n");
  const ToolRun param = Mdbtool({"sql", file, "--param", "Forms!F!Key=B",
                                 "SELECT col1 FROM Table1 WHERE col1 = [Forms]![F]![Key]"});
  ASSERT_EQ(param.status, 0) << param.err;
  EXPECT_EQ(param.out, "[\"col1\"]\n[\"b\"]\n");
  const ToolRun no_value =
      Mdbtool({"sql", file, "SELECT col1 FROM Table1 WHERE col1 = [Forms]![F]![Key]"});
  EXPECT_EQ(no_value.status, 1);
  EXPECT_EQ(no_value.err, "mdbtool: No value given for one or more required parameters.\n");
  const ToolRun update = Mdbtool({"sql", file, "UPDATE Table1 SET col3 = UCase(col1) & Len(col2)"});
  ASSERT_EQ(update.status, 0) << update.err;
  EXPECT_EQ(update.out, "2 rows affected\n");
  EXPECT_EQ(Mdbtool({"sql", file, "SELECT col3 FROM Table1 ORDER BY col3"}).out,
            "[\"col3\"]\n[\"A3\"]\n[\"B8\"]\n");
  // A crosstab: a column per col1 value, empty where a group has none.
  const ToolRun crosstab =
      Mdbtool({"sql", "--csv", file,
               "TRANSFORM Count(*) SELECT col3 FROM Table1 GROUP BY col3 PIVOT col1"});
  ASSERT_EQ(crosstab.status, 0) << crosstab.err;
  EXPECT_EQ(crosstab.out, "col3,a,b\r\nA3,1,\r\nB8,,1\r\n");
  EXPECT_EQ(Mdbtool({"sql", file, "--param"}).status, 2);
  EXPECT_EQ(Mdbtool({"check", file}).status, 0);
}

}  // namespace
