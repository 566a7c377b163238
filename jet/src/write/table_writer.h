#pragma once

// Row writes on one table within one page transaction: insert, update, delete.
//
// Insert: convert every value to its column's type, assign autonumbers, check the index rules,
// store long values, encode the row (at most max_row_size bytes), put it on a page from the
// table's free-space map (or a new page recorded in the owned and free-space maps), add the index
// entries, then raise the TDEF row count and last autonumber.
// Update: the same checks; the row is rewritten in its slot when the page has room (rows after
// it move), otherwise it moves to another page as an overflow target (0x8000) and the header slot
// keeps the row id, holding a pointer with 0x4000. Replaced long values are freed.
// Delete: both flags on the header slot (and its overflow target), space reclaimed, long values
// freed, index entries removed, row count lowered.
// Nothing here touches the file: the caller commits the transaction when the call returns.

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "jet/schema.h"
#include "jet/value.h"
#include "table/table_def.h"

namespace jet {

class PageTxn;

class TableWriter {
 public:
  TableWriter(const File& file, const TextCodec& codec, PageTxn& txn, const TableInfo& table);

  // Called with a row's converted values (and, for an update, the values it replaces) once the
  // column rules have passed and before anything is written; throws to refuse the row.
  using RowCheck =
      std::function<void(const std::vector<Value>& values, const std::vector<Value>* old)>;
  void set_row_check(RowCheck check) { row_check_ = std::move(check); }

  RowId Insert(const std::vector<Value>& values);
  void Update(RowId id, const std::vector<Value>& values);
  void Delete(RowId id);
  // Writes row `id` again in the table's layout (C = max_cols, V = the slot count, the whole
  // fixed area) with the values it holds, as read through that layout; stored long values and
  // index entries stay.
  void Reencode(RowId id);
  // Stores `row` as the new bytes of row `id` (in its slot, or as an overflow target) for a
  // change of layout that keeps every value: indexes and long values are not touched.
  void Rewrite(RowId id, std::span<const uint8_t> row) { Relocate(id, row); }

 private:
  struct OldRow {
    std::vector<Value> values;                                // decoded, per column
    std::vector<std::optional<std::vector<uint8_t>>> fields;  // raw long-value fields
    std::vector<std::optional<std::vector<uint8_t>>> texts;   // raw variable TEXT fields
  };

  std::vector<Value> Convert(const std::vector<Value>& values, const OldRow* old);
  std::vector<uint8_t> Encode(const std::vector<Value>& native, const OldRow* old,
                              bool allow_inline);
  std::vector<uint8_t> EncodeChecked(const std::vector<Value>& native, const OldRow* old);
  OldRow ReadOld(RowId id);
  void FreeLongValues(const OldRow& old, const std::vector<Value>* kept);
  void Relocate(RowId id, std::span<const uint8_t> row);
  RowId Place(std::span<const uint8_t> row, uint16_t flags);
  uint32_t PageForRow(size_t length);
  void AfterShrink(uint32_t page);
  const LongValueMaps* MapsOf(const Column& column) const;
  void RaiseAutonumber(const std::vector<Value>& native);

  const File& file_;
  const TextCodec& codec_;
  PageTxn& txn_;
  const TableInfo& table_;
  RowCheck row_check_;
};

}  // namespace jet
