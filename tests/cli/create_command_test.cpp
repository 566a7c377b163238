// `mdbtool create FILE`: a new empty database from the command line.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "commands.h"
#include "jet/database.h"
#include "support/write_test_util.h"

namespace cli {
namespace {

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

ToolRun Tool(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = RunMdbtool(args, out, err);
  return {status, out.str(), err.str()};
}

TEST(CreateCommandTest, CreatesADatabaseTheOtherCommandsRead) {
  testutil::TempDir dir;
  const std::string file = dir.File("fresh.mdb");
  ToolRun r = Tool({"create", file});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_TRUE(r.err.empty());
  EXPECT_EQ(Tool({"tables", file}).out, "");
  EXPECT_EQ(Tool({"check", file}).status, kExitOk);
  r = Tool({"sql", file, "CREATE TABLE Notes (Id COUNTER PRIMARY KEY, Body MEMO)"});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  ASSERT_EQ(Tool({"sql", file, "INSERT INTO Notes (Body) VALUES ('hello')"}).status, kExitOk);
  EXPECT_EQ(Tool({"tables", file}).out, "TABLE\tNotes\n");
  EXPECT_EQ(Tool({"sql", file, "SELECT Id, Body FROM Notes"}).out,
            "[\"Id\",\"Body\"]\n[1,\"hello\"]\n");
  EXPECT_EQ(Tool({"check", file}).status, kExitOk);
}

TEST(CreateCommandTest, ExistingOrUnwritablePathsFailWithOne) {
  testutil::TempDir dir;
  const std::string file = dir.File("there.mdb");
  { std::ofstream(file) << "keep me"; }
  ToolRun r = Tool({"create", file});
  EXPECT_EQ(r.status, kExitFailure);
  EXPECT_NE(r.err.find("exists"), std::string::npos) << r.err;
  std::ifstream in(file);
  std::string content;
  std::getline(in, content);
  EXPECT_EQ(content, "keep me");

  r = Tool({"create", dir.File("no/such/dir.mdb")});
  EXPECT_EQ(r.status, kExitFailure);
  EXPECT_FALSE(r.err.empty());
}

TEST(CreateCommandTest, BadUsageExitsWithTwoAndHelpListsTheCommand) {
  EXPECT_EQ(Tool({"create"}).status, kExitUsage);
  EXPECT_EQ(Tool({"create", "a.mdb", "b.mdb"}).status, kExitUsage);
  EXPECT_FALSE(std::filesystem::exists("a.mdb"));
  EXPECT_NE(UsageText().find("create FILE"), std::string::npos);
}

}  // namespace
}  // namespace cli
