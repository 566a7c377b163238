// The checker's sorter: entries added in any order come back in entry order, whatever the run
// size, spilled or not, and can be read again.

#include "index/entry_sorter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace jet {
namespace {

TEST(EntrySorterTest, RandomEntriesComeBackSortedForEveryRunSize) {
  std::mt19937 rng(7);
  for (size_t run : {size_t{1}, size_t{2}, size_t{3}, size_t{50}, size_t{10000}}) {
    for (size_t n : {size_t{0}, size_t{1}, size_t{7}, size_t{1000}}) {
      std::vector<IndexEntry> entries;
      EntrySorter sorter(run);
      for (size_t i = 0; i < n; ++i) {
        IndexEntry e;
        e.key.resize(rng() % 6);  // short keys: many equal keys and proper prefixes
        for (uint8_t& b : e.key) b = static_cast<uint8_t>(rng() % 3);
        e.page = rng() % 5;
        e.row = static_cast<uint8_t>(rng() % 4);
        entries.push_back(e);
        sorter.Add(e);
      }
      std::sort(entries.begin(), entries.end(), EntryLess);
      EXPECT_EQ(sorter.size(), n);
      EXPECT_EQ(sorter.spilled_runs() > 0, n >= run && n > 0) << run << " " << n;
      for (int pass = 0; pass < 2; ++pass) {
        std::vector<IndexEntry> got;
        sorter.ForEach([&](const IndexEntry& e) {
          got.push_back(e);
          return true;
        });
        EXPECT_EQ(got, entries) << "run " << run << " n " << n << " pass " << pass;
      }
      // Pulled one at a time, stopping early.
      sorter.Rewind();
      IndexEntry e;
      for (size_t i = 0; i < n / 2; ++i) {
        ASSERT_TRUE(sorter.Next(&e));
        EXPECT_EQ(e, entries[i]);
      }
    }
  }
}

}  // namespace
}  // namespace jet
