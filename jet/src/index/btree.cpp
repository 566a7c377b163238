// Index B-tree writes: insert, delete and the page split. Shape rules: see btree.h.
#include "index/btree.h"

#include <algorithm>

#include "page/format.h"
#include "jet/error.h"
#include "page/page_reader.h"

namespace jet {
namespace {


}  // namespace

BTree::BTree(IndexPageStore& store, const FormatInfo& info, uint32_t root, uint32_t owner)
    : store_(store), info_(info), root_(root), owner_(owner) {}

size_t BTree::max_key_size() const {
  // Two intermediate entries (key + 8 bytes each) must fit one page.
  return info_.ipage_capacity / 2 - 8;
}

void BTree::Reset() {
  pages_.clear();
  views_.clear();
  dirty_.clear();
  freed_.clear();
}

IndexPage& BTree::Load(uint32_t n) {
  auto it = pages_.find(n);
  if (it != pages_.end()) return it->second;
  auto v = views_.find(n);
  IndexPage p = v != views_.end()
                    ? v->second.Decode()
                    : DecodeIndexPage(info_, store_.ReadPage(n), store_.file_name(), n);
  return pages_.emplace(n, std::move(p)).first->second;
}

const IndexPageView& BTree::View(uint32_t n) {
  auto it = views_.find(n);
  if (it != views_.end()) return it->second;
  const std::span<const uint8_t> lent = store_.LendPage(n);
  IndexPageView v = lent.empty() ? IndexPageView(info_, store_.ReadPage(n), store_.file_name(), n)
                                 : IndexPageView(info_, lent, store_.file_name(), n);
  return views_.emplace(n, std::move(v)).first->second;
}

// The child of intermediate page `n` where `e` belongs.
uint32_t BTree::ChildFor(uint32_t n, const IndexEntry& e) {
  if (Loaded(n)) {
    const IndexPage& p = Load(n);
    auto it = std::lower_bound(p.entries.begin(), p.entries.end(), e, EntryLess);
    if (it != p.entries.end()) return it->child;
    if (p.tail != 0) return p.tail;
    if (!p.entries.empty()) return p.entries.back().child;
  } else {
    const IndexPageView& v = View(n);
    const size_t i = v.LowerBound(e);
    if (i < v.size()) return v.Child(i);
    if (v.head().tail != 0) return v.head().tail;
    if (v.size() > 0) return v.Child(v.size() - 1);
  }
  throw CorruptPage(store_.file_name(), n, "intermediate index page without children");
}

// The first (or last) key of page `n`, if it has entries.
std::optional<Bytes> BTree::EdgeKey(uint32_t n, bool last) {
  if (Loaded(n)) {
    const IndexPage& p = Load(n);
    if (p.entries.empty()) return std::nullopt;
    return last ? p.entries.back().key : p.entries.front().key;
  }
  const IndexPageView& v = View(n);
  if (v.size() == 0) return std::nullopt;
  return v.Entry(last ? v.size() - 1 : 0).key;
}

bool BTree::FitsNow(uint32_t n) {
  if (Loaded(n)) return Fits(Load(n));
  return View(n).EncodedSize() <= info_.ipage_capacity;
}

uint32_t BTree::NewPage(uint8_t type) {
  const uint32_t n = store_.AllocatePage();
  IndexPage p;
  p.type = type;
  p.owner = owner_;
  pages_[n] = std::move(p);
  MarkDirty(n);
  return n;
}

bool BTree::Fits(const IndexPage& p) const { return FitsPage(info_, p.entries, p.leaf()); }

void BTree::Flush() {
  for (uint32_t n : dirty_) {
    if (std::find(freed_.begin(), freed_.end(), n) != freed_.end()) continue;
    IndexPage& p = pages_.at(n);
    p.owner = owner_;
    store_.WritePage(n, EncodeIndexPage(info_, p));
  }
  for (uint32_t n : freed_) store_.FreePage(n);
  Reset();
}

void BTree::InitEmpty() {
  Reset();
  IndexPage p;
  p.owner = owner_;
  pages_[root_] = p;
  MarkDirty(root_);
  Flush();
}

// Pages from the root to the leaf where `e` belongs.
std::vector<uint32_t> BTree::Descend(const IndexEntry& e) {
  std::vector<uint32_t> path{root_};
  while (true) {
    const uint32_t n = path.back();
    if (Loaded(n) ? Load(n).leaf() : View(n).leaf()) return path;
    if (path.size() > static_cast<size_t>(kMaxIndexDepth)) throw CorruptPage(store_.file_name(), n, "index too deep");
    const uint32_t child = ChildFor(n, e);
    if (std::find(path.begin(), path.end(), child) != path.end()) {
      throw CorruptPage(store_.file_name(), path.back(), "index tree has a cycle");
    }
    path.push_back(child);
  }
}

size_t BTree::SlotOf(const IndexPage& parent, uint32_t child) const {
  for (size_t i = 0; i < parent.entries.size(); ++i) {
    if (parent.entries[i].child == child) return i;
  }
  if (parent.tail == child) return parent.entries.size();
  throw Error(Error::Kind::kCorrupt, store_.file_name() + ": index page " + std::to_string(child) +
                                         " is missing from its parent");
}

size_t BTree::SlotOf(const IndexPageView& parent, uint32_t child) const {
  for (size_t i = 0; i < parent.size(); ++i) {
    if (parent.Child(i) == child) return i;
  }
  if (parent.head().tail == child) return parent.size();
  throw Error(Error::Kind::kCorrupt, store_.file_name() + ": index page " + std::to_string(child) +
                                         " is missing from its parent");
}

// The last leaf entry below page `n`.
IndexEntry BTree::SubtreeMax(uint32_t n) {
  for (size_t depth = 0; depth <= static_cast<size_t>(kMaxIndexDepth); ++depth) {
    const IndexPage& p = Load(n);
    if (p.leaf()) {
      if (p.entries.empty()) break;
      IndexEntry m = p.entries.back();
      m.child = 0;
      return m;
    }
    if (p.tail == 0) {
      if (p.entries.empty()) break;
      IndexEntry m = p.entries.back();
      m.child = 0;
      return m;
    }
    n = p.tail;
  }
  throw CorruptPage(store_.file_name(), n, "index subtree without entries");
}

// The maximum of path[depth] changed: refresh the copies held by its ancestors.
void BTree::PropagateMax(const std::vector<uint32_t>& path, size_t depth) {
  while (depth > 0) {
    // A parent without a working copy whose tail leads here changes nothing: go up.
    if (!Loaded(path[depth - 1])) {
      const IndexPageView& v = View(path[depth - 1]);
      if (SlotOf(v, path[depth]) == v.size()) {
        --depth;
        continue;
      }
    }
    IndexPage& parent = Load(path[depth - 1]);
    const size_t slot = SlotOf(parent, path[depth]);
    const bool last_child = slot == parent.entries.size() ||
                            (parent.tail == 0 && slot + 1 == parent.entries.size());
    if (slot < parent.entries.size()) {
      const uint32_t child = parent.entries[slot].child;
      parent.entries[slot] = SubtreeMax(path[depth]);
      parent.entries[slot].child = child;
      MarkDirty(path[depth - 1]);
    }
    if (!last_child) return;
    --depth;
  }
}

// Applies the tail rule to page `n` (which must have at least one child).
void BTree::NormalizeTail(uint32_t n) {
  IndexPage& p = Load(n);
  if (p.leaf()) return;
  const size_t children = p.entries.size() + (p.tail != 0 ? 1 : 0);
  if (children >= 2 && p.tail == 0) {
    p.tail = p.entries.back().child;
    p.entries.pop_back();
    MarkDirty(n);
  } else if (children == 1 && p.tail != 0) {
    const uint32_t only = p.tail;
    IndexEntry e = SubtreeMax(only);
    e.child = only;
    IndexPage& q = Load(n);
    q.entries.push_back(e);
    q.tail = 0;
    MarkDirty(n);
  }
}

bool BTree::Insert(const IndexEntry& entry, bool unique) {
  Reset();
  if (entry.key.size() > max_key_size()) {
    throw Error(Error::Kind::kInvalidArgument,
                "The index key is too long (" + std::to_string(entry.key.size()) + " bytes).");
  }
  IndexEntry e = entry;
  e.child = 0;
  if (unique && !FindKey(e.key).empty()) {
    Reset();
    throw Error(Error::Kind::kConstraint,
                "The changes would create duplicate values in a unique index.");
  }
  std::vector<uint32_t> path = Descend(e);
  IndexPage& leaf = Load(path.back());
  auto it = std::lower_bound(leaf.entries.begin(), leaf.entries.end(), e, EntryLess);
  if (it != leaf.entries.end() && *it == e) {
    Reset();
    throw Error(Error::Kind::kInvalidArgument, "The row already has an entry in this index.");
  }
  const size_t pos = static_cast<size_t>(it - leaf.entries.begin());
  bool distinct = true;
  if (pos < leaf.entries.size()) distinct = leaf.entries[pos].key != e.key;
  if (pos > 0) {
    distinct = distinct && leaf.entries[pos - 1].key != e.key;
  } else if (leaf.prev != 0) {
    const std::optional<Bytes> prev = EdgeKey(leaf.prev, true);
    if (prev) distinct = distinct && *prev != e.key;
  }
  IndexPage& target = Load(path.back());
  if (pos == target.entries.size() && target.next != 0) {
    const std::optional<Bytes> next = EdgeKey(target.next, false);
    if (next) distinct = distinct && *next != e.key;
  }
  IndexPage& dest = Load(path.back());
  dest.entries.insert(dest.entries.begin() + static_cast<std::ptrdiff_t>(pos), e);
  MarkDirty(path.back());
  if (pos + 1 == dest.entries.size()) PropagateMax(path, path.size() - 1);
  FixOverflow(path);
  Flush();
  return distinct;
}

// Splits every page on `path` (bottom-up) that no longer fits.
void BTree::FixOverflow(std::vector<uint32_t>& path) {
  for (size_t d = path.size(); d-- > 0;) {
    if (FitsNow(path[d])) continue;
    if (d == 0) {
      GrowRoot(path);
      d = 1;
    }
    Split(path, d);
  }
}

// Moves the root's content into a new page that becomes the root's only child.
void BTree::GrowRoot(std::vector<uint32_t>& path) {
  const uint32_t n = store_.AllocatePage();
  IndexPage moved = Load(root_);
  moved.prev = moved.next = 0;
  pages_[n] = moved;
  MarkDirty(n);
  IndexEntry top = SubtreeMax(n);
  top.child = n;
  IndexPage& root = Load(root_);
  root.type = kIndexIntermediatePage;
  root.entries.assign(1, top);
  root.tail = 0;
  root.prev = root.next = 0;
  MarkDirty(root_);
  path.insert(path.begin() + 1, n);
}

// The number of entries to move into the new lower page: about half, adjusted so both fit.
size_t BTree::ChooseSplit(const IndexPage& p) const {
  const size_t n = p.entries.size();
  const size_t half = (n + 1) / 2;
  for (size_t delta = 0; delta < n; ++delta) {
    for (int sign : {-1, 1}) {
      const std::ptrdiff_t k = static_cast<std::ptrdiff_t>(half) + sign * static_cast<std::ptrdiff_t>(delta);
      if (k < 1 || k >= static_cast<std::ptrdiff_t>(n) + (p.leaf() ? 0 : 1)) continue;
      const std::vector<IndexEntry> low(p.entries.begin(), p.entries.begin() + k);
      const std::vector<IndexEntry> high(p.entries.begin() + k, p.entries.end());
      if (FitsPage(info_, low, p.leaf()) && FitsPage(info_, high, p.leaf())) {
        return static_cast<size_t>(k);
      }
    }
  }
  throw Error(Error::Kind::kInvalidArgument, "Index entries too long to split a page.");
}

// Splits path[depth] (not the root): its lower entries move into a new page linked before it,
// and the parent gets an explicit entry for the new page just before the page's own.
void BTree::Split(const std::vector<uint32_t>& path, size_t depth) {
  const uint32_t pn = path[depth];
  const size_t k = ChooseSplit(Load(pn));
  const uint8_t type = Load(pn).type;
  const uint32_t nn = NewPage(type);
  IndexPage& page = Load(pn);
  IndexPage& low = Load(nn);
  low.entries.assign(page.entries.begin(), page.entries.begin() + static_cast<std::ptrdiff_t>(k));
  page.entries.erase(page.entries.begin(), page.entries.begin() + static_cast<std::ptrdiff_t>(k));
  low.prev = page.prev;
  low.next = pn;
  const uint32_t old_prev = page.prev;
  page.prev = nn;
  MarkDirty(pn);
  if (old_prev != 0) {
    Load(old_prev).next = nn;
    MarkDirty(old_prev);
  }
  NormalizeTail(nn);
  NormalizeTail(pn);
  IndexEntry up = SubtreeMax(nn);
  up.child = nn;
  IndexPage& parent = Load(path[depth - 1]);
  const size_t slot = SlotOf(parent, pn);
  parent.entries.insert(parent.entries.begin() + static_cast<std::ptrdiff_t>(slot), up);
  MarkDirty(path[depth - 1]);
  NormalizeTail(path[depth - 1]);
}

bool BTree::Delete(const IndexEntry& entry) {
  Reset();
  IndexEntry e = entry;
  e.child = 0;
  std::vector<uint32_t> path = Descend(e);
  IndexPage& leaf = Load(path.back());
  auto it = std::lower_bound(leaf.entries.begin(), leaf.entries.end(), e, EntryLess);
  if (it == leaf.entries.end() || !(*it == e)) {
    Reset();
    return false;
  }
  const bool was_last = it + 1 == leaf.entries.end();
  leaf.entries.erase(it);
  MarkDirty(path.back());
  if (leaf.entries.empty()) {
    if (path.size() > 1) RemoveEmpty(path, path.size() - 1);
  } else if (was_last) {
    PropagateMax(path, path.size() - 1);
  }
  FixOverflow(path);
  Flush();
  return true;
}

// path[depth] became empty: unlink it, drop its parent's reference, free it, and repair the
// parent (which may become empty in turn). path is cut below the surviving ancestor.
void BTree::RemoveEmpty(std::vector<uint32_t>& path, size_t depth) {
  const uint32_t n = path[depth];
  const IndexPage gone = Load(n);
  if (gone.prev != 0) {
    Load(gone.prev).next = gone.next;
    MarkDirty(gone.prev);
  }
  if (gone.next != 0) {
    Load(gone.next).prev = gone.prev;
    MarkDirty(gone.next);
  }
  freed_.push_back(n);
  const uint32_t pn = path[depth - 1];
  IndexPage& parent = Load(pn);
  const size_t slot = SlotOf(parent, n);
  const bool last_child = slot == parent.entries.size() ||
                          (parent.tail == 0 && slot + 1 == parent.entries.size());
  if (slot == parent.entries.size()) {
    parent.tail = 0;
  } else {
    parent.entries.erase(parent.entries.begin() + static_cast<std::ptrdiff_t>(slot));
  }
  MarkDirty(pn);
  path.resize(depth);
  if (parent.entries.empty() && parent.tail == 0) {
    if (depth - 1 == 0) {
      parent.type = kIndexLeafPage;  // the root of an empty index is an empty leaf
      return;
    }
    RemoveEmpty(path, depth - 1);
    return;
  }
  NormalizeTail(pn);
  if (last_child) PropagateMax(path, depth - 1);
}

bool BTree::DeleteRow(uint32_t page, uint8_t row) {
  Reset();
  IndexEntry found;
  bool hit = false;
  ForEachIndexEntry(store_, info_, root_, [&](const IndexEntry& e) {
    if (e.page == page && e.row == row) {
      found = e;
      hit = true;
      return false;
    }
    return true;
  });
  return hit && Delete(found);
}

std::vector<IndexEntry> BTree::FindKey(const Bytes& key) {
  IndexEntry probe;
  probe.key = key;
  std::vector<uint32_t> path = Descend(probe);
  std::vector<IndexEntry> out;
  uint32_t n = path.back();
  std::set<uint32_t> seen;
  while (n != 0 && seen.insert(n).second) {
    if (!Loaded(n)) {
      const IndexPageView& v = View(n);
      for (size_t i = v.LowerBound(probe); i < v.size(); ++i) {
        IndexEntry x = v.Entry(i);
        if (x.key != key) return out;
        out.push_back(std::move(x));
      }
      n = v.head().next;
      continue;
    }
    const IndexPage& p = Load(n);
    auto it = std::lower_bound(p.entries.begin(), p.entries.end(), probe, EntryLess);
    for (; it != p.entries.end(); ++it) {
      if (it->key != key) return out;
      out.push_back(*it);
    }
    n = p.next;
  }
  return out;
}

}  // namespace jet
