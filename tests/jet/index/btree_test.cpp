// B-tree writes on in-memory pages: random inserts and deletes checked by the verifier after every
// batch, bulk build against one-by-one inserts, uniqueness, and the verifier itself on broken trees.
#include "index/btree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <random>
#include <set>

#include "memory_page_store.h"
#include "page/format.h"
#include "jet/error.h"

namespace jet {
namespace {

constexpr uint32_t kOwner = 42;
constexpr uint32_t kRoot = 7;

// Writes replace pages and are counted.
class MemoryStore : public MemoryPageStore {
 public:
  explicit MemoryStore(const FormatInfo& info) : MemoryPageStore(info, kRoot, Mode::kReplace) {}
};

IndexEntry Entry(uint32_t key, uint32_t page, uint8_t row, size_t pad = 0) {
  IndexEntry e;
  e.key = {0x7F, static_cast<uint8_t>(key >> 24), static_cast<uint8_t>(key >> 16),
           static_cast<uint8_t>(key >> 8), static_cast<uint8_t>(key)};
  e.key.insert(e.key.end(), pad, static_cast<uint8_t>(0x41 + key % 7));
  e.page = page;
  e.row = row;
  return e;
}

void ExpectSound(MemoryStore& store, const FormatInfo& info,
                 const std::vector<IndexEntry>& expected) {
  const IndexCheck check = VerifyIndex(store, info, kRoot, kOwner);
  ASSERT_TRUE(check.problems.empty()) << check.problems.front();
  EXPECT_EQ(check.entries, expected.size());
  EXPECT_EQ(check.pages.size(), store.page_count()) << "pages leaked or lost";
  EXPECT_EQ(ReadIndexEntries(store, info, kRoot), expected);
}

class BTreeTest : public testing::TestWithParam<Format> {
 protected:
  BTreeTest() : info_(FormatFor(GetParam())), store_(info_), tree_(store_, info_, kRoot, kOwner) {
    store_.pages()[kRoot] = std::vector<uint8_t>(info_.page_size, 0);
    tree_.InitEmpty();
  }
  const FormatInfo& info_;
  MemoryStore store_;
  BTree tree_;
};

TEST_P(BTreeTest, RandomInsertsAndDeletesKeepEveryInvariant) {
  std::mt19937 rng(1234);
  std::vector<IndexEntry> live;
  for (int round = 0; round < 12; ++round) {
    for (int i = 0; i < 400; ++i) {
      const size_t pad = rng() % 40;  // varying key lengths and prefixes
      IndexEntry e = Entry(static_cast<uint32_t>(rng() % 5000), 1 + rng() % 5000,
                           static_cast<uint8_t>(rng() % 256), pad);
      if (std::find(live.begin(), live.end(), e) != live.end()) continue;
      tree_.Insert(e, false);
      live.push_back(e);
    }
    std::shuffle(live.begin(), live.end(), rng);
    const size_t remove = round % 3 == 2 ? live.size() * 3 / 4 : live.size() / 4;
    for (size_t i = 0; i < remove; ++i) {
      ASSERT_TRUE(tree_.Delete(live.back()));
      live.pop_back();
    }
    std::vector<IndexEntry> sorted = live;
    std::sort(sorted.begin(), sorted.end(), EntryLess);
    ExpectSound(store_, info_, sorted);
  }
  const IndexCheck deep = VerifyIndex(store_, info_, kRoot, kOwner);
  EXPECT_GE(deep.depth, 2);
  // Delete everything: the root ends as an empty leaf and every other page is given back.
  for (const IndexEntry& e : live) ASSERT_TRUE(tree_.Delete(e));
  ExpectSound(store_, info_, {});
  EXPECT_EQ(store_.page_count(), 1u);
}

TEST_P(BTreeTest, ThreeLevelTreeFromAscendingAndDescendingInserts) {
  std::vector<IndexEntry> all;
  for (uint32_t i = 0; i < 3000; ++i) {
    // Long keys force a deep tree; alternate ends exercise the tail path and the first leaf.
    const uint32_t k = i % 2 ? 100000 + i : 100000 - i;
    all.push_back(Entry(k, 1 + i, 0, 300));
    tree_.Insert(all.back(), false);
  }
  std::sort(all.begin(), all.end(), EntryLess);
  ExpectSound(store_, info_, all);
  EXPECT_GE(VerifyIndex(store_, info_, kRoot, kOwner).depth, 3);
}

TEST_P(BTreeTest, BulkBuildEqualsOneByOneInsertsInContent) {
  std::mt19937 rng(99);
  std::vector<IndexEntry> all;
  for (uint32_t i = 0; i < 5000; ++i) {
    all.push_back(Entry(static_cast<uint32_t>(rng() % 3000), 1 + i / 100, static_cast<uint8_t>(i % 100),
                        rng() % 20));
  }
  std::sort(all.begin(), all.end(), EntryLess);
  all.erase(std::unique(all.begin(), all.end()), all.end());

  MemoryStore bulk_store(info_);
  bulk_store.pages()[kRoot] = std::vector<uint8_t>(info_.page_size, 0);
  BTree bulk(bulk_store, info_, kRoot, kOwner);
  const uint32_t distinct = bulk.BulkBuild(all);
  ExpectSound(bulk_store, info_, all);

  uint32_t counted = 0;
  std::vector<IndexEntry> shuffled = all;
  std::shuffle(shuffled.begin(), shuffled.end(), rng);
  for (const IndexEntry& e : shuffled) tree_.Insert(e, false);
  ExpectSound(store_, info_, all);
  for (size_t i = 0; i < all.size(); ++i) counted += i == 0 || all[i].key != all[i - 1].key;
  EXPECT_EQ(distinct, counted);
  // Packed leaves: the bulk tree needs fewer pages than one grown by splits.
  EXPECT_LT(bulk_store.page_count(), store_.page_count());
  // And it stays a valid tree for further writes.
  for (size_t i = 0; i < all.size(); i += 3) ASSERT_TRUE(bulk.Delete(all[i]));
  std::vector<IndexEntry> rest;
  for (size_t i = 0; i < all.size(); ++i) {
    if (i % 3) rest.push_back(all[i]);
  }
  ExpectSound(bulk_store, info_, rest);
}

TEST_P(BTreeTest, BulkBuildOfNothingOrOnePageKeepsTheRootALeaf) {
  EXPECT_EQ(tree_.BulkBuild({}), 0u);
  ExpectSound(store_, info_, {});
  std::vector<IndexEntry> few = {Entry(1, 1, 0), Entry(1, 1, 1), Entry(2, 1, 2)};
  EXPECT_EQ(tree_.BulkBuild(few), 2u);
  ExpectSound(store_, info_, few);
  EXPECT_EQ(store_.page_count(), 1u);
  EXPECT_THROW(tree_.BulkBuild({Entry(2, 1, 0), Entry(1, 1, 0)}), Error);
}

TEST_P(BTreeTest, UniqueIndexRefusesEqualKeyBeforeAnyWrite) {
  for (uint32_t i = 0; i < 2000; ++i) tree_.Insert(Entry(i, 1 + i, 0, 50), true);
  const auto before = store_.pages();
  const int writes = store_.writes();
  try {
    tree_.Insert(Entry(777, 9999, 3, 50), true);
    FAIL() << "duplicate key accepted";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), Error::Kind::kConstraint);
  }
  EXPECT_EQ(store_.writes(), writes);
  EXPECT_EQ(store_.pages(), before);
  // The same key is fine in a non-unique index, and counts as not distinct.
  EXPECT_FALSE(tree_.Insert(Entry(777, 9999, 3, 50), false));
  EXPECT_TRUE(tree_.Insert(Entry(5000, 1, 1, 50), false));
  EXPECT_EQ(tree_.FindKey(Entry(777, 0, 0, 50).key).size(), 2u);
  EXPECT_THROW(tree_.Insert(Entry(777, 9999, 3, 50), false), Error);  // same row twice
}

