// Index page decoding and encoding, and the leaf walk. Layout: see index_page.h.
#include "index/index_page.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <unordered_set>

#include "page/file.h"
#include "page/format.h"
#include "jet/error.h"
#include "page/page_reader.h"

namespace jet {
namespace {

constexpr size_t kLeafPointerBytes = 4;          // data page (3) + row (1)
constexpr size_t kIntermediatePointerBytes = 8;  // + child page (4)

void PutBigEndian(uint32_t v, size_t n, std::vector<uint8_t>* out) {
  for (size_t i = n; i-- > 0;) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutLe(std::vector<uint8_t>& page, size_t off, uint32_t v, size_t n) {
  for (size_t i = 0; i < n; ++i) page[off + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Full stored form of one entry.
void Serialize(const IndexEntry& e, bool leaf, std::vector<uint8_t>* out) {
  out->insert(out->end(), e.key.begin(), e.key.end());
  PutBigEndian(e.page, 3, out);
  out->push_back(e.row);
  if (!leaf) PutBigEndian(e.child, 4, out);
}

}  // namespace

int CompareEntries(const IndexEntry& a, const IndexEntry& b) {
  const size_t n = std::min(a.key.size(), b.key.size());
  if (n > 0) {
    const int c = std::memcmp(a.key.data(), b.key.data(), n);
    if (c != 0) return c < 0 ? -1 : 1;
  }
  if (a.key.size() != b.key.size()) return a.key.size() < b.key.size() ? -1 : 1;
  if (a.page != b.page) return a.page < b.page ? -1 : 1;
  if (a.row != b.row) return a.row < b.row ? -1 : 1;
  return 0;
}

IndexPage DecodeIndexPage(const FormatInfo& info, std::span<const uint8_t> bytes,
                          std::string_view file, uint32_t page_no) {
  return IndexPageView(info, bytes, file, page_no).Decode();
}

namespace {

// Layouts by page number, direct-mapped: a row write's pages rarely collide in this many slots.
constexpr size_t kLayoutSlots = 128;

struct LayoutSlot {
  const FormatInfo* info = nullptr;
  uint32_t page = 0;
  std::vector<uint8_t> bytes;  // the page's bytes before its entry area
  std::shared_ptr<const IndexPageLayout> layout;
};

std::array<LayoutSlot, kLayoutSlots>& Slots() {
  thread_local std::array<LayoutSlot, kLayoutSlots> slots;
  return slots;
}

LayoutSlot& SlotFor(uint32_t page_no) { return Slots()[page_no % kLayoutSlots]; }

std::shared_ptr<const IndexPageLayout> CachedLayout(const FormatInfo& info, uint32_t page_no,
                                                    std::span<const uint8_t> page) {
  const LayoutSlot& s = SlotFor(page_no);
  if (s.info != &info || s.page != page_no || !s.layout) return nullptr;
  if (std::memcmp(s.bytes.data(), page.data(), info.ipage_entries) != 0) return nullptr;
  return s.layout;
}

void KeepLayout(const FormatInfo& info, uint32_t page_no, std::span<const uint8_t> page,
                std::shared_ptr<const IndexPageLayout> layout) {
  LayoutSlot& s = SlotFor(page_no);
  s.info = &info;
  s.page = page_no;
  s.bytes.assign(page.begin(), page.begin() + info.ipage_entries);
  s.layout = std::move(layout);
}

// The layout of a whole page; throws kCorrupt as DecodeIndexPage does.
IndexPageLayout FindLayout(const FormatInfo& info, std::span<const uint8_t> page,
                           std::string_view file, uint32_t page_no) {
  const PageReader r(page, file, page_no);
  if (r.size() != info.page_size) r.Fail("index page of the wrong size");
  IndexPageLayout out;
  IndexPage& p = out.head;
  p.type = r.U8(0);
  if (p.type != kIndexLeafPage && p.type != kIndexIntermediatePage) r.Fail("not an index page");
  p.free_space = r.U16(info.ipage_free_space);
  p.owner = r.U32(info.ipage_owner);
  p.prev = r.U32(info.ipage_prev);
  p.next = r.U32(info.ipage_next);
  p.tail = r.U32(info.ipage_tail);
  p.prefix = info.ipage_prefix_size == 1 ? r.U8(info.ipage_prefix_length)
                                          : r.U16(info.ipage_prefix_length);
  const auto bitmap = r.Bytes(info.ipage_bitmap, info.ipage_entries - info.ipage_bitmap);
  const size_t area = info.ipage_capacity;
  const size_t ptr = p.leaf() ? kLeafPointerBytes : kIntermediatePointerBytes;
  std::vector<uint16_t>& ends = out.ends;
  ends.reserve(256);
  size_t start = 0;
  for (size_t byte = 0; byte < bitmap.size(); ++byte) {
    for (unsigned bits = bitmap[byte]; bits != 0; bits &= bits - 1) {  // set bits, low first
      const size_t k = byte * 8 + static_cast<size_t>(std::countr_zero(bits));
      if (k > area) r.Fail("index bitmap points past the entry area");
      if (k == start) r.Fail("index bitmap marks an empty entry");
      const size_t stored = k - start;
      if (ends.empty() && p.prefix > stored) r.Fail("index prefix longer than the first entry");
      if ((ends.empty() ? stored : p.prefix + stored) < ptr) {
        r.Fail("index entry shorter than its row pointer");
      }
      ends.push_back(static_cast<uint16_t>(k));
      start = k;
    }
  }
  p.used = static_cast<uint32_t>(start);
  return out;
}

#ifndef NDEBUG
bool SameLayout(const IndexPageLayout& a, const IndexPageLayout& b) {
  const IndexPage& x = a.head;
  const IndexPage& y = b.head;
  return x.type == y.type && x.free_space == y.free_space && x.owner == y.owner &&
         x.prev == y.prev && x.next == y.next && x.tail == y.tail && x.prefix == y.prefix &&
         x.used == y.used && a.ends == b.ends;
}
#endif

}  // namespace

IndexPageView::IndexPageView(const FormatInfo& info, std::span<const uint8_t> page,
                             std::string_view file, uint32_t page_no) {
  area_ = page;
  Index(info, file, page_no);
}

IndexPageView::IndexPageView(const FormatInfo& info, std::vector<uint8_t>&& page,
                             std::string_view file, uint32_t page_no)
    : owned_(std::move(page)) {
  area_ = owned_;
  Index(info, file, page_no);
}

// Finds the layout (from the cache when it knows these bytes); area_ holds the whole page on
// entry and the entry area on return.
void IndexPageView::Index(const FormatInfo& info, std::string_view file, uint32_t page_no) {
  const std::span<const uint8_t> page = area_;
  if (page.size() == info.page_size) layout_ = CachedLayout(info, page_no, page);
  if (!layout_) {
    auto found = std::make_shared<const IndexPageLayout>(FindLayout(info, page, file, page_no));
    KeepLayout(info, page_no, page, found);
    layout_ = std::move(found);
  }
  area_ = page.subspan(info.ipage_entries, info.ipage_capacity);
}

void IndexPageView::Remember(const FormatInfo& info, uint32_t page_no,
                             std::span<const uint8_t> page, IndexPageLayout layout) {
#ifndef NDEBUG
  if (!SameLayout(layout, FindLayout(info, page, "memory", page_no))) {
    throw Error(Error::Kind::kCorrupt,
                "index page " + std::to_string(page_no) + ": a writer's layout is not the page's");
  }
#endif
  KeepLayout(info, page_no, page, std::make_shared<const IndexPageLayout>(std::move(layout)));
}

void IndexPageView::ForgetLayouts() {
  for (LayoutSlot& slot : Slots()) slot = LayoutSlot{};
}

uint8_t IndexPageView::At(size_t i, size_t j) const {
  const size_t prefix = i == 0 ? 0 : head().prefix;
  return j < prefix ? area_[j] : area_[Start(i) + j - prefix];
}

size_t IndexPageView::FullSize(size_t i) const {
  return (i == 0 ? 0 : head().prefix) + End(i) - Start(i);
}

size_t IndexPageView::KeyLength(size_t i) const {
  return FullSize(i) - (leaf() ? kLeafPointerBytes : kIntermediatePointerBytes);
}

uint32_t IndexPageView::RowPage(size_t i, size_t key_len) const {
  return uint32_t{At(i, key_len)} << 16 | uint32_t{At(i, key_len + 1)} << 8 | At(i, key_len + 2);
}

int IndexPageView::CompareKey(size_t i, const uint8_t* key, size_t n) const {
  const size_t prefix = i == 0 ? 0 : head().prefix;
  const size_t a = std::min(prefix, n);
  if (a > 0) {
    const int c = std::memcmp(area_.data(), key, a);
    if (c != 0) return c;
  }
  if (n > a) return std::memcmp(area_.data() + Start(i), key + a, n - a);
  return 0;
}

void IndexPageView::KeyOf(size_t i, Bytes& out) const {
  const size_t key_len = KeyLength(i);
  const size_t prefix = i == 0 ? 0 : head().prefix;
  const size_t from_prefix = std::min(prefix, key_len);
  out.assign(area_.begin(), area_.begin() + static_cast<std::ptrdiff_t>(from_prefix));
  const auto stored = area_.begin() + static_cast<std::ptrdiff_t>(Start(i));
  out.insert(out.end(), stored, stored + static_cast<std::ptrdiff_t>(key_len - from_prefix));
}

IndexEntry IndexPageView::Entry(size_t i) const {
  // Built straight from the prefix and the stored bytes, without restoring the entry first.
  const size_t key_len = KeyLength(i);
  IndexEntry e;
  e.key.reserve(key_len);
  KeyOf(i, e.key);
  e.page = RowPage(i, key_len);
  e.row = At(i, key_len + 3);
  if (!leaf()) {
    e.child = uint32_t{At(i, key_len + 4)} << 24 | uint32_t{At(i, key_len + 5)} << 16 |
              uint32_t{At(i, key_len + 6)} << 8 | At(i, key_len + 7);
  }
  return e;
}

bool IndexPageView::KeyEquals(size_t i, const Bytes& key) const {
  const size_t key_len = KeyLength(i);
  return key_len == key.size() && CompareKey(i, key.data(), key_len) == 0;
}

bool IndexPageView::EntryEquals(size_t i, const IndexEntry& e) const {
  const size_t key_len = KeyLength(i);
  if (key_len != e.key.size() || CompareKey(i, e.key.data(), key_len) != 0) return false;
  if (RowPage(i, key_len) != e.page || At(i, key_len + 3) != e.row) return false;
  return leaf() ? e.child == 0 : Child(i) == e.child;
}

size_t IndexPageView::CommonKeyPrefix(size_t i, const Bytes& key) const {
  const size_t key_len = KeyLength(i);
  const size_t n = std::min(key_len, key.size());
  size_t p = 0;
  while (p < n && At(i, p) == key[p]) ++p;
  return p;
}

uint32_t IndexPageView::Child(size_t i) const {
  const size_t n = FullSize(i);
  return uint32_t{At(i, n - 4)} << 24 | uint32_t{At(i, n - 3)} << 16 |
         uint32_t{At(i, n - 2)} << 8 | At(i, n - 1);
}

size_t IndexPageView::LowerBound(const IndexEntry& e) const {
  auto less = [&](size_t i) {  // entry i < e, as EntryLess compares them
    const size_t key_len = KeyLength(i);
    const size_t n = std::min(key_len, e.key.size());
    if (n > 0) {
      const int c = CompareKey(i, e.key.data(), n);
      if (c != 0) return c < 0;
    }
    if (key_len != e.key.size()) return key_len < e.key.size();
    const uint32_t page = RowPage(i, key_len);
    if (page != e.page) return page < e.page;
    return At(i, key_len + 3) < e.row;
  };
  // The probe sequence of std::lower_bound, so that both agree on any page.
  size_t first = 0;
  size_t len = size();
  while (len > 0) {
    const size_t half = len >> 1;
    if (less(first + half)) {
      first += half + 1;
      len -= half + 1;
    } else {
      len = half;
    }
  }
  return first;
}

size_t IndexPageView::ChosenPrefix() const {
  size_t prefix = 0;
  if (leaf() && size() >= 2) {  // as ChoosePrefix: common prefix of the first and last key
    const size_t last = size() - 1;
    const size_t n = std::min(KeyLength(0), KeyLength(last));
    while (prefix < n && At(0, prefix) == At(last, prefix)) ++prefix;
  }
  return prefix;
}

size_t IndexPageView::EncodedSize() const {
  if (size() == 0) return 0;
  const size_t prefix = ChosenPrefix();
  size_t total = 0;
  for (size_t i = 0; i < size(); ++i) total += FullSize(i) - prefix;
  return total + prefix;
}

IndexPage IndexPageView::Decode() const {
  IndexPage p = head();
  p.entries.reserve(size());
  for (size_t i = 0; i < size(); ++i) p.entries.push_back(Entry(i));
  return p;
}

size_t EntrySize(const IndexEntry& e, bool leaf) {
  return e.key.size() + (leaf ? kLeafPointerBytes : kIntermediatePointerBytes);
}

std::vector<uint8_t> SerializeEntry(const IndexEntry& e, bool leaf) {
  std::vector<uint8_t> out;
  out.reserve(EntrySize(e, leaf));
  Serialize(e, leaf, &out);
  return out;
}

uint32_t ChoosePrefix(const std::vector<IndexEntry>& entries, bool leaf) {
  if (!leaf || entries.size() < 2) return 0;
  const Bytes& a = entries.front().key;
  const Bytes& b = entries.back().key;
  const size_t n = std::min(a.size(), b.size());
  size_t p = 0;
  while (p < n && a[p] == b[p]) ++p;
  return static_cast<uint32_t>(p);
}

size_t StoredSize(const std::vector<IndexEntry>& entries, bool leaf) {
  if (entries.empty()) return 0;
  const size_t prefix = ChoosePrefix(entries, leaf);
  size_t total = 0;
  for (const IndexEntry& e : entries) total += EntrySize(e, leaf) - prefix;
  return total + prefix;
}

bool FitsPage(const FormatInfo& info, const std::vector<IndexEntry>& entries, bool leaf) {
  return StoredSize(entries, leaf) <= info.ipage_capacity;
}

std::vector<uint8_t> EncodeIndexPage(const FormatInfo& info, const IndexPage& p) {
  const bool leaf = p.leaf();
  const uint32_t prefix = ChoosePrefix(p.entries, leaf);
  std::vector<uint8_t> page(info.page_size, 0);
  std::vector<uint8_t> area;
  area.reserve(info.ipage_capacity);
  std::vector<uint8_t> one;
  std::vector<size_t> ends;
  ends.reserve(p.entries.size());
  for (size_t i = 0; i < p.entries.size(); ++i) {
    one.clear();
    Serialize(p.entries[i], leaf, &one);
    const size_t skip = i == 0 ? 0 : prefix;
    area.insert(area.end(), one.begin() + static_cast<std::ptrdiff_t>(skip), one.end());
    ends.push_back(area.size());
  }
  if (area.size() > info.ipage_capacity) {
    throw Error(Error::Kind::kInvalidArgument, "Index entries do not fit one index page.");
  }
  page[0] = p.type;
  page[1] = 0x01;
  PutLe(page, info.ipage_free_space,
        static_cast<uint32_t>(info.page_size - info.ipage_entries - area.size()), 2);
  PutLe(page, info.ipage_owner, p.owner, 4);
  PutLe(page, info.ipage_prev, p.prev, 4);
  PutLe(page, info.ipage_next, p.next, 4);
  PutLe(page, info.ipage_tail, leaf ? 0 : p.tail, 4);
  PutLe(page, info.ipage_prefix_length, prefix, info.ipage_prefix_size);
  page[info.ipage_prefix_length + info.ipage_prefix_size] = leaf ? 0x00 : 0x01;
  for (size_t end : ends) page[info.ipage_bitmap + end / 8] |= static_cast<uint8_t>(1u << (end % 8));
  std::copy(area.begin(), area.end(), page.begin() + info.ipage_entries);
  return page;
}

void ForEachIndexEntry(PageSource& src, const FormatInfo& info, uint32_t root,
                       const std::function<bool(const IndexEntry&)>& fn) {
  ForEachIndexEntryFrom(src, info, root, {}, fn);
}

void ForEachIndexEntryFrom(PageSource& src, const FormatInfo& info, uint32_t root,
                           const Bytes& from, const std::function<bool(const IndexEntry&)>& fn) {
  const std::string file = src.file_name();
  uint32_t n = root;
  IndexPage p;
  // An intermediate entry copies the last leaf entry of its child's subtree: the first child whose
  // entry is not below `from` holds the first wanted entry; past all of them, the tail does.
  for (int depth = 0;; ++depth) {
    if (depth > kMaxIndexDepth) throw CorruptPage(file, n, "index tree deeper than 32 levels");
    p = DecodeIndexPage(info, src.ReadPage(n), file, n);
    if (p.leaf()) break;
    uint32_t child = p.tail;
    for (const IndexEntry& e : p.entries) {
      if (!(e.key < from)) {
        child = e.child;
        break;
      }
    }
    if (child == 0) throw CorruptPage(file, n, "intermediate index page without children");
    n = child;
  }
  std::unordered_set<uint32_t> seen;
  while (true) {
    if (!seen.insert(n).second) throw CorruptPage(file, n, "index leaf chain loops");
    for (const IndexEntry& e : p.entries) {
      if (e.key < from) continue;
      if (!fn(e)) return;
    }
    if (p.next == 0) return;
    const uint32_t prev = n;
    n = p.next;
    p = DecodeIndexPage(info, src.ReadPage(n), file, n);
    if (!p.leaf()) throw CorruptPage(file, prev, "index leaf chain leads to a non-leaf page");
  }
}

std::vector<IndexEntry> ReadIndexEntries(PageSource& src, const FormatInfo& info, uint32_t root) {
  std::vector<IndexEntry> out;
  ForEachIndexEntry(src, info, root, [&](const IndexEntry& e) {
    out.push_back(e);
    return true;
  });
  return out;
}

std::vector<uint8_t> FilePageSource::ReadPage(uint32_t n) {
  const Page page = file_.ReadPage(n);
  return std::vector<uint8_t>(page.bytes().begin(), page.bytes().end());
}

const std::string& FilePageSource::file_name() const { return file_.path(); }

}  // namespace jet
