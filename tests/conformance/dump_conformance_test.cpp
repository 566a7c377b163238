// Our canonical dump of every shared fixture against (1) the expected dump written by an
// independent reader, byte for byte, and (2) what mdbtools reads from the same file.

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dump.h"
#include "jet/database.h"

namespace {

namespace fs = std::filesystem;

fs::path SharedDir() {
  const char* env = std::getenv("MDB_SHARED_DIR");
  return fs::path(env != nullptr && *env != '\0' ? env : MDB_SHARED_DIR);
}

// A fixture as a path relative to fixtures/: "types.mdb", "access/jackcess-empty.mdb".
struct Fixture {
  std::string relative;
};

void PrintTo(const Fixture& f, std::ostream* os) { *os << f.relative; }

// Fixtures whose expected dump cannot be reproduced, with the reason; none so far.
const char* KnownMismatch(const std::string& /*relative*/) { return nullptr; }

// Fixtures mdbtools reads differently from both our engine and the independent reader that wrote
// the expected dumps. For these the comparison script must give our dump exactly the verdict it
// gives the expected dump.
const char* KnownMdbtoolsLimit(const std::string& relative) {
  if (relative == "access/jackcess-V2000-delColTestV2000.mdb") {
    return "after a deleted column mdbtools loses the columns of index id2 (prints [])";
  }
  if (relative == "access/jackcess-V2000-overflowTestV2000.mdb") {
    return "mdbtools lists overflow rows (rows 3 and 5) where their data sits, not at their slot";
  }
  if (relative == "access/jackcess-V2000-testIndexPropertiesV2000.mdb") {
    return "mdbtools drops the index columns and the unique flag of the *_temp/IgnoreNulls2 tables";
  }
  return nullptr;
}

std::vector<Fixture> ListFixtures() {
  std::vector<Fixture> out;
  const fs::path root = SharedDir() / "fixtures";
  for (const char* sub : {"", "access"}) {
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(root / sub, ec)) {
      if (e.path().extension() != ".mdb") continue;
      const std::string name = e.path().filename().string();
      out.push_back({*sub ? std::string(sub) + "/" + name : name});
    }
  }
  std::sort(out.begin(), out.end(),
            [](const Fixture& a, const Fixture& b) { return a.relative < b.relative; });
  // One placeholder keeps the suite visible (and skipped with a reason) without fixtures.
  if (out.empty()) out.push_back({""});
  return out;
}

std::string TestName(const testing::TestParamInfo<Fixture>& info) {
  if (info.param.relative.empty()) return "NoFixtures";
  std::string name = fs::path(info.param.relative).replace_extension().string();
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

// Runs `command` through the shell; returns its exit status and puts its stdout in `output`.
int RunCommand(const std::string& command, std::string& output) {
  output.clear();
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) output.append(buf, n);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

bool HaveCommand(const std::string& name) {
  std::string ignored;
  return RunCommand("command -v " + name + " >/dev/null 2>&1", ignored) == 0;
}

// expected/NAME.jsonl for NAME.mdb, expected/access-NAME.jsonl for access/NAME.mdb; a .gz
// variant is read through gzip.
bool ReadExpected(const std::string& relative, std::string& text, std::string& where) {
  std::string stem = fs::path(relative).stem().string();
  if (relative.rfind("access/", 0) == 0) stem = "access-" + stem;
  const fs::path plain = SharedDir() / "fixtures" / "expected" / (stem + ".jsonl");
  const fs::path gz = fs::path(plain.string() + ".gz");
  if (fs::exists(plain)) {
    where = plain.string();
    std::ifstream in(plain, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    text = ss.str();
    return true;
  }
  if (fs::exists(gz)) {
    where = gz.string();
    return RunCommand("gzip -dc " + ShellQuote(gz.string()), text) == 0;
  }
  return false;
}

std::string Dump(const fs::path& file) {
  std::ostringstream out;
  cli::WriteDump(*jet::Database::Open(file.string()), std::nullopt, out);
  return out.str();
}

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const size_t nl = text.find('\n');
    lines.push_back(text.substr(0, nl == std::string_view::npos ? text.size() : nl + 1));
    text.remove_prefix(lines.back().size());
  }
  return lines;
}

std::string Clip(std::string_view line) {
  return std::string(line.substr(0, 400)) + (line.size() > 400 ? "..." : "");
}

class DumpConformanceTest : public testing::TestWithParam<Fixture> {
 protected:
  void SetUp() override {
    if (GetParam().relative.empty()) {
      GTEST_SKIP() << "no fixtures: " << (SharedDir() / "fixtures") << " is absent or empty";
    }
    if (const char* reason = KnownMismatch(GetParam().relative)) GTEST_SKIP() << reason;
    file_ = SharedDir() / "fixtures" / GetParam().relative;
  }
  fs::path file_;
};

TEST_P(DumpConformanceTest, MatchesExpectedDump) {
  std::string expected, where;
  ASSERT_TRUE(ReadExpected(GetParam().relative, expected, where))
      << "no expected dump for " << GetParam().relative;
  const std::string actual = Dump(file_);
  if (actual == expected) return;
  const auto want = Lines(expected);
  const auto got = Lines(actual);
  size_t i = 0;
  while (i < want.size() && i < got.size() && want[i] == got[i]) ++i;
  ADD_FAILURE() << file_.string() << " differs from " << where << " first at line " << i + 1
                << " (expected " << want.size() << " lines, got " << got.size() << ")\n"
                << "expected: " << (i < want.size() ? Clip(want[i]) : "<end of dump>") << "\n"
                << "actual:   " << (i < got.size() ? Clip(got[i]) : "<end of dump>");
}

TEST_P(DumpConformanceTest, AgreesWithMdbtools) {
  if (!HaveCommand("mdb-export") || !HaveCommand("node")) {
    GTEST_SKIP() << "mdb-export (Debian mdbtools) or node is not installed";
  }
  const fs::path script = SharedDir() / "tools" / "compare-with-mdbtools.sh";
  if (!fs::exists(script)) GTEST_SKIP() << script << " is absent";
  const fs::path dump_file =
      fs::temp_directory_path() / ("mdb-conformance-" + std::to_string(::getpid()) + "-" +
                                   TestName({GetParam(), 0}) + ".jsonl");
  {
    std::ofstream out(dump_file, std::ios::binary);
    cli::WriteDump(*jet::Database::Open(file_.string()), std::nullopt, out);
    ASSERT_TRUE(out.good()) << "cannot write " << dump_file;
  }
  const auto compare = [&](const fs::path& dump, std::string& output) {
    return RunCommand("bash " + ShellQuote(script.string()) + " " + ShellQuote(dump.string()) +
                          " " + ShellQuote(file_.string()) + " 2>&1",
                      output);
  };
  std::string output;
  const int status = compare(dump_file, output);
  fs::remove(dump_file);
  if (const char* limit = KnownMdbtoolsLimit(GetParam().relative)) {
    std::string expected_dump, where, reference;
    ASSERT_TRUE(ReadExpected(GetParam().relative, expected_dump, where));
    const int reference_status = compare(where, reference);
    EXPECT_EQ(status, reference_status) << limit;
    EXPECT_EQ(output, reference) << "known mdbtools limit: " << limit;
    return;
  }
  EXPECT_EQ(status, 0) << output;
  EXPECT_EQ(output.rfind("AGREE", 0), 0u) << output;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, DumpConformanceTest, testing::ValuesIn(ListFixtures()),
                         TestName);

}  // namespace
