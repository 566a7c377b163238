#pragma once

// Walking the rows of a table in table-scan order: the pages of its owned-pages usage map in
// page order, the slots of each page in slot order. Deleted slots and overflow targets (0x8000)
// are skipped; an overflow header (0x4000 alone) holds a row pointer in its first 4 bytes to the
// place the row now lives, which is followed. The row keeps the id of its header slot.

#include <functional>

#include "page/data_page.h"
#include "page/file.h"
#include "jet/schema.h"
#include "jet/value.h"
#include "table/table_def.h"

namespace jet {

// Calls `fn` with the id and the bytes of every live row; stops when `fn` returns false. Throws
// kCorrupt when an owned page is not a data page of this table or a pointer is bad.
void ScanRows(const File& file, const TableInfo& table,
              const std::function<bool(RowId, const PageReader&)>& fn);

// The bytes of the live row `id`, following an overflow pointer; `holder` keeps them alive.
// Returns false when the slot is missing, deleted or an overflow target, or the page is not a
// data page of this table.
bool FindRow(const File& file, const TableInfo& table, RowId id, Page& holder, PageReader& out);

}  // namespace jet
