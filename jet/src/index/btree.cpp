// Index B-tree writes: insert, delete and the page split. Shape rules: see btree.h.
#include "index/btree.h"

#include <algorithm>
#include <cstring>

#include "page/format.h"
#include "util/write_bytes.h"
#include "jet/error.h"
#include "page/page_reader.h"

namespace jet {

BTree::BTree(IndexPageStore& store, const FormatInfo& info, uint32_t root, uint32_t owner)
    : store_(store), info_(info), root_(root), owner_(owner) {}

size_t BTree::max_key_size() const {
  // Two intermediate entries (key + 8 bytes each) must fit one page.
  return info_.ipage_capacity / 2 - 8;
}

void BTree::Reset() {
  pages_.clear();
  views_.clear();
  via_tail_.clear();
  dirty_.clear();
  freed_.clear();
  arena_.release();  // the maps above are empty: their nodes' memory can go
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

// The child of intermediate page `n` where `e` belongs; `*tail` says whether it is the tail.
uint32_t BTree::ChildFor(uint32_t n, const IndexEntry& e, bool* tail) {
  *tail = false;
  if (Loaded(n)) {
    const IndexPage& p = Load(n);
    auto it = std::lower_bound(p.entries.begin(), p.entries.end(), e, EntryLess);
    if (it != p.entries.end()) return it->child;
    *tail = p.tail != 0;
    if (p.tail != 0) return p.tail;
    if (!p.entries.empty()) return p.entries.back().child;
  } else {
    const IndexPageView& v = View(n);
    const size_t i = v.LowerBound(e);
    if (i < v.size()) return v.Child(i);
    *tail = v.head().tail != 0;
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
  Bytes key;
  v.KeyOf(last ? v.size() - 1 : 0, key);
  return key;
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
  via_tail_.assign(1, false);
  while (true) {
    const uint32_t n = path.back();
    if (Loaded(n) ? Load(n).leaf() : View(n).leaf()) return path;
    if (path.size() > static_cast<size_t>(kMaxIndexDepth)) throw CorruptPage(store_.file_name(), n, "index too deep");
    bool tail = false;
    const uint32_t child = ChildFor(n, e, &tail);
    if (std::find(path.begin(), path.end(), child) != path.end()) {
      throw CorruptPage(store_.file_name(), path.back(), "index tree has a cycle");
    }
    path.push_back(child);
    via_tail_.push_back(tail);
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
  const uint32_t ln = path.back();
  size_t pos = 0;
  bool distinct = true;
  {
    // Position, duplicate and distinct-key checks read the leaf without decoding all of it.
    const IndexPageView& leaf = View(ln);
    pos = leaf.LowerBound(e);
    if (pos < leaf.size()) {
      if (leaf.EntryEquals(pos, e)) {
        Reset();
        throw Error(Error::Kind::kInvalidArgument, "The row already has an entry in this index.");
      }
      distinct = !leaf.KeyEquals(pos, e.key);
    }
    if (pos > 0) {
      distinct = distinct && !leaf.KeyEquals(pos - 1, e.key);
    } else if (leaf.head().prev != 0) {
      const std::optional<Bytes> prev = EdgeKey(leaf.head().prev, true);
      if (prev) distinct = distinct && *prev != e.key;
    }
    if (pos == leaf.size() && leaf.head().next != 0) {
      const std::optional<Bytes> next = EdgeKey(leaf.head().next, false);
      if (next) distinct = distinct && *next != e.key;
    }
  }
  if (edit_in_place_ && InsertInPlace(path, pos, e)) {
    Reset();
    return distinct;
  }
  IndexPage& dest = Load(ln);
  dest.entries.insert(dest.entries.begin() + static_cast<std::ptrdiff_t>(pos), e);
  MarkDirty(ln);
  if (pos + 1 == dest.entries.size()) PropagateMax(path, path.size() - 1);
  FixOverflow(path);
  Flush();
  return distinct;
}

// Whether `leaf` is stored as EncodeIndexPage would store it, as far as an in-place edit keeps
// it: the prefix the encoder chooses, this tree's owner, no tail. Other pages (written by
// another program) are re-encoded whole on their first change.
bool BTree::InPlaceCandidate(const IndexPageView& leaf) const {
  return leaf.leaf() && leaf.head().owner == owner_ && leaf.head().tail == 0 &&
         leaf.head().prefix == leaf.ChosenPrefix();
}

// Whether every ancestor on `path` (as Descend found it) reaches the next page through its tail,
// so that a new maximum of the leaf changes no entry above it.
bool BTree::ReachedByTails(const std::vector<uint32_t>& path) const {
  if (via_tail_.size() != path.size()) return false;
  for (size_t d = path.size() - 1; d > 0; --d) {
    if (!via_tail_[d]) return false;
  }
  return true;
}

// Inserts `e` at `pos` of leaf path.back() by splicing its bytes into the page, when that changes
// nothing else: the page keeps its shared prefix, the entry fits, and a new last entry needs no
// ancestor update. Returns false, having changed nothing, otherwise.
bool BTree::InsertInPlace(const std::vector<uint32_t>& path, size_t pos, const IndexEntry& e) {
  const uint32_t ln = path.back();
  const IndexPageView& v = View(ln);
  if (!InPlaceCandidate(v)) return false;
  const size_t n = v.size();
  const size_t prefix = v.head().prefix;
  if (pos == 0 || pos == n) {
    // A new first or last entry: the prefix the encoder chooses may change.
    size_t chosen = 0;
    if (n >= 1) chosen = v.CommonKeyPrefix(pos == 0 ? n - 1 : 0, e.key);
    if (chosen != prefix) return false;
  }
  if (pos == n && !ReachedByTails(path)) return false;
  const std::vector<uint8_t> full = SerializeEntry(e, true);
  if (full.size() < prefix ||
      !std::equal(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(prefix),
                  v.area().begin())) {
    return false;
  }
  const size_t used = v.head().used;
  const size_t add = full.size() - prefix;
  if (used + add > info_.ipage_capacity) return false;  // a split
  // A new first entry is stored whole; the old first then loses the prefix it now shares.
  // Both come to the same splice: the new entry's bytes after the prefix go in at `at`.
  const size_t at = pos == 0 ? prefix : v.End(pos - 1);
  const std::vector<uint16_t>& old = v.ends();
  std::vector<uint16_t> ends;
  ends.reserve(n + 1);
  ends.insert(ends.end(), old.begin(), old.begin() + static_cast<std::ptrdiff_t>(pos));
  ends.push_back(static_cast<uint16_t>(at + add));
  for (size_t i = pos; i < n; ++i) ends.push_back(static_cast<uint16_t>(old[i] + add));
  Splice(ln, v.head(), at, 0, std::span<const uint8_t>(full).subspan(prefix), std::move(ends));
  return true;
}

// Removes entry `pos` of leaf path.back() in place, under the same conditions as InsertInPlace
// (and the page does not become empty).
bool BTree::DeleteInPlace(const std::vector<uint32_t>& path, size_t pos) {
  const uint32_t ln = path.back();
  const IndexPageView& v = View(ln);
  if (!InPlaceCandidate(v)) return false;
  const size_t n = v.size();
  if (n < 2) return false;
  const size_t prefix = v.head().prefix;
  if (pos == 0 || pos == n - 1) {
    size_t chosen = 0;
    if (n - 1 >= 2) {
      chosen = pos == 0 ? v.CommonKeyPrefix(n - 1, v.Entry(1).key)
                        : v.CommonKeyPrefix(0, v.Entry(n - 2).key);
    }
    if (chosen != prefix) return false;
  }
  if (pos == n - 1 && !ReachedByTails(path)) return false;
  // Removing the first entry keeps its first `prefix` bytes: they begin the next entry, which
  // becomes the first and is stored whole.
  const size_t at = pos == 0 ? prefix : v.Start(pos);
  const size_t cut = v.End(pos) - at;
  std::vector<uint16_t> ends;
  ends.reserve(n - 1);
  for (size_t i = 0; i < n; ++i) {
    if (i < pos) ends.push_back(static_cast<uint16_t>(v.End(i)));
    if (i > pos) ends.push_back(static_cast<uint16_t>(v.End(i) - cut));
  }
  Splice(ln, v.head(), at, cut, {}, std::move(ends));
  return true;
}

// Leaf `n` (whose header was `head`): the area's bytes [at, at + cut) replaced by `ins`, then the
// bitmap rewritten for the entry ends `ends` and the free space updated; the new layout is
// remembered for the next view of the page. Everything the splice needs was read before, since
// the page's bytes may be those the views read.
void BTree::Splice(uint32_t n, IndexPage head, size_t at, size_t cut,
                   std::span<const uint8_t> ins, std::vector<uint16_t> ends) {
  const size_t used = head.used;
  std::vector<uint8_t> copy;
  std::span<uint8_t> page = store_.EditPage(n);
  if (page.empty()) {
    copy = store_.ReadPage(n);
    page = copy;
  }
  uint8_t* area = page.data() + info_.ipage_entries;
  const size_t now = used - cut + ins.size();
  std::memmove(area + at + ins.size(), area + at + cut, used - at - cut);
  if (!ins.empty()) std::memcpy(area + at, ins.data(), ins.size());
  if (now < used) std::memset(area + now, 0, used - now);
  wr::StoreU16(page, info_.ipage_free_space,
               static_cast<uint16_t>(info_.page_size - info_.ipage_entries - now));
  // Entries ending before `at` keep their bits; the rest of the bitmap is written afresh. An
  // entry added at the end of a page (keys arriving in order) thus touches one bit, not all.
  uint8_t* bitmap = page.data() + info_.ipage_bitmap;
  bitmap[at / 8] &= static_cast<uint8_t>((1u << (at % 8)) - 1);
  std::memset(bitmap + at / 8 + 1, 0, info_.ipage_entries - info_.ipage_bitmap - at / 8 - 1);
  for (auto it = std::lower_bound(ends.begin(), ends.end(), at); it != ends.end(); ++it) {
    bitmap[*it / 8] |= static_cast<uint8_t>(1u << (*it % 8));
  }
  if (!copy.empty()) store_.WritePage(n, copy);
  head.free_space = static_cast<uint16_t>(info_.page_size - info_.ipage_entries - now);
  head.used = static_cast<uint32_t>(now);
  IndexPageView::Remember(info_, n, page, IndexPageLayout{std::move(head), std::move(ends)});
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
  if (edit_in_place_) {
    const IndexPageView& v = View(path.back());
    const size_t pos = v.LowerBound(e);
    if (pos == v.size() || !v.EntryEquals(pos, e)) {
      Reset();
      return false;
    }
    if (DeleteInPlace(path, pos)) {
      Reset();
      return true;
    }
  }
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
        if (!v.KeyEquals(i, key)) return out;
        out.push_back(v.Entry(i));
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
