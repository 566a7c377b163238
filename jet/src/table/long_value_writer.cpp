#include "table/long_value_writer.h"

#include <algorithm>
#include <string>

#include "page/data_page.h"
#include "page/data_page_writer.h"
#include "jet/error.h"
#include "page/page_txn.h"
#include "page/usage_map_writer.h"
#include "util/write_bytes.h"
#include "page/format.h"

namespace jet {
namespace {

constexpr uint32_t kInlineForm = 0x80000000u;
constexpr uint32_t kSingleForm = 0x40000000u;
constexpr uint32_t kRoomworthKeeping = 64;  // a page with less free space leaves the free map
constexpr size_t kMaxChainRows = 1u << 20;

WritableDataPage EditPage(PageTxn& txn, uint32_t n) {
  return WritableDataPage(txn.Edit(n), txn.info().data_header_size, txn.file().path(), n);
}

// A page of the column's free map (Jet3 columns have none: its owned map) with room for `len`
// bytes, or a new one recorded in its maps.
uint32_t PageForRow(PageTxn& txn, const LongValueMaps* maps, size_t len) {
  const uint32_t candidates = !maps ? 0 : maps->free_map != 0 ? maps->free_map : maps->owned_map;
  if (candidates != 0) {
    UsageMapEditor free_map(txn, candidates, UsageMapEditor::Kind::kOwned);
    for (const uint32_t n : free_map.LastPages(8)) {
      const std::optional<WritableDataPage> p = OwnedDataPage(txn, n, kLvalOwner);
      if (p && p->CanInsert(len)) return n;
    }
  }
  const uint32_t n = txn.Allocate();
  WritableDataPage::Init(txn.Edit(n), txn.info().data_header_size, kLvalOwner);
  if (maps && maps->owned_map != 0) {
    UsageMapEditor(txn, maps->owned_map, UsageMapEditor::Kind::kOwned).Set(n, true);
  }
  if (maps && maps->free_map != 0) {
    UsageMapEditor(txn, maps->free_map, UsageMapEditor::Kind::kOwned).Set(n, true);
  }
  return n;
}

// Stores one LVAL row and returns its row pointer.
uint32_t PutRow(PageTxn& txn, const LongValueMaps* maps, std::span<const uint8_t> row) {
  const uint32_t n = PageForRow(txn, maps, row.size());
  WritableDataPage page = EditPage(txn, n);
  const int slot = page.Insert(row);
  if (maps && maps->free_map != 0 && page.ComputedFreeSpace() < kRoomworthKeeping) {
    UsageMapEditor(txn, maps->free_map, UsageMapEditor::Kind::kOwned).Set(n, false);
  }
  return PackRowPointer(n, static_cast<uint8_t>(slot));
}

std::vector<uint8_t> Header(uint32_t length_and_form, uint32_t pointer) {
  std::vector<uint8_t> h;
  wr::AppendU32(h, length_and_form);
  wr::AppendU32(h, pointer);
  wr::AppendU32(h, 0);
  return h;
}

[[noreturn]] void BadPointer(const PageTxn& txn, uint32_t page, const std::string& what) {
  throw Error(Error::Kind::kCorrupt, const_cast<PageTxn&>(txn).file().path() + ": page " +
                                         std::to_string(page) + " is corrupt (" + what + ")");
}

}  // namespace

std::vector<uint8_t> InlineLongValueField(std::span<const uint8_t> data) {
  std::vector<uint8_t> field = Header(static_cast<uint32_t>(data.size()) | kInlineForm, 0);
  field.insert(field.end(), data.begin(), data.end());
  return field;
}

std::vector<uint8_t> WriteLongValue(PageTxn& txn, const LongValueMaps* maps,
                                    std::span<const uint8_t> data) {
  const FormatInfo& info = txn.info();
  const auto length = static_cast<uint32_t>(data.size());
  if (data.size() <= info.lval_max_single) {
    return Header(length | kSingleForm, PutRow(txn, maps, data));
  }
  const size_t chunk = info.lval_chain_chunk;
  const size_t segments = (data.size() + chunk - 1) / chunk;
  uint32_t next = 0;
  for (size_t s = segments; s-- > 0;) {
    std::span<const uint8_t> part = data.subspan(s * chunk, std::min(chunk, data.size() - s * chunk));
    std::vector<uint8_t> row;
    wr::AppendU32(row, next);
    row.insert(row.end(), part.begin(), part.end());
    next = PutRow(txn, maps, row);
  }
  return Header(length, next);
}

void FreeLongValue(PageTxn& txn, const LongValueMaps* maps, std::span<const uint8_t> field) {
  if (field.size() < kLongValueHeaderSize) return;
  const uint32_t word = wr::LoadU32(field, 0);
  if (word & kInlineForm) return;
  const bool single = (word & kSingleForm) != 0;
  uint32_t pointer = wr::LoadU32(field, 4);
  for (size_t hops = 0; pointer != 0; ++hops) {
    const uint32_t n = RowPointer::FromU32(pointer).page;
    const int slot = RowPointer::FromU32(pointer).row;
    if (hops > kMaxChainRows || n == 0 || n >= txn.page_count()) {
      BadPointer(txn, n, "long value pointer outside the file");
    }
    std::span<const uint8_t> bytes = txn.Read(n);
    if (bytes[0] != kPageTypeData || wr::LoadU32(bytes, 4) != kLvalOwner) {
      BadPointer(txn, n, "long value pointer to a page that is not an LVAL page");
    }
    WritableDataPage page = EditPage(txn, n);
    if (slot >= page.slot_count() || (page.flags(slot) & WritableDataPage::kDeleted)) {
      BadPointer(txn, n, "long value pointer to a missing row");
    }
    const bool last = single || page.length(slot) < 4;
    const uint32_t next = last ? 0 : wr::LoadU32(page.Row(slot), 0);
    page.Delete(slot);
    if (maps && maps->free_map != 0 && page.ComputedFreeSpace() >= kRoomworthKeeping) {
      UsageMapEditor(txn, maps->free_map, UsageMapEditor::Kind::kOwned).Set(n, true);
    }
    pointer = next;
  }
}

}  // namespace jet
