#pragma once

// Slot operations on one data page (type 0x01): table rows, long-value rows, usage-map rows.
//
//   0x00 u8  0x01        0x01 u8 0x01          0x02 u16 free space
//   0x04 u32 owner (TDEF page, "LVAL", or 0)   Jet4: 0x08 u32 unknown
//   H-2  u16 slot count n                      H    u16 x n offset words, slot 0 first
// H = 0x0A (Jet3) / 0x0E (Jet4). An offset word holds the row start in bits 0-12, 0x8000 for a
// deleted row or an overflow target and 0x4000 for an overflow header (a deleted row has both).
//
// Invariants this class keeps (and checks on a page it is given): rows are packed downward from
// the page end in slot order, so slot 0 ends at the page end and slot i ends where slot i-1
// starts; free space = page_size - H - 2n - sum of slot lengths, and is stored at 0x02; n <= 255.
// Slot numbers never change while the page lives, because index entries point at them.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace jet {

class WritableDataPage {
 public:
  static constexpr uint16_t kDeleted = 0x8000;   // deleted row, or overflow target
  static constexpr uint16_t kOverflow = 0x4000;  // overflow header (with 0x8000: deleted)
  static constexpr uint16_t kOffsetMask = 0x1FFF;
  static constexpr int kMaxSlots = 255;

  // Views `bytes`, a whole page with a `header_size`-byte header. Checks the slot table and
  // throws jet::Error(kCorrupt) naming `file` and `page` when it breaks the invariants above.
  WritableDataPage(std::span<uint8_t> bytes, uint32_t header_size, std::string_view file, uint32_t page);

  // A read-only view of a page (only the const members may be used on it).
  static const WritableDataPage View(std::span<const uint8_t> bytes, uint32_t header_size,
                                     std::string_view file, uint32_t page) {
    return WritableDataPage(std::span<uint8_t>(const_cast<uint8_t*>(bytes.data()), bytes.size()),
                            header_size, file, page);
  }

  // Formats `bytes` as an empty data page owned by `owner` (a TDEF page, or "LVAL" as u32).
  static void Init(std::span<uint8_t> bytes, uint32_t header_size, uint32_t owner);
  
  int slot_count() const { return slot_count_; }
  uint32_t owner() const;
  uint16_t flags(int slot) const;      // kDeleted / kOverflow bits
  uint32_t start(int slot) const;      // first byte of the row
  uint32_t end(int slot) const;        // one past its last byte
  uint32_t length(int slot) const { return end(slot) - start(slot); }
  std::span<const uint8_t> Row(int slot) const;
  // Free space from the slot table (what the header field must say).
  uint32_t ComputedFreeSpace() const;
  uint16_t StoredFreeSpace() const;
  // The largest row Insert accepts on an empty page.
  static uint32_t MaxRowLength(uint32_t page_size, uint32_t header_size) {
    return page_size - header_size - 2;
  }

  bool CanInsert(size_t row_length) const;
  // Appends `row` as a new slot and returns its number. Requires CanInsert.
  int Insert(std::span<const uint8_t> row, uint16_t flags = 0);
  // Marks `slot` deleted (both flags) and gives its bytes back: the slot gets length 0 and the
  // rows stored after it move up.
  void Delete(int slot);
  // Whether `slot` can hold a row of `row_length` bytes after moving its neighbours.
  bool CanReplace(int slot, size_t row_length) const;
  // Replaces the bytes of `slot` (same, smaller or larger size), keeping its number and flags.
  void Replace(int slot, std::span<const uint8_t> row);
  void SetFlags(int slot, uint16_t flags);

 private:
  void CheckSlots() const;
  void Resize(int slot, uint32_t new_length);
  void SetOffset(int slot, uint32_t offset);
  void StoreFreeSpace();
  [[noreturn]] void Corrupt(const std::string& what) const;

  std::span<uint8_t> bytes_;  // the page; not owned
  uint32_t header_size_;      // 0x0A / 0x0E
  std::string file_;          // for messages
  uint32_t page_;             // for messages
  int slot_count_;
};

class PageTxn;

// Page `n` of `txn` as a data page, when it is one that `owner` (a TDEF page, or "LVAL" as u32)
// owns; nullopt for a page past the end, or of another type or owner.
std::optional<WritableDataPage> OwnedDataPage(PageTxn& txn, uint32_t n, uint32_t owner);

}  // namespace jet
