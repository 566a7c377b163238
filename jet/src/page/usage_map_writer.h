#pragma once

// Editing a usage map in place (see usage_map.h for the two layouts).
//
// Owned maps (a table's pages, its free-space pages, an index's pages, a long-value column's
// pages): a set bit means "this page belongs here". Adding a page outside an inline map's window
// moves the window (start page a multiple of 8) when every page still fits, else promotes the row
// to a reference map of the same length, allocating bitmap pages (type 0x05) as needed.
//
// The global map (page 1, row 0): a set bit means "free". Pages outside its range are left
// alone: other writers treat them as free-if-unknown, and this engine appends instead of reusing
// them, so the map never needs to grow.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace jet {

class PageTxn;

class UsageMapEditor {
 public:
  enum class Kind { kOwned, kGlobal };
  // The map stored in the row `map_row` points to (row byte + 3-byte page).
  UsageMapEditor(PageTxn& txn, uint32_t map_row, Kind kind);

  // Whether the bit of `page` is set (false outside the map's range).
  bool Has(uint32_t page);
  // Sets or clears the bit of `page`. Owned maps grow to take any page; the global map ignores
  // pages outside its range.
  void Set(uint32_t page, bool on);
  // Every page whose bit is set, ascending.
  std::vector<uint32_t> Pages();
  // The `n` highest pages whose bit is set, highest first: where an insert looks for room.
  std::vector<uint32_t> LastPages(size_t n);
  // Calls `fn` with the pages whose bit is set, ascending (or descending), until it returns
  // false. Inserts look at the last pages of a free-space map and allocation at the first free
  // pages of the global map: neither needs the whole list.
  void ForEachPage(bool descending, const std::function<bool(uint32_t)>& fn);

 private:
  std::span<const uint8_t> ReadRow();
  std::span<uint8_t> EditRow();
  // Pointer `j` of a reference map row; 0 when there is no bitmap page behind it.
  uint32_t BitmapPage(std::span<const uint8_t> row, size_t j) const;
  void SetInline(std::span<uint8_t> row, uint32_t page, bool on);
  void SetReference(uint32_t page, bool on);
  void Promote(uint32_t extra_page);
  void MoveWindow(std::span<uint8_t> row, const std::vector<uint32_t>& pages, uint32_t start);

  PageTxn& txn_;
  uint32_t map_page_;  // data page holding the map row
  uint8_t map_slot_;   // slot of the row on that page
  Kind kind_;
};

// Bytes of row `slot` of the data page `page` (numbered `page_no`, in `file` for messages),
// checked against the page's slot table. Throws kCorrupt.
std::span<const uint8_t> DataRowBytes(std::span<const uint8_t> page, uint32_t header_size,
                                      const std::string& file, uint32_t page_no, int slot);

}  // namespace jet
