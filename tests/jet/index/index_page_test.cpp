// The index page view that tree searches use instead of full decodes: on every page of grown
// trees it must agree with DecodeIndexPage (entries, children, lower bounds, encoded size), refuse
// malformed pages with the same error, and trees written through stores that lend their pages
// must end byte for byte as trees written through copies.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <tuple>

#include "index/btree.h"
#include "page/format.h"
#include "index/index_page.h"
#include "memory_page_store.h"
#include "jet/error.h"

namespace jet {
namespace {

constexpr uint32_t kOwner = 42;
constexpr uint32_t kRoot = 7;

// Pages written in place; `lend` makes the tree read them in place rather than through copies.
class Store : public MemoryPageStore {
 public:
  Store(const FormatInfo& info, bool lend) : MemoryPageStore(info, kRoot, Mode::kInPlace, lend) {}
};

IndexEntry Entry(uint32_t key, uint32_t page, uint8_t row, size_t pad) {
  IndexEntry e;
  e.key = {0x7F, static_cast<uint8_t>(key >> 8), static_cast<uint8_t>(key)};
  e.key.insert(e.key.end(), pad, static_cast<uint8_t>(0x41 + key % 5));
  e.page = page;
  e.row = row;
  return e;
}

// The entries of a well-formed page, read the plain way: walk the bitmap bit by bit, restore each
// entry's shared prefix, split key and pointers.
std::vector<IndexEntry> ReferenceEntries(const FormatInfo& info, const std::vector<uint8_t>& page) {
  const bool leaf = page[0] == kIndexLeafPage;
  const size_t at = info.ipage_prefix_length;
  const size_t prefix =
      info.ipage_prefix_size == 1 ? page[at] : page[at] | page[at + 1] << 8;
  std::vector<IndexEntry> out;
  std::vector<uint8_t> first;
  size_t start = 0;
  for (size_t k = 0; k < (info.ipage_entries - info.ipage_bitmap) * 8; ++k) {
    if (!(page[info.ipage_bitmap + k / 8] >> (k % 8) & 1)) continue;
    std::vector<uint8_t> full(page.begin() + info.ipage_entries + start,
                              page.begin() + info.ipage_entries + k);
    if (out.empty()) {
      first = full;
    } else {
      full.insert(full.begin(), first.begin(), first.begin() + prefix);
    }
    const size_t ptr = full.size() - (leaf ? 4 : 8);
    IndexEntry e;
    e.key.assign(full.begin(), full.begin() + ptr);
    e.page = full[ptr] << 16 | full[ptr + 1] << 8 | full[ptr + 2];
    e.row = full[ptr + 3];
    if (!leaf) {
      e.child = full[ptr + 4] << 24 | full[ptr + 5] << 16 | full[ptr + 6] << 8 | full[ptr + 7];
    }
    out.push_back(e);
    start = k;
  }
  return out;
}

std::string ErrorOf(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const Error& e) {
    return e.what();
  }
  return "";
}

class IndexPageViewTest : public testing::TestWithParam<Format> {
 protected:
  // Random inserts and deletes (unique and not) on both stores, the same sequence on each.
  void Grow(int rounds) {
    BTree copied(copying_, info_, kRoot, kOwner);
    BTree lent(lending_, info_, kRoot, kOwner);
    copied.InitEmpty();
    lent.InitEmpty();
    std::mt19937 rng(77);
    std::vector<IndexEntry> live;
    for (int round = 0; round < rounds; ++round) {
      for (int i = 0; i < 500; ++i) {
        IndexEntry e = Entry(static_cast<uint32_t>(rng() % 3000), 1 + rng() % 900,
                             static_cast<uint8_t>(rng()), rng() % 30);
        const bool unique = rng() % 4 == 0;
        bool a = false;
        bool b = false;
        const std::string ea = ErrorOf([&] { a = copied.Insert(e, unique); });
        const std::string eb = ErrorOf([&] { b = lent.Insert(e, unique); });
        ASSERT_EQ(ea, eb);
        ASSERT_EQ(a, b);
        if (ea.empty()) live.push_back(e);
      }
      std::shuffle(live.begin(), live.end(), rng);
      for (size_t i = 0; i < live.size() / 3; ++i) {
        ASSERT_TRUE(copied.Delete(live.back()));
        ASSERT_TRUE(lent.Delete(live.back()));
        live.pop_back();
      }
      ASSERT_EQ(copying_.pages(), lending_.pages()) << "round " << round;
      ASSERT_EQ(copied.FindKey(live.front().key), lent.FindKey(live.front().key));
    }
  }

