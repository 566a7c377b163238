#include "page/data_page_writer.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "jet/error.h"
#include "page/data_page.h"
#include "page/page_txn.h"
#include "util/write_bytes.h"

namespace jet {

WritableDataPage::WritableDataPage(std::span<uint8_t> bytes, uint32_t header_size, std::string_view file,
                   uint32_t page)
    : bytes_(bytes), header_size_(header_size), file_(file), page_(page), slot_count_(0) {
  if (bytes_.size() < header_size_ || bytes_[0] != 0x01) Corrupt("not a data page");
  slot_count_ = wr::LoadU16(bytes_, header_size_ - 2);
  CheckSlots();
}

void WritableDataPage::Init(std::span<uint8_t> bytes, uint32_t header_size, uint32_t owner) {
  std::fill(bytes.begin(), bytes.end(), uint8_t{0});
  bytes[0] = 0x01;
  bytes[1] = 0x01;
  wr::StoreU16(bytes, 2, static_cast<uint16_t>(bytes.size() - header_size));
  wr::StoreU32(bytes, 4, owner);
}

void WritableDataPage::Corrupt(const std::string& what) const {
  throw Error(Error::Kind::kCorrupt,
              file_ + ": page " + std::to_string(page_) + " is corrupt (" + what + ")");
}

void WritableDataPage::CheckSlots() const {
  if (slot_count_ > kMaxSlots) Corrupt("more than 255 row slots");
  const uint32_t table_end = header_size_ + 2 * static_cast<uint32_t>(slot_count_);
  if (table_end > bytes_.size()) Corrupt("row offset table past the page end");
  uint32_t boundary = static_cast<uint32_t>(bytes_.size());
  for (int i = 0; i < slot_count_; ++i) {
    const uint32_t off = start(i);
    if (off > boundary || off < table_end) {
      Corrupt("row " + std::to_string(i) + " has offset " + std::to_string(off) +
              " outside its bounds");
    }
    boundary = off;
  }
}

uint32_t WritableDataPage::owner() const { return wr::LoadU32(bytes_, 4); }

uint16_t WritableDataPage::flags(int slot) const {
  assert(slot >= 0 && slot < slot_count_);
  return wr::LoadU16(bytes_, header_size_ + 2 * static_cast<size_t>(slot)) &
         (kDeleted | kOverflow);
}

uint32_t WritableDataPage::start(int slot) const {
  assert(slot >= 0 && slot < slot_count_);
  return wr::LoadU16(bytes_, header_size_ + 2 * static_cast<size_t>(slot)) & kOffsetMask;
}

uint32_t WritableDataPage::end(int slot) const {
  return slot == 0 ? static_cast<uint32_t>(bytes_.size()) : start(slot - 1);
}

std::span<const uint8_t> WritableDataPage::Row(int slot) const {
  return std::span<const uint8_t>(bytes_).subspan(start(slot), length(slot));
}

uint32_t WritableDataPage::ComputedFreeSpace() const {
  const uint32_t lowest = slot_count_ == 0 ? static_cast<uint32_t>(bytes_.size())
                                           : start(slot_count_ - 1);
  return lowest - header_size_ - 2 * static_cast<uint32_t>(slot_count_);
}

uint16_t WritableDataPage::StoredFreeSpace() const { return wr::LoadU16(bytes_, 2); }

bool WritableDataPage::CanInsert(size_t row_length) const {
  return slot_count_ < kMaxSlots && row_length + 2 <= ComputedFreeSpace();
}

int WritableDataPage::Insert(std::span<const uint8_t> row, uint16_t flags) {
  assert(CanInsert(row.size()));
  const uint32_t top = slot_count_ == 0 ? static_cast<uint32_t>(bytes_.size())
                                        : start(slot_count_ - 1);
  const uint32_t at = top - static_cast<uint32_t>(row.size());
  std::copy(row.begin(), row.end(), bytes_.begin() + at);
  const int slot = slot_count_++;
  wr::StoreU16(bytes_, header_size_ - 2, static_cast<uint16_t>(slot_count_));
  wr::StoreU16(bytes_, header_size_ + 2 * static_cast<size_t>(slot),
               static_cast<uint16_t>(at | flags));
  StoreFreeSpace();
  return slot;
}

void WritableDataPage::Delete(int slot) {
  Resize(slot, 0);
  SetFlags(slot, kDeleted | kOverflow);
}

bool WritableDataPage::CanReplace(int slot, size_t row_length) const {
  const uint32_t old = length(slot);
  return row_length <= old || row_length - old <= ComputedFreeSpace();
}

void WritableDataPage::Replace(int slot, std::span<const uint8_t> row) {
  assert(CanReplace(slot, row.size()));
  Resize(slot, static_cast<uint32_t>(row.size()));
  std::copy(row.begin(), row.end(), bytes_.begin() + start(slot));
}

void WritableDataPage::SetFlags(int slot, uint16_t flags) {
  const size_t at = header_size_ + 2 * static_cast<size_t>(slot);
  wr::StoreU16(bytes_, at, static_cast<uint16_t>(start(slot) | flags));
}

void WritableDataPage::SetOffset(int slot, uint32_t offset) {
  const size_t at = header_size_ + 2 * static_cast<size_t>(slot);
  wr::StoreU16(bytes_, at, static_cast<uint16_t>(offset | flags(slot)));
}

// Gives `slot` a new length. The rows of the later slots lie contiguously below it; they move
// by the difference and their offsets follow. The slot keeps its end, so its start moves.
void WritableDataPage::Resize(int slot, uint32_t new_length) {
  const uint32_t old_start = start(slot);
  const uint32_t slot_end = end(slot);
  const uint32_t lowest = start(slot_count_ - 1);
  const uint32_t new_start = slot_end - new_length;
  if (new_start == old_start) return;
  // Positive when the slot grows: everything below moves down (toward the slot table).
  const int64_t shift = static_cast<int64_t>(old_start) - static_cast<int64_t>(new_start);
  const uint32_t block = old_start - lowest;
  std::memmove(bytes_.data() + lowest - shift, bytes_.data() + lowest, block);
  SetOffset(slot, new_start);
  for (int i = slot + 1; i < slot_count_; ++i) {
    SetOffset(i, static_cast<uint32_t>(static_cast<int64_t>(start(i)) - shift));
  }
  if (shift < 0) {  // a shrink leaves stale bytes in the gap; clear them
    std::fill(bytes_.begin() + lowest, bytes_.begin() + (lowest - shift), uint8_t{0});
  }
  StoreFreeSpace();
}

void WritableDataPage::StoreFreeSpace() {
  wr::StoreU16(bytes_, 2, static_cast<uint16_t>(ComputedFreeSpace()));
}

std::optional<WritableDataPage> OwnedDataPage(PageTxn& txn, uint32_t n, uint32_t owner) {
  if (n >= txn.page_count()) return std::nullopt;
  std::span<const uint8_t> bytes = txn.Read(n);
  if (bytes[0] != kPageTypeData || wr::LoadU32(bytes, 4) != owner) return std::nullopt;
  return WritableDataPage::View(bytes, txn.info().data_header_size, txn.file().path(), n);
}

}  // namespace jet
