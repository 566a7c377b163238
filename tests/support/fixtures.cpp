#include "support/fixtures.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fixtures {
namespace fs = std::filesystem;

namespace {
fs::path Root() { return fs::path(MDB_SHARED_DIR) / "fixtures"; }
}  // namespace

bool Available() { return fs::is_directory(Root()); }

std::string Path(const std::string& relative) { return (Root() / relative).string(); }

std::vector<std::string> AllDatabases() {
  std::vector<std::string> out;
  if (!Available()) return out;
  for (const fs::path& dir : {Root(), Root() / "access"}) {
    if (!fs::is_directory(dir)) continue;
    for (const auto& entry : fs::directory_iterator(dir)) {
      if (entry.path().extension() == ".mdb") out.push_back(entry.path().string());
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

ScratchDir::ScratchDir() {
  std::string pattern = (fs::temp_directory_path() / "mdbtest-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string ScratchDir::Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
  std::string p = File(name);
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + p);
  return p;
}

std::string ScratchDir::Copy(const std::string& relative) const {
  std::string p = File(fs::path(relative).filename().string());
  fs::copy_file(Path(relative), p, fs::copy_options::overwrite_existing);
  fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write);
  return p;
}

}  // namespace fixtures
