#include "commands.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "dump.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

ToolRun Mdbtool(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = RunMdbtool(args, out, err);
  return {status, out.str(), err.str()};
}

fs::path Fixture(const std::string& name) { return fs::path(MDB_SHARED_DIR) / "fixtures" / name; }

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class FixtureTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(Fixture("types.mdb"))) {
      GTEST_SKIP() << "needs ../shared/fixtures/types.mdb beside the repository";
    }
    types_ = Fixture("types.mdb").string();
  }
  std::string types_;
};

TEST(CommandLineTest, UsageErrorsExitWithTwo) {
  ToolRun r = Mdbtool({});
  EXPECT_EQ(r.status, kExitUsage);
  EXPECT_NE(r.err.find("usage: mdbtool"), std::string::npos);
  EXPECT_TRUE(r.out.empty());

  EXPECT_EQ(Mdbtool({"frobnicate", "x.mdb"}).status, kExitUsage);
  EXPECT_EQ(Mdbtool({"tables"}).status, kExitUsage);
  EXPECT_EQ(Mdbtool({"tables", "a.mdb", "extra"}).status, kExitUsage);
  EXPECT_EQ(Mdbtool({"dump", "a.mdb", "T", "extra"}).status, kExitUsage);
  EXPECT_EQ(Mdbtool({"sql", "a.mdb"}).status, kExitUsage);
}

TEST(CommandLineTest, HelpGoesToStdoutWithZero) {
  for (const char* flag : {"--help", "-h"}) {
    ToolRun r = Mdbtool({flag});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.out, UsageText());
    EXPECT_TRUE(r.err.empty());
  }
  EXPECT_EQ(Mdbtool({"dump", "--help"}).status, kExitOk);
}

TEST(CommandLineTest, MissingFileFailsWithMessage) {
  ToolRun r = Mdbtool({"tables", "/nonexistent/dir/none.mdb"});
  EXPECT_EQ(r.status, kExitFailure);
  EXPECT_NE(r.err.find("none.mdb"), std::string::npos) << r.err;
}

TEST(CommandLineTest, RecognisesSelect) {
  EXPECT_TRUE(IsSelect("SELECT * FROM t"));
  EXPECT_TRUE(IsSelect("  \n select\t* from t"));
  EXPECT_TRUE(IsSelect("Select"));
  EXPECT_FALSE(IsSelect("SELECTED"));
  EXPECT_FALSE(IsSelect("INSERT INTO t(a) VALUES(1)"));
  EXPECT_FALSE(IsSelect("sel"));
}

TEST_F(FixtureTest, TablesListsUserTablesByName) {
  ToolRun r = Mdbtool({"tables", types_});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(r.out,
            "TABLE\tAllTypes\nTABLE\tAutoKey\nTABLE\tCustomer List\nTABLE\tEmptyTable\n"
            "TABLE\tOrder Details\n");
}

// The dump of one table is exactly that table's lines of the full expected dump.
TEST_F(FixtureTest, DumpOfOneTableIsItsPartOfTheFullDump) {
  const fs::path expected_path = Fixture("expected/types.jsonl");
  ASSERT_TRUE(fs::exists(expected_path));
  std::istringstream expected(ReadFile(expected_path));
  std::string want, line;
  while (std::getline(expected, line)) {
    if (line.rfind(R"({"table":"Order Details",)", 0) == 0) want += line + "\n";
  }
  ASSERT_FALSE(want.empty());
  // Names are found case-insensitively; the dump uses the stored name.
  ToolRun r = Mdbtool({"dump", types_, "order details"});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(r.out, want);
}

TEST_F(FixtureTest, DumpRefusesUnknownAndSystemTables) {
  ToolRun unknown = Mdbtool({"dump", types_, "NoSuchTable"});
  EXPECT_EQ(unknown.status, kExitFailure);
  EXPECT_NE(unknown.err.find("NoSuchTable"), std::string::npos) << unknown.err;
  ToolRun system = Mdbtool({"dump", types_, "MSysObjects"});
  EXPECT_EQ(system.status, kExitFailure);
  EXPECT_TRUE(system.out.empty());
}

