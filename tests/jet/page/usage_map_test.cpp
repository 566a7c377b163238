// Walking a usage map from either end (inserts look at the last pages of a free-space map,
// allocation at the first free pages of the global map) must give the pages the full list gives,
// in order, and stop where the caller stops it: checked after every change of a map that moves
// its window and becomes a reference map, and on the global maps of real files.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "page/data_page_writer.h"
#include "page/file.h"
#include "page/format.h"
#include "page/page_txn.h"
#include "page/usage_map_writer.h"
#include "support/write_test_util.h"
#include "util/write_bytes.h"

namespace jet {
namespace {

// The first `limit` pages ForEachPage gives, walking up or down.
std::vector<uint32_t> Walk(UsageMapEditor& map, bool descending, size_t limit) {
  std::vector<uint32_t> out;
  map.ForEachPage(descending, [&](uint32_t p) {
    out.push_back(p);
    return out.size() < limit;
  });
  return out;
}

void ExpectWalksAgree(UsageMapEditor& map, const std::string& where) {
  const std::vector<uint32_t> all = map.Pages();
  std::vector<uint32_t> down(all.rbegin(), all.rend());
  EXPECT_EQ(Walk(map, false, SIZE_MAX), all) << where;
  EXPECT_EQ(Walk(map, true, SIZE_MAX), down) << where;
  for (size_t k : {size_t{1}, size_t{4}}) {
    const size_t n = std::min(k, all.size());
    EXPECT_EQ(Walk(map, true, k), std::vector<uint32_t>(down.begin(), down.begin() + n)) << where;
    EXPECT_EQ(Walk(map, false, k), std::vector<uint32_t>(all.begin(), all.begin() + n)) << where;
  }
}

struct Case {
  const char* name;
  const char* fixture;
};

class UsageMapWalkTest : public testing::TestWithParam<Case> {};

TEST_P(UsageMapWalkTest, WalksFromEitherEndEqualTheFullList) {
  const std::string source = testutil::FixturePath(GetParam().fixture);
  if (source.empty()) GTEST_SKIP() << "no shared fixtures";
  testutil::TempDir dir;
  File file(testutil::CopyFixture(dir, GetParam().fixture), true);
  PageTxn txn(file);  // never committed
  {
    UsageMapEditor global(txn, kGlobalUsageMap, UsageMapEditor::Kind::kGlobal);
    ExpectWalksAgree(global, "global map");
  }
  // A fresh inline map (32 bytes of bits) on a page of its own.
  const uint32_t h = txn.info().data_header_size;
  const uint32_t holder = txn.Allocate();
  WritableDataPage::Init(txn.Edit(holder), h, 0);
  std::vector<uint8_t> row(5 + 32, 0);
  const int slot = WritableDataPage(txn.Edit(holder), h, file.path(), holder).Insert(row);
  UsageMapEditor map(txn, PackRowPointer(holder, static_cast<uint8_t>(slot)),
                     UsageMapEditor::Kind::kOwned);
  std::mt19937 rng(3);
  std::vector<uint32_t> set;
  for (int op = 0; op < 300; ++op) {
    // Pages near each other first (the window moves), then far apart (a reference map).
    const uint32_t span = op < 150 ? 200 : 60000;
    const uint32_t page = 3 + rng() % span;
    const bool on = set.empty() || rng() % 4 != 0;
    const uint32_t target = on ? page : set[rng() % set.size()];
    map.Set(target, on);
    if (on) {
      set.push_back(target);
    } else {
      std::erase(set, target);
    }
    std::sort(set.begin(), set.end());
    set.erase(std::unique(set.begin(), set.end()), set.end());
    ASSERT_EQ(map.Pages(), set) << "operation " << op;
    ExpectWalksAgree(map, "operation " + std::to_string(op));
    if (testing::Test::HasFailure()) return;
  }
}

const Case kCases[] = {
    {"Jet4", "game-indexed.mdb"},
    {"Jet3", "access/jackcess-V1997-testV1997.mdb"},
};

INSTANTIATE_TEST_SUITE_P(Files, UsageMapWalkTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& i) { return i.param.name; });

}  // namespace
}  // namespace jet
