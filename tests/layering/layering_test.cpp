// Include direction. Every file may include its own floor (or layer) and those below it, never one
// above: inside the engine the floors of jet/src, across the repository the layers (jet at the
// bottom, the window and main() at the top, mdbtool beside them over the engine). A quoted
// include names its floor or layer ("index/btree.h", "database/query.h"); an include without a
// folder is a file of the includer's own folder.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Engine floors, bottom first. "" is the façade (files directly in jet/src).
const std::vector<std::string> kFloors = {"util",  "page", "value",  "table", "index",
                                          "write", "db",   "schema", "",      "sql"};
// Public engine headers that only the database state and above may use; the rest of jet/ (error,
// value, schema) is vocabulary for every floor.
const std::vector<std::string> kFacadeHeaders = {"jet/database.h", "jet/check.h"};
const size_t kFirstFacadeFloor = 6;  // "db"

// Repository layers, bottom first; cli stands beside them at the rank of the table operations.
struct Layer {
  std::string folder;
  int rank;
};
const std::vector<Layer> kLayers = {{"jet", 0},      {"query", 1}, {"shared", 2}, {"database", 3},
                                    {"tableops", 4}, {"cli", 4},   {"ui", 5},     {"app", 6}};

struct Violation {
  std::string file;
  std::string include;
};

std::optional<size_t> FloorIndex(const std::string& name) {
  auto it = std::find(kFloors.begin(), kFloors.end(), name);
  if (it == kFloors.end()) return std::nullopt;
  return static_cast<size_t>(it - kFloors.begin());
}

std::optional<int> LayerRank(const std::string& folder) {
  for (const Layer& l : kLayers) {
    if (l.folder == folder) return l.rank;
  }
  return std::nullopt;
}

std::string FirstSegment(const std::string& path) {
  const size_t slash = path.find('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Whether a file of engine floor `floor` may include `inc`.
bool FloorAllows(size_t floor, const std::string& inc) {
  const std::string first = FirstSegment(inc);
  if (first.empty()) return true;  // own folder
  if (first == "jet") {
    return floor >= kFirstFacadeFloor ||
           std::find(kFacadeHeaders.begin(), kFacadeHeaders.end(), inc) == kFacadeHeaders.end();
  }
  const std::optional<size_t> target = FloorIndex(first);
  return !target || *target <= floor;
}

// Whether a file of layer `folder` may include `inc`.
bool LayerAllows(const std::string& folder, const std::string& inc) {
  const std::string first = FirstSegment(inc);
  const std::optional<int> own = LayerRank(folder);
  const std::optional<int> target = LayerRank(first);
  if (!own || !target || first == folder) return true;
  if (first == "cli") return false;  // nothing builds on the command-line tool
  if (folder == "cli" && first == "tableops") return true;
  return *target < *own;
}

// The targets of `#include "..."` lines (a plain scan: <regex> trips GCC 12's warnings under the
// sanitizers).
std::vector<std::string> QuotedIncludes(std::istream& in) {
  std::vector<std::string> out;
  std::string line;
  while (std::getline(in, line)) {
    size_t i = line.find_first_not_of(" \t");
    if (i == std::string::npos || line[i] != '#') continue;
    i = line.find_first_not_of(" \t", i + 1);
    if (i == std::string::npos || line.compare(i, 7, "include") != 0) continue;
    const size_t open = line.find_first_not_of(" \t", i + 7);
    if (open == std::string::npos || line[open] != '"') continue;
    const size_t close = line.find('"', open + 1);
    if (close != std::string::npos) out.push_back(line.substr(open + 1, close - open - 1));
  }
  return out;
}

bool IsSource(const fs::path& p) {
  const std::string ext = p.extension().string();
  return ext == ".h" || ext == ".cpp";
}

// Every upward include under `root` (a checkout of the repository).
std::vector<Violation> Check(const fs::path& root) {
  std::vector<Violation> out;
  for (const Layer& layer : kLayers) {
    const fs::path dir = root / layer.folder;
    if (!fs::is_directory(dir)) continue;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
      if (!entry.is_regular_file() || !IsSource(entry.path())) continue;
      const fs::path rel = fs::relative(entry.path(), root);
      std::ifstream in(entry.path());
      std::optional<size_t> floor;
      if (layer.folder == "jet" && *rel.begin() == "jet" && std::next(rel.begin()) != rel.end() &&
          *std::next(rel.begin()) == "src") {
        const fs::path inside = fs::relative(entry.path(), root / "jet" / "src");
        floor = FloorIndex(inside.has_parent_path() ? inside.begin()->string() : "");
      }
      for (const std::string& inc : QuotedIncludes(in)) {
        const bool ok = LayerAllows(layer.folder, inc) && (!floor || FloorAllows(*floor, inc));
        if (!ok) out.push_back({rel.string(), inc});
      }
    }
  }
  return out;
}

TEST(Layering, NoFileIncludesAFloorOrLayerAboveItsOwn) {
  const std::vector<Violation> found = Check(MDB_SOURCE_DIR);
  for (const Violation& v : found) ADD_FAILURE() << v.file << " includes \"" << v.include << "\"";
  EXPECT_TRUE(found.empty());
}

// The check itself: a tree with one upward include of each kind is caught, file by file.
TEST(Layering, CatchesUpwardIncludes) {
  const fs::path root = fs::temp_directory_path() / ("layering_" + std::to_string(::getpid()));
  const struct {
    const char* file;
    const char* include;
    bool allowed;
  } kCases[] = {
      {"jet/src/page/file.cpp", "index/btree.h", false},
      {"jet/src/index/btree.cpp", "page/file.h", true},
      {"jet/src/table/row.cpp", "jet/database.h", false},
      {"jet/src/schema/create_table.cpp", "jet/database.h", true},
      {"jet/src/write/table_writer.cpp", "db/database_impl.h", false},
      {"jet/src/checker.cpp", "sql/parser.h", false},
      {"database/query.cpp", "ui/frm_main.h", false},
      {"ui/frm_main.cpp", "database/query.h", true},
      {"jet/src/value/text.cpp", "database/query.h", false},
      {"cli/commands.cpp", "tableops/import.h", true},
      {"tableops/copy.cpp", "cli/commands.h", false},
  };
  for (const auto& c : kCases) {
    fs::remove_all(root);
    const fs::path file = root / c.file;
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "#include <vector>\n#include \"" << c.include << "\"\n";
    EXPECT_EQ(Check(root).empty(), c.allowed) << c.file << " -> " << c.include;
  }
  fs::remove_all(root);
}

}  // namespace
