#pragma once

// Data pages (type 0x01): the rows of a table, long-value (LVAL) rows and usage-map rows.
//
//   0x00  u8   0x01            0x02 u16  free space
//   0x04  u32  owner: TDEF page of the table, "LVAL" for long values, 0 for usage maps
//   0x08 (Jet3) / 0x0C (Jet4)  u16 number of slots n
//   then   n x u16 slot words: bits 0-12 offset of the row in the page,
//          0x8000 deleted (alone: target of an overflowed row), 0x4000 overflow header
//          (with 0x8000: deleted)
// Rows are packed downward from the page end in slot order: slot 0 ends at the page end, slot i
// ends where slot i-1 starts.

#include <cstdint>
#include <span>

#include "page/file.h"
#include "page/format.h"

namespace jet {

constexpr uint8_t kPageTypeData = 0x01;
constexpr uint8_t kPageTypeTdef = 0x02;
constexpr uint8_t kPageTypeIndexNode = 0x03;
constexpr uint8_t kPageTypeIndexLeaf = 0x04;
constexpr uint8_t kPageTypeUsageBitmap = 0x05;

constexpr uint16_t kSlotDeleted = 0x8000;
constexpr uint16_t kSlotOverflow = 0x4000;
constexpr uint16_t kSlotOffsetMask = 0x1FFF;
constexpr uint32_t kLvalOwner = 0x4C41564C;  // "LVAL" read as a little-endian u32

// One slot of a data page.
struct Slot {
  uint16_t word = 0;   // raw slot word with flags
  uint32_t start = 0;  // first byte of the row in the page
  uint32_t end = 0;    // one past its last byte
  bool deleted() const { return (word & kSlotDeleted) != 0; }
  bool overflow() const { return (word & kSlotOverflow) != 0; }
  // A live table row or overflow header (what a scan visits).
  bool visible() const { return !deleted(); }
};

// Slot view of one data page; all offsets are checked against the page.
class DataPage {
 public:
  // Throws kCorrupt unless `page` is a data page whose slot table fits in it.
  DataPage(const Page& page, const FormatInfo& info);

  const Page& page() const { return page_; }
  uint32_t owner() const { return page_.reader().U32(info_->data_owner); }
  uint16_t slot_count() const { return count_; }
  // Slot `i` (< slot_count()). Throws kCorrupt when its bounds are not inside the row area,
  // unless the slot is deleted (deleted slots may hold anything; their bounds are then empty).
  Slot GetSlot(uint16_t i) const;
  // The bytes of a slot as a reader reporting this page.
  PageReader Row(const Slot& slot) const {
    return page_.reader().Sub(slot.start, slot.end - slot.start);
  }

 private:
  Page page_;               // the page snapshot
  const FormatInfo* info_;  // format of the file
  uint16_t count_;          // number of slots
};

// Reads the row a row pointer names (any flags), checking the page type and, when `owner` is
// not 0, the page's owner field. Returns a reader that keeps `page_out` alive as the owner of the
// bytes.
PageReader ReadRowAt(const File& file, RowPointer ptr, uint32_t owner, Page& page_out,
                     std::string_view what);

}  // namespace jet
