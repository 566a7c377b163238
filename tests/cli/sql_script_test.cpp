// `mdbtool sql` with several statements (an argument, standard input or a file), transactions
// and the sync option.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "commands.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

struct ToolResult {
  int status;
  std::string out;
  std::string err;
};

ToolResult Tool(const std::vector<std::string>& args, const std::string& input = "") {
  std::ostringstream out, err;
  std::istringstream in(input);
  const int status = RunMdbtool(args, out, err, in);
  return {status, out.str(), err.str()};
}

class SqlScriptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("mdbtool-script-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    path_ = (dir_ / "s.mdb").string();
    ASSERT_EQ(Tool({"create", path_}).status, kExitOk);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Rows() { return Tool({"sql", path_, "SELECT A FROM T ORDER BY A"}).out; }

  fs::path dir_;
  std::string path_;
};

TEST_F(SqlScriptTest, StatementsFromEverySourceAndTransactions) {
  ToolResult r =
      Tool({"--sync=normal", "sql", path_, "-"},
           "CREATE TABLE T (A LONG, B TEXT(10));\n"
           "INSERT INTO T (A, B) VALUES (1, 'x; y');\n"
           "BEGIN;\nINSERT INTO T (A) VALUES (2);\nINSERT INTO T (A) VALUES (3);\nCOMMIT;\n"
           "BEGIN TRANSACTION; INSERT INTO T (A) VALUES (4); ROLLBACK;");
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(Rows(), "[\"A\"]\n[1]\n[2]\n[3]\n");

  const std::string script = (dir_ / "more.sql").string();
  std::ofstream(script) << "INSERT INTO T (A) VALUES (5); SELECT B FROM T WHERE A = 1";
  r = Tool({"sql", path_, "-f", script});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(r.out, "1 row affected\n[\"B\"]\n[\"x; y\"]\n");
  // A PARAMETERS declaration's ';' belongs to its statement.
  r = Tool({"sql", "--param", "n=2", path_,
            "PARAMETERS n Long; SELECT A FROM T WHERE A = n; SELECT Count(*) AS C FROM T"});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(r.out, "[\"A\"]\n[2]\n[\"C\"]\n[4]\n");
  EXPECT_EQ(Tool({"check", path_}).status, kExitOk);
  EXPECT_FALSE(fs::exists(path_ + "-journal"));
}

TEST_F(SqlScriptTest, AFailedStatementRollsTheOpenTransactionBack) {
  ASSERT_EQ(
      Tool({"sql", path_, "CREATE TABLE T (A LONG PRIMARY KEY); INSERT INTO T (A) VALUES (1)"})
          .status,
      kExitOk);
  std::ifstream before_in(path_, std::ios::binary);
  const std::string before((std::istreambuf_iterator<char>(before_in)), {});

  ToolResult r =
      Tool({"sql", path_, "BEGIN; INSERT INTO T (A) VALUES (2); INSERT INTO T (A) VALUES (1)"});
  EXPECT_EQ(r.status, kExitFailure);
  EXPECT_NE(r.err.find("statement 3"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("rolled back"), std::string::npos) << r.err;

  r = Tool({"sql", path_, "BEGIN; INSERT INTO T (A) VALUES (3)"});
  EXPECT_EQ(r.status, kExitFailure);
  EXPECT_NE(r.err.find("no COMMIT"), std::string::npos) << r.err;

  std::ifstream after_in(path_, std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after_in)), {}), before);
  EXPECT_EQ(Rows(), "[\"A\"]\n[1]\n");
  EXPECT_EQ(Tool({"--sync=sometimes", "tables", path_}).status, kExitUsage);
  EXPECT_EQ(Tool({"sql", path_, " ; "}).status, kExitUsage);
}

}  // namespace
}  // namespace cli
