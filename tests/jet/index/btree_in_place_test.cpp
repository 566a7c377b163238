// Leaf edits in place against the full decode and re-encode: the same random operations on two
// trees, one editing leaves in place (through the store's EditPage) and one re-encoding every
// changed page, must leave byte-identical pages after every operation.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "index/btree.h"
#include "jet/error.h"
#include "memory_page_store.h"
#include "page/format.h"

namespace jet {
namespace {

constexpr uint32_t kOwner = 42;
constexpr uint32_t kRoot = 7;

// Pages edited in place through EditPage are counted, so that a test knows the path ran.
class EditingStore : public MemoryPageStore {
 public:
  explicit EditingStore(const FormatInfo& info) : MemoryPageStore(info, kRoot, Mode::kInPlace, true) {}
  std::span<uint8_t> EditPage(uint32_t n) override {
    ++edits;
    return MemoryPageStore::EditPage(n);
  }
  int edits = 0;
};

class CopyingStore : public MemoryPageStore {
 public:
  explicit CopyingStore(const FormatInfo& info) : MemoryPageStore(info, kRoot, Mode::kReplace) {}
};

// Keys from a few families that share long prefixes, so that inserts and deletes at the edges of
// a page keep or change its shared prefix; `pad` makes pages fill and split.
IndexEntry RandomEntry(std::mt19937& rng, size_t pad) {
  IndexEntry e;
  const uint8_t family = static_cast<uint8_t>(rng() % 3);
  e.key = {0x7F, family, 0x10, 0x20};
  const size_t tail = 1 + rng() % 3;
  for (size_t i = 0; i < tail; ++i) e.key.push_back(static_cast<uint8_t>(rng() % 6));
  e.key.insert(e.key.end(), pad, static_cast<uint8_t>(0x41 + rng() % 2));
  e.page = 1 + rng() % 40;
  e.row = static_cast<uint8_t>(rng() % 4);
  return e;
}

struct Case {
  const char* name;
  Format format;
  size_t pad;        // extra key bytes per entry
  int operations;
  int insert_share;  // out of 10: inserts, the rest deletes
};

class BTreeInPlaceTest : public testing::TestWithParam<Case> {};

TEST_P(BTreeInPlaceTest, SameBytesAsFullReencodeAfterEveryOperation) {
  const Case& c = GetParam();
  const FormatInfo& info = FormatFor(c.format);
  EditingStore editing(info);
  CopyingStore copying(info);
  BTree fast(editing, info, kRoot, kOwner);
  BTree slow(copying, info, kRoot, kOwner);
  slow.set_edit_in_place(false);
  fast.InitEmpty();
  slow.InitEmpty();
  std::mt19937 rng(77);
  std::vector<IndexEntry> present;
  std::set<Bytes> keys;
  for (int op = 0; op < c.operations; ++op) {
    const bool insert = present.empty() || static_cast<int>(rng() % 10) < c.insert_share;
    if (insert) {
      const IndexEntry e = RandomEntry(rng, c.pad);
      const bool unique = rng() % 4 == 0;
      bool fast_threw = false;
      bool slow_threw = false;
      bool fast_distinct = false;
      bool slow_distinct = false;
      try {
        fast_distinct = fast.Insert(e, unique);
      } catch (const Error&) {
        fast_threw = true;
      }
      try {
        slow_distinct = slow.Insert(e, unique);
      } catch (const Error&) {
        slow_threw = true;
      }
      ASSERT_EQ(fast_threw, slow_threw) << "operation " << op;
      ASSERT_EQ(fast_distinct, slow_distinct) << "operation " << op;
      if (!fast_threw) present.push_back(e);
    } else {
      // Mostly entries that exist; now and then one that does not.
      IndexEntry e;
      size_t at = 0;
      if (rng() % 8 == 0) {
        e = RandomEntry(rng, c.pad);
        e.row = 200;
      } else {
        at = rng() % present.size();
        e = present[at];
      }
      const bool fast_hit = fast.Delete(e);
      const bool slow_hit = slow.Delete(e);
      ASSERT_EQ(fast_hit, slow_hit) << "operation " << op;
      if (fast_hit) present.erase(present.begin() + static_cast<std::ptrdiff_t>(at));
    }
    ASSERT_EQ(editing.pages(), copying.pages()) << "pages differ after operation " << op;
  }
  const IndexCheck check = VerifyIndex(editing, info, kRoot, kOwner);
  ASSERT_TRUE(check.problems.empty()) << check.problems.front();
  EXPECT_EQ(check.entries, present.size());
  // The in-place path did most of the work (splits, new edges and empty pages go the long way).
  EXPECT_GT(editing.edits, c.operations / 3);
}

const Case kCases[] = {
    {"Jet4ShortKeys", Format::kJet4, 0, 4000, 7},
    {"Jet4LongKeysManySplits", Format::kJet4, 60, 3000, 7},
    {"Jet4ShrinkToEmpty", Format::kJet4, 20, 3000, 4},
    {"Jet3ShortKeys", Format::kJet3, 0, 4000, 7},
    {"Jet3LongKeysManySplits", Format::kJet3, 60, 3000, 7},
    {"Jet3ShrinkToEmpty", Format::kJet3, 20, 3000, 4},
};

INSTANTIATE_TEST_SUITE_P(Cases, BTreeInPlaceTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& i) { return i.param.name; });

}  // namespace
}  // namespace jet
