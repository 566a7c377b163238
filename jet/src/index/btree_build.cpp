// Bulk build of an index B-tree from sorted entries: leaves packed in order, then intermediate
// levels bottom-up (each group of children: explicit entries for all but the last child, which is
// the tail; a group of one child holds it as an explicit entry), the top page written into the
// root. Every level is linked prev/next.
#include <algorithm>

#include "index/btree.h"
#include "page/format.h"
#include "jet/error.h"

namespace jet {
namespace {

size_t CommonPrefix(const Bytes& a, const Bytes& b) {
  const size_t n = std::min(a.size(), b.size());
  size_t p = 0;
  while (p < n && a[p] == b[p]) ++p;
  return p;
}

// Splits sorted leaf entries into pages that fit, each as full as possible.
std::vector<std::vector<IndexEntry>> PackLeaves(const FormatInfo& info,
                                                const std::vector<IndexEntry>& entries) {
  std::vector<std::vector<IndexEntry>> pages;
  std::vector<IndexEntry> cur;
  size_t sum = 0;  // full sizes of the entries in `cur`
  for (const IndexEntry& e : entries) {
    const size_t size = EntrySize(e, true);
    if (!cur.empty()) {
      const size_t prefix = CommonPrefix(cur.front().key, e.key);
      const size_t stored = sum + size - cur.size() * prefix;
      if (stored > info.ipage_capacity) {
        pages.push_back(std::move(cur));
        cur.clear();
        sum = 0;
      }
    }
    cur.push_back(e);
    cur.back().child = 0;
    sum += size;
  }
  if (!cur.empty() || pages.empty()) pages.push_back(std::move(cur));
  return pages;
}

}  // namespace

// One intermediate level over `children` (whose subtree maxima are `maxima`).
std::vector<IndexEntry> BTree::BuildLevel(const std::vector<IndexEntry>& maxima,
                                          const std::vector<uint32_t>& children,
                                          std::vector<IndexPage>* pages) const {
  std::vector<IndexEntry> level_maxima;
  size_t i = 0;
  while (i < children.size()) {
    IndexPage p;
    p.type = kIndexIntermediatePage;
    p.owner = owner_;
    size_t used = 0;
    size_t j = i;
    // Take children while the explicit entries (all but the group's last child) fit.
    while (j < children.size()) {
      if (j > i) {
        const size_t add = EntrySize(maxima[j - 1], false);
        if (used + add > info_.ipage_capacity) break;
        used += add;
      }
      ++j;
    }
    for (size_t c = i; c + 1 < j; ++c) {
      p.entries.push_back(maxima[c]);
      p.entries.back().child = children[c];
    }
    if (j - i == 1) {
      p.entries.push_back(maxima[i]);
      p.entries.back().child = children[i];
    } else {
      p.tail = children[j - 1];
    }
    level_maxima.push_back(maxima[j - 1]);
    pages->push_back(std::move(p));
    i = j;
  }
  return level_maxima;
}

uint32_t BTree::BulkBuild(const std::vector<IndexEntry>& entries) {
  Reset();
  uint32_t distinct = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].key.size() > max_key_size()) {
      throw Error(Error::Kind::kInvalidArgument, "An index key is too long for an index page.");
    }
    if (i > 0 && CompareEntries(entries[i - 1], entries[i]) >= 0) {
      throw Error(Error::Kind::kInvalidArgument, "Bulk index build needs sorted, distinct entries.");
    }
    if (i == 0 || entries[i - 1].key != entries[i].key) ++distinct;
  }
  std::vector<IndexPage> level;
  std::vector<IndexEntry> maxima;  // subtree maximum of each page of `level`
  for (auto& chunk : PackLeaves(info_, entries)) {
    IndexPage p;
    p.owner = owner_;
    p.entries = std::move(chunk);
    if (!p.entries.empty()) maxima.push_back(p.entries.back());
    level.push_back(std::move(p));
  }
  while (level.size() > 1) {
    std::vector<uint32_t> numbers;
    for (size_t i = 0; i < level.size(); ++i) numbers.push_back(store_.AllocatePage());
    for (size_t i = 0; i < level.size(); ++i) {
      level[i].prev = i > 0 ? numbers[i - 1] : 0;
      level[i].next = i + 1 < level.size() ? numbers[i + 1] : 0;
    }
    std::vector<IndexPage> upper;
    std::vector<IndexEntry> upper_maxima = BuildLevel(maxima, numbers, &upper);
    for (size_t i = 0; i < level.size(); ++i) {
      pages_[numbers[i]] = std::move(level[i]);
      MarkDirty(numbers[i]);
    }
    level = std::move(upper);
    maxima = std::move(upper_maxima);
  }
  level[0].prev = level[0].next = 0;
  pages_[root_] = std::move(level[0]);
  MarkDirty(root_);
  Flush();
  return distinct;
}

}  // namespace jet
