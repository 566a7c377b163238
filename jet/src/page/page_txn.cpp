#include "page/page_txn.h"

#include <algorithm>

#include "jet/error.h"
#include "page/usage_map_writer.h"
#include "page/format.h"

namespace jet {
namespace {

constexpr uint32_t kFirstReusablePage = 3;   // 0 header, 1 global map, 2 MSysObjects

bool HoldsNothing(std::span<const uint8_t> page) {
  return page[0] == 0x00 || page[0] == 0x08 || page[0] == 0x09;
}

}  // namespace

PageTxn::PageTxn(File& file) : file_(file), next_new_page_(file.page_count()) {
  if (!file.writable()) {
    throw Error(Error::Kind::kInvalidArgument,
                file.read_only_reason().empty() ? file.path() + ": the database is open read-only"
                                                : file.read_only_reason());
  }
}

std::vector<uint8_t>& PageTxn::Load(uint32_t n) {
  auto it = pages_.find(n);
  if (it != pages_.end()) return it->second;
  if (n >= file_.page_count()) {
    throw Error(Error::Kind::kCorrupt,
                file_.path() + ": page " + std::to_string(n) + " is past the end of the file");
  }
  Page page = file_.ReadPage(n);
  return pages_.emplace(n, std::vector<uint8_t>(page.bytes().begin(), page.bytes().end()))
      .first->second;
}

std::span<const uint8_t> PageTxn::Read(uint32_t n) { return Load(n); }

std::span<uint8_t> PageTxn::Edit(uint32_t n) {
  std::vector<uint8_t>& bytes = Load(n);
  dirty_.insert(n);
  return bytes;
}

std::optional<uint32_t> PageTxn::FindReusablePage() {
  UsageMapEditor global(*this, kGlobalUsageMap, UsageMapEditor::Kind::kGlobal);
  for (uint32_t p : global.Pages()) {
    if (p < kFirstReusablePage || p >= file_.page_count() || taken_.count(p)) continue;
    if (HoldsNothing(Read(p))) return p;
  }
  return std::nullopt;
}

uint32_t PageTxn::Allocate() {
  std::optional<uint32_t> reuse = FindReusablePage();
  uint32_t n;
  if (reuse) {
    n = *reuse;
  } else {
    n = next_new_page_++;
    pages_.emplace(n, std::vector<uint8_t>(file_.page_size(), 0));
  }
  taken_.insert(n);
  std::span<uint8_t> bytes = Edit(n);
  std::fill(bytes.begin(), bytes.end(), uint8_t{0});
  UsageMapEditor(*this, kGlobalUsageMap, UsageMapEditor::Kind::kGlobal).Set(n, false);
  return n;
}

void PageTxn::Free(uint32_t n) {
  std::span<uint8_t> bytes = Edit(n);
  std::fill(bytes.begin(), bytes.end(), uint8_t{0});
  taken_.erase(n);
  UsageMapEditor(*this, kGlobalUsageMap, UsageMapEditor::Kind::kGlobal).Set(n, true);
}

void PageTxn::Commit() {
  std::vector<std::pair<uint32_t, std::span<const uint8_t>>> writes;
  writes.reserve(dirty_.size());
  for (uint32_t n : dirty_) {  // ascending, so appended pages extend the file in order
    writes.emplace_back(n, pages_.at(n));
  }
  file_.WritePages(writes);
  dirty_.clear();
}

}  // namespace jet