TEST_P(BTreeTest, TooLongKeyIsRefused) {
  IndexEntry e = Entry(1, 1, 1, tree_.max_key_size());
  EXPECT_THROW(tree_.Insert(e, false), Error);
  ExpectSound(store_, info_, {});
}

TEST_P(BTreeTest, DeleteOfMissingEntryChangesNothing) {
  for (uint32_t i = 0; i < 10; ++i) tree_.Insert(Entry(i, 1, static_cast<uint8_t>(i)), false);
  const auto before = store_.pages();
  EXPECT_FALSE(tree_.Delete(Entry(3, 1, 4)));
  EXPECT_EQ(store_.pages(), before);
  EXPECT_TRUE(tree_.DeleteRow(1, 3));
  EXPECT_FALSE(tree_.DeleteRow(1, 3));
}

TEST_P(BTreeTest, VerifierReportsBrokenTrees) {
  for (uint32_t i = 0; i < 1500; ++i) tree_.Insert(Entry(i, 1 + i, 0, 60), false);
  ASSERT_TRUE(VerifyIndex(store_, info_, kRoot, kOwner).problems.empty());
  auto root = DecodeIndexPage(info_, store_.ReadPage(kRoot), "memory", kRoot);
  ASSERT_FALSE(root.leaf());
  const uint32_t child = root.entries.front().child;
  auto& bytes = store_.pages()[child];
  {
    auto copy = bytes;
    bytes[info_.ipage_owner] ^= 1;  // foreign owner
    EXPECT_FALSE(VerifyIndex(store_, info_, kRoot, kOwner).problems.empty());
    bytes = copy;
  }
  {
    auto copy = bytes;
    bytes[info_.ipage_next] ^= 1;  // broken leaf chain
    EXPECT_FALSE(VerifyIndex(store_, info_, kRoot, kOwner).problems.empty());
    bytes = copy;
  }
  {
    auto copy = bytes;
    bytes[info_.ipage_entries + 3] ^= 0x40;  // an entry's key changed: order / parent copy
    EXPECT_FALSE(VerifyIndex(store_, info_, kRoot, kOwner).problems.empty());
    bytes = copy;
  }
  {
    auto copy = bytes;
    bytes[info_.ipage_free_space] ^= 1;
    EXPECT_FALSE(VerifyIndex(store_, info_, kRoot, kOwner).problems.empty());
    bytes = copy;
  }
  {
    auto copy = bytes;
    std::fill(bytes.begin() + info_.ipage_bitmap, bytes.begin() + info_.ipage_entries, 0xFF);
    EXPECT_FALSE(VerifyIndex(store_, info_, kRoot, kOwner).problems.empty());
    bytes = copy;
  }
  ASSERT_TRUE(VerifyIndex(store_, info_, kRoot, kOwner).problems.empty());
}

