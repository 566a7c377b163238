#pragma once
// Writing one index B-tree: insert, delete, bulk build, and a verifier of every invariant.
//
// The tree works on page buffers through IndexPageStore, which the caller backs with the real file
// (allocation updates the global and index usage maps there) or with memory in tests. Each
// operation reads the pages it needs, changes decoded copies, and writes every changed page at
// the end; every check that can fail (entry too long, duplicate key in a unique index, entry
// already present) runs before the first page is changed.
//
// Shape kept by every operation (see also index_page.h):
//   * the root page number never changes; an empty index is an empty leaf root;
//   * an intermediate entry is a copy of the last leaf entry of its child's subtree;
//   * a page with two or more children keeps its last child as the tail (no explicit entry), a
//     page with one child holds it as an explicit entry with tail 0;
//   * the pages of each level form one prev/next chain in key order;
//   * page splits move the lower entries into a new page linked just before the old one; a root
//     split moves the root's content into a new page first.

#include <cstdint>
#include <map>
#include <memory_resource>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "index/index_page.h"

namespace jet {

struct FormatInfo;

// Page access for tree writes.
class IndexPageStore : public PageSource {
 public:
  // A fresh page for this index; its content is written by the tree before use.
  virtual uint32_t AllocatePage() = 0;
  // Gives back a page the tree no longer uses (called after all writes of the operation).
  virtual void FreePage(uint32_t n) = 0;
  // Replaces page `n` with `bytes` (page-size bytes).
  virtual void WritePage(uint32_t n, const std::vector<uint8_t>& bytes) = 0;
  // Page `n` without a copy, valid until this store writes or frees that page; empty when the
  // store cannot lend its bytes (the tree then reads a copy).
  virtual std::span<const uint8_t> LendPage(uint32_t /*n*/) { return {}; }
  // Page `n` for changing in place (the change is kept as WritePage would keep it); empty when
  // the store cannot hand out its bytes (the tree then writes a changed copy).
  virtual std::span<uint8_t> EditPage(uint32_t /*n*/) { return {}; }
};

class BTree {
 public:
  // The tree rooted at `root` of a table whose TDEF starts at `owner`.
  BTree(IndexPageStore& store, const FormatInfo& info, uint32_t root, uint32_t owner);

  // Writes an empty leaf into the root page.
  void InitEmpty();

  // Inserts `e` (child ignored). For a unique index, an existing entry with the same key bytes
  // is refused with kConstraint before anything changes; an entry whose key is too long for a
  // page is refused with kInvalidArgument. Returns true when the key bytes differ from both
  // neighbours (the distinct-key count goes up).
  bool Insert(const IndexEntry& e, bool unique);

  // Removes the entry equal to `e` (key and row pointer). Returns false, changing nothing, when
  // there is none.
  bool Delete(const IndexEntry& e);
  // Removes the entry of the row at (page, row) found by scanning the leaves (for rows whose key
  // cannot be recomputed). Returns false when there is none.
  bool DeleteRow(uint32_t page, uint8_t row);

  // Every entry whose key bytes equal `key`, in order.
  std::vector<IndexEntry> FindKey(const Bytes& key);

  // Replaces the tree with `entries`, which must be sorted and free of duplicates (else
  // kInvalidArgument): leaves packed in order, intermediate levels built bottom-up, the top page
  // written into the root. Pages of the previous tree other than the root are not freed. Returns
  // the number of distinct keys.
  uint32_t BulkBuild(const std::vector<IndexEntry>& entries);

  // The longest key accepted (so that every page can hold at least two entries).
  size_t max_key_size() const;

  // Whether an insert or delete that changes one leaf only, and keeps its shared prefix, edits
  // the leaf's bytes in place (the default) instead of decoding and re-encoding the page. Both
  // write the same bytes; the switch exists so that tests can compare them.
  void set_edit_in_place(bool on) { edit_in_place_ = on; }

 private:
  struct Step {
    uint32_t page;
    size_t slot;  // parent's entry leading here, or the parent's entry count for its tail
  };

