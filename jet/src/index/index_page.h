#pragma once
// Index pages (types 0x03 intermediate / 0x04 leaf) and a read-only walk of one index B-tree.
//
// Page layout (J3 / J4 offsets):
//   0x00 type, 0x01 = 1, 0x02 u16 free space, 0x04 u32 owning TDEF page,
//   0x08/0x0C prev, 0x0C/0x10 next, 0x10/0x14 tail child (intermediate only),
//   0x14/0x18 shared-prefix length (u8 / u16), 0x15/0x1A 1 on intermediate pages,
//   0x16/0x1B entry-end bitmap, 0xF8/0x1E0 entry area (1800 / 3616 bytes).
// Entries are stored back to back; bit k of the bitmap marks the end of an entry at byte k of the
// area. Every entry but the first omits the first P bytes (the shared prefix), which equal the
// first P bytes of the first entry. Entry = key bytes, data page (3 bytes big-endian), data row,
// and on intermediate pages the child page (4 bytes big-endian). Entries sort by key bytes, then
// data page, then row; an intermediate entry is a copy of the last leaf entry of its child's
// subtree. The tail child (no explicit entry) is the last child of an intermediate page.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "jet/schema.h"
#include "jet/value.h"

namespace jet {

struct FormatInfo;

constexpr uint8_t kIndexIntermediatePage = 0x03;
constexpr uint8_t kIndexLeafPage = 0x04;

// One index entry. `child` is used on intermediate pages only.
struct IndexEntry {
  Bytes key;
  uint32_t page = 0;  // data page of the row's header slot (24 bits)
  uint8_t row = 0;    // its slot number
  uint32_t child = 0;

  bool operator==(const IndexEntry&) const = default;
};

// Order of entries: key bytes (unsigned, a proper prefix first), then page, then row.
int CompareEntries(const IndexEntry& a, const IndexEntry& b);
inline bool EntryLess(const IndexEntry& a, const IndexEntry& b) { return CompareEntries(a, b) < 0; }

// A decoded index page.
struct IndexPage {
  uint8_t type = kIndexLeafPage;
  uint16_t free_space = 0;  // as stored
  uint32_t owner = 0;       // TDEF page of the table
  uint32_t prev = 0;
  uint32_t next = 0;
  uint32_t tail = 0;        // intermediate pages: last child without an explicit entry
  uint32_t prefix = 0;      // shared-prefix length as stored
  uint32_t used = 0;        // stored entry bytes as the bitmap says
  std::vector<IndexEntry> entries;

  bool leaf() const { return type == kIndexLeafPage; }
};

// Decodes one page. Throws kCorrupt (naming `file` and `page_no`) for a page that is not an index
// page or whose bitmap, prefix or entries are inconsistent.
IndexPage DecodeIndexPage(const FormatInfo& info, std::span<const uint8_t> page,
                          std::string_view file, uint32_t page_no);

// Where the entries of an index page are: its header fields (entries left empty) and the end of
// every entry's stored bytes in the entry area. It depends on the bytes before the entry area
// only (header and entry-end bitmap), which is what lets views share it (see IndexPageView).
struct IndexPageLayout {
  IndexPage head;
  std::vector<uint16_t> ends;
};

// One index page checked as DecodeIndexPage checks it (same errors), but with its entries left
// in place: only their boundaries are found. Searches that read a few entries of a page they do
// not change use this instead of a full decode, which allocates every key. The view owns the
// page bytes; moving it keeps it valid.
//
// Finding the boundaries walks the whole bitmap, and a row write looks at the same few pages
// again and again, so layouts are kept in a small per-thread cache by page number, each with the
// bytes it was found from: a page whose header and bitmap equal those bytes has that layout,
// whatever file it comes from, so the cache can never answer wrongly, only miss.
class IndexPageView {
 public:
  // Over `page`, which must outlive the view.
  IndexPageView(const FormatInfo& info, std::span<const uint8_t> page, std::string_view file,
                uint32_t page_no);
  // Over bytes the view keeps.
  IndexPageView(const FormatInfo& info, std::vector<uint8_t>&& page, std::string_view file,
                uint32_t page_no);
  IndexPageView(IndexPageView&&) = default;
  IndexPageView(const IndexPageView&) = delete;
  IndexPageView& operator=(const IndexPageView&) = delete;

  // Records `layout` as that of `page` (page number `page_no`) after a writer changed the page's
  // bytes and knows their new layout, so the next view need not walk the bitmap again. Debug
  // builds check it against the layout found from the bytes.
  static void Remember(const FormatInfo& info, uint32_t page_no, std::span<const uint8_t> page,
                       IndexPageLayout layout);
  // Empties this thread's layout cache (for tests that compare cached and fresh layouts).
  static void ForgetLayouts();

