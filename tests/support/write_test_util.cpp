#include "support/write_test_util.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace testutil {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "mdbwrite-XXXXXX").string();
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  path_ = buf.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string FixturePath(const std::string& name) {
  std::filesystem::path p = std::filesystem::path(MDB_SHARED_DIR) / "fixtures" / name;
  return std::filesystem::exists(p) ? p.string() : std::string();
}

std::string CopyFixture(const TempDir& dir, const std::string& name) {
  std::string src = FixturePath(name);
  if (src.empty()) throw std::runtime_error("fixture " + name + " is missing");
  std::string dst = dir.File(std::filesystem::path(name).filename().string());
  std::filesystem::copy_file(src, dst, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(dst, std::filesystem::perms::owner_read |
                                        std::filesystem::perms::owner_write);
  return dst;
}

uint64_t HashFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  uint64_t h = 1469598103934665603ull;
  std::vector<char> buf(1 << 16);
  while (in.read(buf.data(), static_cast<std::streamsize>(buf.size())) || in.gcount() > 0) {
    const auto n = static_cast<size_t>(in.gcount());
    for (size_t i = 0; i < n; ++i) h = (h ^ static_cast<unsigned char>(buf[i])) * 1099511628211ull;
  }
  return h;
}

std::string RunCommand(const std::string& command, int* status) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) throw std::runtime_error("popen failed");
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  int rc = pclose(pipe);
  if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

bool MdbtoolsComparisonAvailable() {
  const std::filesystem::path tools = std::filesystem::path(MDB_SHARED_DIR) / "tools";
  if (!std::filesystem::exists(tools / "mdbt-dump.sh")) return false;
  int status = 0;
  RunCommand("command -v mdb-export >/dev/null && command -v node >/dev/null", &status);
  return status == 0;
}

std::string CompareWithMdbtools(const TempDir& dir, const std::string& file) {
  const std::string tools = std::string(MDB_SHARED_DIR) + "/tools/";
  const std::string ours = dir.File("ours.jsonl");
  const std::string theirs = dir.File("theirs.txt");
  int status = 0;
  RunCommand(std::string(MDBTOOL_PATH) + " dump '" + file + "' > '" + ours + "'", &status);
  if (status != 0) return "mdbtool dump failed";
  RunCommand(tools + "mdbt-dump.sh '" + file + "' > '" + theirs + "' 2>/dev/null", &status);
  if (status != 0) return "mdbtools failed";
  const std::string norm = "node " + tools + "dump-normalize.mjs ";
  RunCommand(norm + "J T '" + ours + "' '" + ours + ".n' >/dev/null");
  RunCommand(norm + "T J '" + theirs + "' '" + theirs + ".n' >/dev/null");
  RunCommand("LC_ALL=C sort '" + ours + ".n' > '" + ours + ".s'");
  RunCommand("LC_ALL=C sort '" + theirs + ".n' > '" + theirs + ".s'");
  const std::string diff = RunCommand("diff '" + ours + ".s' '" + theirs + ".s' | head -c 2000");
  return diff.empty() ? "AGREE" : "DIFFER\n" + diff;
}

}  // namespace testutil