  // The decoded working copy of page `n` (read and decoded on first use).
  IndexPage& Load(uint32_t n);
  // Whether page `n` has a working copy; a page without one is unchanged on disk.
  bool Loaded(uint32_t n) const { return pages_.count(n) != 0; }
  // Page `n` as stored, for reading pages without a working copy.
  const IndexPageView& View(uint32_t n);
  uint32_t ChildFor(uint32_t n, const IndexEntry& e, bool* tail);
  std::optional<Bytes> EdgeKey(uint32_t n, bool last);
  bool FitsNow(uint32_t n);
  void MarkDirty(uint32_t n) { dirty_.insert(n); }
  uint32_t NewPage(uint8_t type);
  std::vector<uint32_t> Descend(const IndexEntry& e);
  size_t SlotOf(const IndexPage& parent, uint32_t child) const;
  size_t SlotOf(const IndexPageView& parent, uint32_t child) const;
  IndexEntry SubtreeMax(uint32_t n);
  void PropagateMax(const std::vector<uint32_t>& path, size_t depth);
  void NormalizeTail(uint32_t n);
  void FixOverflow(std::vector<uint32_t>& path);
  void GrowRoot(std::vector<uint32_t>& path);
  void Split(const std::vector<uint32_t>& path, size_t depth);
  size_t ChooseSplit(const IndexPage& p) const;
  void RemoveEmpty(std::vector<uint32_t>& path, size_t depth);
  bool Fits(const IndexPage& p) const;
  bool InsertInPlace(const std::vector<uint32_t>& path, size_t pos, const IndexEntry& e);
  bool DeleteInPlace(const std::vector<uint32_t>& path, size_t pos);
  bool InPlaceCandidate(const IndexPageView& leaf) const;
  bool ReachedByTails(const std::vector<uint32_t>& path) const;
  void Splice(uint32_t n, IndexPage head, size_t at, size_t cut, std::span<const uint8_t> ins,
              std::vector<uint16_t> ends);
  void Flush();
  void Reset();
  std::vector<IndexEntry> BuildLevel(const std::vector<IndexEntry>& maxima,
                                     const std::vector<uint32_t>& children,
                                     std::vector<IndexPage>* pages) const;

  IndexPageStore& store_;
  const FormatInfo& info_;
  uint32_t root_;
  uint32_t owner_;
  // The nodes of the per-operation maps below come from this arena, emptied by Reset(): an
  // index insert reads a few pages, and their nodes then cost no call to the heap.
  std::byte arena_bytes_[1024];
  std::pmr::monotonic_buffer_resource arena_{arena_bytes_, sizeof arena_bytes_};
  std::pmr::map<uint32_t, IndexPage> pages_{&arena_};  // decoded working copies of this operation
  std::pmr::map<uint32_t, IndexPageView> views_{&arena_};  // pages read without a working copy
  std::vector<bool> via_tail_;           // per page of the last Descend: reached as a tail
  std::pmr::set<uint32_t> dirty_{&arena_};  // pages to write at the end
  std::vector<uint32_t> freed_;          // pages to give back after the writes
  bool edit_in_place_ = true;
};

// What the verifier found.
struct IndexCheck {
  std::vector<std::string> problems;  // empty = the tree is sound
  uint64_t entries = 0;               // leaf entries
  std::vector<uint32_t> pages;        // every page of the tree, root first
  int depth = 0;                      // levels (1 = the root is a leaf)
};

// Walks the whole tree and checks page types and owner, stored free space and bitmap, entry order
// inside pages, along the leaf chain and across levels, that each parent entry equals the last
// leaf entry of its child's subtree, the tail rule, the prev/next chain of every level, equal
// depth of all leaves, and that no page is used twice. Never throws for a malformed tree: decoding
// errors become problems.
IndexCheck VerifyIndex(PageSource& src, const FormatInfo& info, uint32_t root, uint32_t owner);

}  // namespace jet