TEST_P(BTreeTest, MalformedPagesThrowCorruptOnWalk) {
  for (uint32_t i = 0; i < 1500; ++i) tree_.Insert(Entry(i, 1 + i, 0, 60), false);
  uint32_t first = kRoot;
  for (auto p = DecodeIndexPage(info_, store_.ReadPage(first), "memory", first); !p.leaf();
       p = DecodeIndexPage(info_, store_.ReadPage(first), "memory", first)) {
    first = p.entries.front().child;
  }
  auto& bytes = store_.pages()[first];
  // A leaf chain that points back to itself must not loop forever.
  bytes[info_.ipage_next] = static_cast<uint8_t>(first);
  bytes[info_.ipage_next + 1] = static_cast<uint8_t>(first >> 8);
  bytes[info_.ipage_next + 2] = bytes[info_.ipage_next + 3] = 0;
  try {
    ReadIndexEntries(store_, info_, kRoot);
    FAIL() << "loop not detected";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), Error::Kind::kCorrupt);
  }
  bytes[0] = 0x01;  // not an index page
  EXPECT_THROW(ReadIndexEntries(store_, info_, kRoot), Error);
}

TEST_P(BTreeTest, BulkBuildOf200000EntriesIsFast) {
  std::vector<IndexEntry> all;
  for (uint32_t i = 0; i < 200000; ++i) all.push_back(Entry(i, 1 + i / 50, static_cast<uint8_t>(i % 50)));
  const auto t0 = std::chrono::steady_clock::now();
  tree_.BulkBuild(all);
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(s, 10.0);  // generous for unoptimised sanitizer builds
  const IndexCheck check = VerifyIndex(store_, info_, kRoot, kOwner);
  EXPECT_TRUE(check.problems.empty());
  EXPECT_EQ(check.entries, all.size());
}

INSTANTIATE_TEST_SUITE_P(AllFormats, BTreeTest, testing::Values(Format::kJet3, Format::kJet4),
                         [](const auto& p) { return p.param == Format::kJet3 ? "Jet3" : "Jet4"; });

}  // namespace
}  // namespace jet