  const FormatInfo& info_ = FormatFor(GetParam());
  Store copying_{info_, false};
  Store lending_{info_, true};
};

TEST_P(IndexPageViewTest, TreesWrittenThroughLentPagesEqualTreesWrittenThroughCopies) {
  Grow(6);
  const IndexCheck check = VerifyIndex(copying_, info_, kRoot, kOwner);
  EXPECT_TRUE(check.problems.empty());
  EXPECT_GE(check.depth, 2);
}

TEST_P(IndexPageViewTest, ViewAgreesWithFullDecodeOnEveryPage) {
  Grow(3);
  std::mt19937 rng(5);
  int prefixed = 0;
  for (auto& [n, bytes] : copying_.pages()) {
    const IndexPage p = DecodeIndexPage(info_, bytes, "memory", n);
    const IndexPageView v(info_, std::span<const uint8_t>(bytes), "memory", n);
    EXPECT_EQ(p.entries, ReferenceEntries(info_, bytes));
    EXPECT_EQ(v.Decode().entries, p.entries);
    EXPECT_EQ(v.head().prev, p.prev);
    EXPECT_EQ(v.head().next, p.next);
    EXPECT_EQ(v.head().tail, p.tail);
    EXPECT_EQ(v.head().used, p.used);
    ASSERT_EQ(v.size(), p.entries.size());
    EXPECT_EQ(v.EncodedSize(), StoredSize(p.entries, p.leaf()));
    if (p.prefix > 0) ++prefixed;
    for (size_t i = 0; i < v.size(); ++i) {
      EXPECT_EQ(v.Entry(i), p.entries[i]);
      if (!p.leaf()) {
        EXPECT_EQ(v.Child(i), p.entries[i].child);
      }
    }
    // Probes: every entry, its neighbours by row pointer, shorter and longer keys.
    std::vector<IndexEntry> probes;
    for (const IndexEntry& e : p.entries) {
      IndexEntry probe = e;
      probe.child = 0;
      probes.push_back(probe);
      probe.row = static_cast<uint8_t>(probe.row + 1);
      probes.push_back(probe);
      probe.key.resize(probe.key.size() / 2);
      probes.push_back(probe);
      probe.key.push_back(0xFF);
      probes.push_back(probe);
    }
    probes.push_back(Entry(static_cast<uint32_t>(rng() % 3000), 0, 0, 0));
    probes.push_back(IndexEntry{});
    for (const IndexEntry& probe : probes) {
      const auto it = std::lower_bound(p.entries.begin(), p.entries.end(), probe, EntryLess);
      ASSERT_EQ(v.LowerBound(probe), static_cast<size_t>(it - p.entries.begin()));
    }
  }
  EXPECT_GT(prefixed, 0) << "no leaf with a shared prefix was checked";
}

// Views share layouts through a cache that in-place leaf edits update with the layout they
// computed: every page must then read exactly as it does once the cache is emptied.
TEST_P(IndexPageViewTest, CachedLayoutsEqualLayoutsFoundAfresh) {
  Grow(3);
  std::map<uint32_t, IndexPage> cached;
  for (auto& [n, bytes] : lending_.pages()) {
    const IndexPageView v(info_, std::span<const uint8_t>(bytes), "memory", n);
    cached[n] = v.Decode();
  }
  IndexPageView::ForgetLayouts();
  for (auto& [n, bytes] : lending_.pages()) {
    const IndexPageView v(info_, std::span<const uint8_t>(bytes), "memory", n);
    const IndexPage fresh = v.Decode();
    const IndexPage& old = cached[n];
    EXPECT_EQ(old.entries, fresh.entries) << "page " << n;
    EXPECT_EQ(old.free_space, fresh.free_space) << "page " << n;
    EXPECT_EQ(old.used, fresh.used) << "page " << n;
    EXPECT_EQ(old.prefix, fresh.prefix) << "page " << n;
    EXPECT_EQ(std::tie(old.type, old.owner, old.prev, old.next, old.tail),
              std::tie(fresh.type, fresh.owner, fresh.prev, fresh.next, fresh.tail));
  }
}

// A layout found for one page number is never used for other bytes under that number (another
// file, or the page after a write the cache did not see).
TEST_P(IndexPageViewTest, SamePageNumberWithOtherBytesReadsItsOwnEntries) {
  Grow(1);
  std::vector<std::vector<uint8_t>> leaves;
  for (auto& [n, bytes] : copying_.pages()) {
    if (bytes[0] == kIndexLeafPage) leaves.push_back(bytes);
  }
  ASSERT_GE(leaves.size(), 3u);
  for (int round = 0; round < 2; ++round) {
    for (const std::vector<uint8_t>& bytes : leaves) {
      const IndexPageView v(info_, std::span<const uint8_t>(bytes), "memory", 5);
      EXPECT_EQ(v.Decode().entries, ReferenceEntries(info_, bytes));
    }
  }
}

TEST_P(IndexPageViewTest, MalformedPagesFailAsTheFullDecodeFails) {
  Grow(1);
  std::vector<uint8_t> leaf;
  for (auto& [n, bytes] : copying_.pages()) {
    if (bytes[0] == kIndexLeafPage && DecodeIndexPage(info_, bytes, "m", n).prefix > 0) {
      leaf = bytes;
    }
  }
  ASSERT_FALSE(leaf.empty());
  auto both_fail_alike = [&](std::vector<uint8_t> page, const char* what) {
    const std::string full = ErrorOf([&] { DecodeIndexPage(info_, page, "m.mdb", 9); });
    const std::string view = ErrorOf([&] { IndexPageView(info_, std::move(page), "m.mdb", 9); });
    EXPECT_NE(full.find("m.mdb"), std::string::npos) << what;
    EXPECT_EQ(full, view) << what;
  };
  std::vector<uint8_t> bad = leaf;
  bad[0] = 0x01;
  both_fail_alike(bad, "not an index page");
  bad = leaf;
  bad[info_.ipage_entries - 1] = 0x80;  // an entry end past the area
  both_fail_alike(bad, "bitmap past the area");
  bad = leaf;
  bad[info_.ipage_prefix_length] = 0xFF;  // prefix longer than the first entry
  both_fail_alike(bad, "prefix");
  bad = leaf;
  std::fill(bad.begin() + info_.ipage_bitmap, bad.begin() + info_.ipage_entries, 0);
  bad[info_.ipage_bitmap] = 0x02;  // a one-byte first entry: shorter than its row pointer
  bad[info_.ipage_prefix_length] = 0;
  both_fail_alike(bad, "short entry");
  both_fail_alike(std::vector<uint8_t>(leaf.begin(), leaf.end() - 1), "short page");
}

INSTANTIATE_TEST_SUITE_P(Formats, IndexPageViewTest,
                         testing::Values(Format::kJet3, Format::kJet4));

}  // namespace
}  // namespace jet
