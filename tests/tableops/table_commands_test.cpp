// mdbtool's table commands in-process: import from a stream, repair, renumber and copy.

#include "table_commands.h"

#include <sstream>

#include "jet/check.h"
#include "tableops_test_util.h"

namespace cli {
namespace {

struct CommandRun {
  int status = -1;
  std::string out;
  std::string err;
};

CommandRun RunCommand(const std::vector<std::string>& args, const std::string& input = "") {
  std::istringstream in(input);
  std::ostringstream out, err;
  CommandRun run;
  run.status = RunTableCommand(args, in, out, err).value_or(-1);
  run.out = out.str();
  run.err = err.str();
  return run;
}

TEST(TableCommands, ImportReportsEachRefusedStatement) {
  // One commit per line, as the window writes, or batches of lines in one transaction: a refused
  // line writes nothing and the rest of its batch still lands.
  for (const std::vector<std::string>& batch :
       {std::vector<std::string>{}, {"--batch", "2"}, {"--batch", "1000"}}) {
    SCOPED_TRACE(batch.empty() ? "no batch" : batch[1]);
    testutil::TempDir dir;
    const std::string path = dir.File("t.mdb");
    {
      auto db = jet::Database::Create(path);
      db->Execute("CREATE TABLE Items (Name TEXT(5), Qty SHORT)");
    }
    std::vector<std::string> args{"--sync=normal", "import"};
    args.insert(args.end(), batch.begin(), batch.end());
    args.insert(args.end(), {path, "items", "-"});
    const CommandRun run = RunCommand(args, "a 1\ntoolongname 2\nb 99999\nc 3\nd 4\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2) << run.err;
    EXPECT_NE(run.err.find("ExecSQL FAIL: INSERT INTO Items(Name, Qty) VALUES( 'b', 99999)"),
              std::string::npos);
    EXPECT_EQ(run.out, "3 of 5 lines inserted into Items\n");
    const CommandRun copy = RunCommand({"copy", path, "Items"});
    EXPECT_EQ(copy.status, 0);
    EXPECT_EQ(copy.out, "a;1\r\nc;3\r\nd;4\r\n");
    EXPECT_TRUE(jet::CheckFile(path).ok());
    EXPECT_EQ(RunCommand({"import", path}).status, 2);
    EXPECT_EQ(RunCommand({"import", "--batch", "0", path, "Items", "-"}, "e 5\n").status, 2);
    EXPECT_EQ(RunCommand({"copy", path, "Nothing"}).status, 1);
    EXPECT_FALSE(RunCommand({"tables", path}).status != -1);
  }
}

TEST(TableCommands, RepairAndRenumberTheUnindexedFixture) {
  if (testutil::FixturePath("game-unindexed.mdb").empty()) GTEST_SKIP() << "no ../shared";
  testutil::TempDir dir;
  const std::string path = testutil::CopyFixture(dir, "game-unindexed.mdb");
  const CommandRun repair = RunCommand({"repair", path});
  EXPECT_EQ(repair.status, 0) << repair.err;
  EXPECT_EQ(repair.out,
            "repaired Magic: MagName is now its primary key\n"
            "repaired Monster: Name is now its primary key\n"
            "repaired StdItems: Idx is now its primary key\n");
  // A second run finds every table indexed.
  EXPECT_EQ(RunCommand({"repair", path}).out, "");
  const CommandRun renumber = RunCommand({"renumber", path});
  EXPECT_EQ(renumber.out, "renumbered 147 records of StdItems\n");
  EXPECT_TRUE(jet::CheckFile(path).ok());
}

}  // namespace
}  // namespace cli