TEST_F(FixtureTest, SchemaShowsTypesFlagsAndIndexes) {
  ToolRun r = Mdbtool({"schema", types_, "Order Details"});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(r.out.rfind("table Order Details (", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("index ByPrice (UnitPrice DESC, Quantity)\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("index PrimaryKey (OrderID, ProductID) primary unique required\n"),
            std::string::npos)
      << r.out;

  ToolRun all = Mdbtool({"schema", types_});
  ASSERT_EQ(all.status, kExitOk) << all.err;
  EXPECT_NE(all.out.find("NUMERIC(18,4)"), std::string::npos);
  EXPECT_NE(all.out.find("TEXT(100)"), std::string::npos);
  EXPECT_NE(all.out.find("autonumber"), std::string::npos);
  EXPECT_NE(all.out.find("table Customer List"), std::string::npos);
}

TEST_F(FixtureTest, SchemaListsRelationships) {
  const std::string relations = Fixture("relations.mdb").string();
  ToolRun all = Mdbtool({"schema", relations});
  ASSERT_EQ(all.status, kExitOk) << all.err;
  for (const char* line :
       {"relationship CustomersOrders: Orders (CustID) -> Customers (CustID) "
        "integrity,cascade-update,cascade-delete\n",
        "relationship SuppliersProducts: Products (SupplierID) -> Suppliers (SupplierID) "
        "no-integrity\n",
        "relationship ZonesMonsters: Monsters (Zone) -> Zones (ZoneName) "
        "integrity,cascade-update,cascade-null\n"}) {
    EXPECT_NE(all.out.find(line), std::string::npos) << all.out;
  }
  // One table: the relationships on either side of it, and no others.
  ToolRun orders = Mdbtool({"schema", relations, "orders"});
  ASSERT_EQ(orders.status, kExitOk) << orders.err;
  EXPECT_NE(orders.out.find("relationship CustomersOrders:"), std::string::npos) << orders.out;
  EXPECT_NE(orders.out.find("relationship OrdersOrderLines:"), std::string::npos) << orders.out;
  EXPECT_EQ(orders.out.find("ZonesMonsters"), std::string::npos) << orders.out;
  // Files without relationships list none.
  EXPECT_EQ(Mdbtool({"schema", types_}).out.find("relationship"), std::string::npos);
}

// A file cut short must give an error (exit 1), never a crash or a partial success.
TEST_F(FixtureTest, TruncatedFileFailsCleanly) {
  const fs::path dir = fs::temp_directory_path() / ("mdbtool-test-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path cut = dir / "cut.mdb";
  {
    const std::string bytes = ReadFile(types_);
    std::ofstream out(cut, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size() / 3));
  }
  ToolRun r = Mdbtool({"dump", cut.string()});
  EXPECT_EQ(r.status, kExitFailure) << r.out.substr(0, 300);
  EXPECT_FALSE(r.err.empty());
  fs::remove_all(dir);
}

TEST_F(FixtureTest, CheckReportsASoundFile) {
  ToolRun r = Mdbtool({"check", types_});
  EXPECT_EQ(r.status, kExitOk) << r.out << r.err;
  EXPECT_NE(r.out.find("rows checked: no problems\n"), std::string::npos) << r.out;
  EXPECT_EQ(Mdbtool({"check"}).status, kExitUsage);
}

TEST_F(FixtureTest, SqlSelectPrintsHeaderAndRows) {
  ToolRun r = Mdbtool({"sql", types_, "SELECT * FROM [Order Details]"});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  std::istringstream lines(r.out);
  std::string header;
  std::getline(lines, header);
  EXPECT_EQ(header.rfind(R"([")", 0), 0u) << header;
  EXPECT_NE(header.find(R"("UnitPrice")"), std::string::npos) << header;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1 + 40);  // header + every row
}

// A statement that writes opens the file for writing; the change shows in the next dump.
TEST_F(FixtureTest, SqlInsertWritesTheFile) {
  const fs::path dir = fs::temp_directory_path() / ("mdbtool-sql-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path copy = dir / "types.mdb";
  fs::copy_file(types_, copy, fs::copy_options::overwrite_existing);
  fs::permissions(copy, fs::perms::owner_write, fs::perm_options::add);

  ToolRun insert = Mdbtool({"sql", copy.string(),
                            "INSERT INTO [Order Details](OrderID, ProductID, UnitPrice, Quantity, "
                            "Discount) VALUES(99999, 7, 12.5, 3, 0.25)"});
  EXPECT_EQ(insert.status, kExitOk) << insert.err;
  EXPECT_EQ(insert.out, "1 row affected\n");
  ToolRun dump = Mdbtool({"dump", copy.string(), "Order Details"});
  ASSERT_EQ(dump.status, kExitOk) << dump.err;
  EXPECT_NE(dump.out.find(R"({"table":"Order Details","row":[99999,7,"12.5000",3,0.25]})"),
            std::string::npos)
      << dump.out;
  fs::remove_all(dir);
}

}  // namespace
}  // namespace cli
