#include "page/page_txn.h"

#include <algorithm>
#include <utility>

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

const PageTxn::Bytes& PageTxn::Snapshot(uint32_t n) {
  auto it = read_.find(n);
  if (it != read_.end()) return it->second;
  if (n >= file_.page_count()) {
    throw Error(Error::Kind::kCorrupt,
                file_.path() + ": page " + std::to_string(n) + " is past the end of the file");
  }
  return read_.emplace(n, file_.ReadPage(n).shared()).first->second;
}

std::span<const uint8_t> PageTxn::Read(uint32_t n) {
  auto e = edits_.find(n);
  if (e != edits_.end()) return *e->second;
  return *Snapshot(n);
}

std::span<uint8_t> PageTxn::Edit(uint32_t n) {
  auto e = edits_.find(n);
  if (e != edits_.end()) return *e->second;
  const Bytes& snapshot = Snapshot(n);
  std::shared_ptr<std::vector<uint8_t>> copy = file_.TakeSpareBuffer();
  if (copy != nullptr && copy->size() == snapshot->size()) {
    std::copy(snapshot->begin(), snapshot->end(), copy->begin());
  } else {
    copy = std::make_shared<std::vector<uint8_t>>(*snapshot);
  }
  return *edits_.emplace(n, std::move(copy)).first->second;
}

std::optional<uint32_t> PageTxn::FindReusablePage() {
  UsageMapEditor global(*this, kGlobalUsageMap, UsageMapEditor::Kind::kGlobal);
  std::optional<uint32_t> found;
  global.ForEachPage(false, [&](uint32_t p) {
    if (p >= file_.page_count()) return false;  // ascending: none further is in the file
    if (p < kFirstReusablePage || taken_.count(p)) return true;
    if (HoldsNothing(Read(p))) found = p;
    return !found;
  });
  return found;
}

uint32_t PageTxn::Allocate() {
  std::optional<uint32_t> reuse = FindReusablePage();
  uint32_t n;
  if (reuse) {
    n = *reuse;
  } else {
    n = next_new_page_++;
    edits_.emplace(n, std::make_shared<std::vector<uint8_t>>(file_.page_size(), 0));
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
  // The edited pages go to the file as they are (ascending, so appended pages extend the file in
  // order) and become this transaction's snapshots: an Edit() after Commit() copies again.
  std::vector<std::pair<uint32_t, Bytes>> writes;
  writes.reserve(edits_.size());
  for (auto& [n, bytes] : edits_) writes.emplace_back(n, bytes);
  file_.WritePages(std::move(writes));
  for (auto& [n, bytes] : edits_) {
    // The page as read before this commit: no longer the file's, so often nobody's.
    file_.KeepSpareBuffer(std::exchange(read_[n], std::move(bytes)));
  }
  edits_.clear();
}

}  // namespace jet
