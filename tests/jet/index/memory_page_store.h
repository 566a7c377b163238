#pragma once

// Index pages in memory for B-tree tests. Pages are numbered from 100 up (freed numbers are
// reused first); the root page `root` exists, zeroed, from the start.
//
// Two modes, as the two kinds of real store behave:
// - kReplace: a write replaces the page and is counted (writes()); the tree reads copies.
// - kInPlace: a write copies the bytes into the page the store already holds, as the page
//   transaction does, so with `lend` pages handed out by LendPage stay valid across writes; with
//   `lend` the tree may also edit the held page through EditPage (counted as a write).

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "index/btree.h"
#include "jet/error.h"
#include "page/format.h"

namespace jet {

class MemoryPageStore : public IndexPageStore {
 public:
  enum class Mode { kReplace, kInPlace };

  MemoryPageStore(const FormatInfo& info, uint32_t root, Mode mode, bool lend = false)
      : info_(info), mode_(mode), lend_(lend) {
    pages_[root] = std::vector<uint8_t>(info.page_size, 0);
  }

  std::vector<uint8_t> ReadPage(uint32_t n) override { return At(n); }
  std::span<const uint8_t> LendPage(uint32_t n) override {
    if (!lend_) return {};
    return At(n);
  }
  std::span<uint8_t> EditPage(uint32_t n) override {
    if (mode_ != Mode::kInPlace || !lend_) return {};
    ++writes_;
    return At(n);
  }
  const std::string& file_name() const override {
    static const std::string kName = "memory";
    return kName;
  }
  uint32_t AllocatePage() override {
    uint32_t n;
    if (!free_.empty()) {
      n = *free_.begin();
      free_.erase(free_.begin());
    } else {
      n = next_++;
    }
    pages_[n] = std::vector<uint8_t>(info_.page_size, 0);
    return n;
  }
  void FreePage(uint32_t n) override {
    pages_.erase(n);
    free_.insert(n);
  }
  void WritePage(uint32_t n, const std::vector<uint8_t>& bytes) override {
    if (mode_ == Mode::kReplace) {
      ASSERT_EQ(bytes.size(), info_.page_size);
      pages_[n] = bytes;
    } else {
      std::vector<uint8_t>& page = At(n);
      std::copy(bytes.begin(), bytes.end(), page.begin());
    }
    ++writes_;
  }

  size_t page_count() const { return pages_.size(); }
  std::map<uint32_t, std::vector<uint8_t>>& pages() { return pages_; }
  int writes() const { return writes_; }

 private:
  std::vector<uint8_t>& At(uint32_t n) {
    auto it = pages_.find(n);
    if (it == pages_.end()) throw Error(Error::Kind::kCorrupt, "page " + std::to_string(n));
    return it->second;
  }

  const FormatInfo& info_;
  Mode mode_;
  bool lend_;
  std::map<uint32_t, std::vector<uint8_t>> pages_;
  std::set<uint32_t> free_;
  uint32_t next_ = 100;
  int writes_ = 0;
};

}  // namespace jet