  // The header fields (entries left empty).
  const IndexPage& head() const { return layout_->head; }
  bool leaf() const { return head().leaf(); }
  size_t size() const { return layout_->ends.size(); }
  // Entry `i` decoded.
  IndexEntry Entry(size_t i) const;
  // The key bytes of entry `i` appended to `out` (cleared first).
  void KeyOf(size_t i, Bytes& out) const;
  // The child page of entry `i` (intermediate pages).
  uint32_t Child(size_t i) const;
  // The first entry not less than `e` (size() when every entry is less).
  size_t LowerBound(const IndexEntry& e) const;
  // Whether the key bytes of entry `i` equal `key`.
  bool KeyEquals(size_t i, const Bytes& key) const;
  // Whether entry `i` equals `e` (key, row pointer and, on intermediate pages, child).
  bool EntryEquals(size_t i, const IndexEntry& e) const;
  // Length of the common prefix of the key bytes of entry `i` and `key`.
  size_t CommonKeyPrefix(size_t i, const Bytes& key) const;
  // StoredSize() of the decoded entries: the bytes the encoder would write for them.
  size_t EncodedSize() const;
  // The whole page decoded; equal to DecodeIndexPage of the same bytes.
  IndexPage Decode() const;
  // The shared prefix EncodeIndexPage would choose for these entries (ChoosePrefix).
  size_t ChosenPrefix() const;
  // The entry area and the stored bytes of entry `i` within it: [Start(i), End(i)).
  std::span<const uint8_t> area() const { return area_; }
  size_t Start(size_t i) const { return i == 0 ? 0 : layout_->ends[i - 1]; }
  size_t End(size_t i) const { return layout_->ends[i]; }
  const std::vector<uint16_t>& ends() const { return layout_->ends; }

 private:
  // Byte `j` of entry `i` with the shared prefix restored.
  uint8_t At(size_t i, size_t j) const;
  // Length of entry `i` with the shared prefix restored.
  size_t FullSize(size_t i) const;
  // Length of the key of entry `i`: its full length less the row (and child) pointer.
  size_t KeyLength(size_t i) const;
  // The data page of entry `i`'s row pointer (three bytes after its key of `key_len` bytes).
  uint32_t RowPage(size_t i, size_t key_len) const;
  // Compares the first `n` key bytes of entry `i` (n at most its key length) with `key`.
  int CompareKey(size_t i, const uint8_t* key, size_t n) const;

  void Index(const FormatInfo& info, std::string_view file, uint32_t page_no);

  std::vector<uint8_t> owned_;                   // the page bytes when the view keeps them
  std::span<const uint8_t> area_;                // the entry area
  std::shared_ptr<const IndexPageLayout> layout_;  // header fields and entry ends
};

// Bytes one entry takes when stored in full on a page of this kind.
size_t EntrySize(const IndexEntry& e, bool leaf);
// The entry as stored in full (key, row pointer, and on intermediate pages the child).
std::vector<uint8_t> SerializeEntry(const IndexEntry& e, bool leaf);
// Stored bytes of `entries` on a page of this kind, with the prefix the encoder would choose.
size_t StoredSize(const std::vector<IndexEntry>& entries, bool leaf);
// Whether `entries` fit one page.
bool FitsPage(const FormatInfo& info, const std::vector<IndexEntry>& entries, bool leaf);
// The shared prefix the encoder writes: on leaves the common prefix of the first and last key
// (bounded by the first entry's size); 0 on intermediate pages, as Access writes them.
uint32_t ChoosePrefix(const std::vector<IndexEntry>& entries, bool leaf);

// Encodes `p` (its free_space, prefix and used fields are recomputed). Throws kInvalidArgument
// when the entries do not fit.
std::vector<uint8_t> EncodeIndexPage(const FormatInfo& info, const IndexPage& p);

// Read access to pages for walking a tree.
class PageSource {
 public:
  virtual ~PageSource() = default;
  // The bytes of page `n` (page-size bytes); throws kCorrupt for a page outside the file.
  virtual std::vector<uint8_t> ReadPage(uint32_t n) = 0;
  // Name of the file, for error messages.
  virtual const std::string& file_name() const = 0;
};

class File;

// Pages read straight from an open file.
class FilePageSource : public PageSource {
 public:
  explicit FilePageSource(const File& file) : file_(file) {}
  std::vector<uint8_t> ReadPage(uint32_t n) override;
  const std::string& file_name() const override;

 private:
  const File& file_;
};

// Calls `fn` for every leaf entry of the index rooted at `root`, in order, following the leaf
// chain from the first leaf. Stops when `fn` returns false. Throws kCorrupt on malformed pages,
// a chain that loops or leaves the level, or a tree deeper than 32 levels.
void ForEachIndexEntry(PageSource& src, const FormatInfo& info, uint32_t root,
                       const std::function<bool(const IndexEntry&)>& fn);
// The same walk from the first leaf entry whose key bytes are not below `from` (unsigned byte
// order, a proper prefix first): only the pages on the way down and the leaves visited are read.
void ForEachIndexEntryFrom(PageSource& src, const FormatInfo& info, uint32_t root,
                           const Bytes& from, const std::function<bool(const IndexEntry&)>& fn);

// All leaf entries of the index rooted at `root`, in order.
std::vector<IndexEntry> ReadIndexEntries(PageSource& src, const FormatInfo& info, uint32_t root);

}  // namespace jet
