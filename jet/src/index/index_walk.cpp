#include "index/index_walk.h"

#include <algorithm>
#include <string>
#include <unordered_set>

#include "jet/error.h"

namespace jet {
namespace {

constexpr int kMaxDepth = 32;

Error Corrupt(const std::string& file, uint32_t page, const std::string& what) {
  return Error(Error::Kind::kCorrupt,
               file + ": index page " + std::to_string(page) + ": " + what);
}

}  // namespace

int CompareKeyBytes(const Bytes& a, const Bytes& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

void ForEachIndexEntryFrom(PageSource& src, const FormatInfo& info, uint32_t root,
                           const Bytes& from, const std::function<bool(const IndexEntry&)>& fn) {
  const std::string file = src.file_name();
  uint32_t n = root;
  IndexPage p;
  // An intermediate entry copies the last leaf entry of its child's subtree: the first child whose
  // entry is not below `from` holds the first wanted entry; past all of them, the tail does.
  for (int depth = 0;; ++depth) {
    if (depth > kMaxDepth) throw Corrupt(file, n, "index tree deeper than 32 levels");
    p = DecodeIndexPage(info, src.ReadPage(n), file, n);
    if (p.leaf()) break;
    uint32_t child = p.tail;
    for (const IndexEntry& e : p.entries) {
      if (CompareKeyBytes(e.key, from) >= 0) {
        child = e.child;
        break;
      }
    }
    if (child == 0) throw Corrupt(file, n, "intermediate index page without children");
    n = child;
  }
  std::unordered_set<uint32_t> seen;
  while (true) {
    if (!seen.insert(n).second) throw Corrupt(file, n, "index leaf chain loops");
    for (const IndexEntry& e : p.entries) {
      if (CompareKeyBytes(e.key, from) < 0) continue;
      if (!fn(e)) return;
    }
    if (p.next == 0) return;
    const uint32_t prev = n;
    n = p.next;
    p = DecodeIndexPage(info, src.ReadPage(n), file, n);
    if (!p.leaf()) throw Corrupt(file, prev, "index leaf chain leads to a non-leaf page");
  }
}

}  // namespace jet
