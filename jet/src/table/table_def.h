#pragma once

// Table definitions (TDEF pages, type 0x02).
//
// A definition is one logical byte string spread over a chain of pages: the first page gives all
// its bytes (8-byte page header included: 02 01, free space/"VC", u32 next page), every further
// page its bytes from offset 8. Offsets below are into that string (FormatInfo::tdef_*):
//   header: length, row count, last autonumber, table type, max_cols, var-slot count, column
//           count, logical and real index counts, owned-pages and free-space map pointers
//   real-index count blocks (8 / 12 bytes each)
//   column descriptors (18 / 25 bytes each), then the column names in the same order
//   real-index definitions (39 / 52 bytes), logical-index definitions (20 / 28 bytes),
//   logical-index names
//   long-value map trailer: (u16 column, u32 owned map, u32 free map)* and FF FF
// Names are a u8 (Jet3) or u16 (Jet4) byte length followed by code-page bytes or UCS-2.

#include <atomic>
#include <cstdint>
#include <vector>

#include "page/file.h"
#include "jet/schema.h"
#include "value/text.h"

namespace jet {

// Bytes a value of a fixed-size type takes in a row (a Yes/No counts 1, as a new definition
// records it); 0 for types whose size is the column's own length (text, binary, memo, OLE).
uint16_t FixedTypeSize(ColumnType type);

// Whether a column of `type` keeps its values as long values (MEMO, OLE).
inline bool IsLongValue(ColumnType type) {
  return type == ColumnType::kMemo || type == ColumnType::kOle;
}

// A real (physical) index: the B-tree behind one or more logical indexes.
struct RealIndex {
  std::vector<IndexColumn> columns;  // key columns in key order
  uint32_t usage_map = 0;            // row pointer to the map of its pages
  uint32_t root_page = 0;            // root of the B-tree
  uint8_t flags = 0;                 // 0x01 unique, 0x02 ignore nulls, 0x08 required
  uint32_t distinct_keys = 0;        // from the real-index count block
};

// The raw fields of a logical index that TableDef's Index does not carry.
struct LogicalIndex {
  uint32_t number = 0;         // logical index number
  uint32_t real_index = 0;     // position of its real index
  uint8_t fk_table_type = 0;   // 1 primary side, 2 secondary side, 0 no foreign key
  uint32_t fk_index = 0;       // logical index number in the related table
  uint32_t fk_tdef = 0;        // TDEF page of the related table
  uint8_t cascade_update = 0;  // raw byte
  uint8_t cascade_delete = 0;  // raw byte
  uint8_t index_type = 0;      // 1 primary key, 2 foreign key, 0 other
};

// The usage maps of one MEMO/OLE column.
struct LongValueMaps {
  uint16_t column_number = 0;
  uint32_t owned_map = 0;  // row pointer; 0 = none
  uint32_t free_map = 0;   // row pointer; 0 = none
};

// The data page the table's last insert went to. Only a hint: an insert checks that the page is
// still the table's, listed in its free-space map and roomy enough before it uses it, so a stale
// hint (a rolled-back commit, another writer) costs one page read. Copies keep it.
class InsertPageHint {
 public:
  InsertPageHint() = default;
  InsertPageHint(const InsertPageHint& other) : page_(other.get()) {}
  InsertPageHint& operator=(const InsertPageHint& other) {
    set(other.get());
    return *this;
  }
  uint32_t get() const { return page_.load(std::memory_order_relaxed); }
  void set(uint32_t page) const { page_.store(page, std::memory_order_relaxed); }

 private:
  mutable std::atomic<uint32_t> page_{0};
};

// Everything the engine knows about one table definition.
struct TableInfo {
  TableDef def;                 // the public part (columns by column number)
  std::vector<uint32_t> pages;  // TDEF pages, first page first
  std::vector<uint8_t> raw;     // the concatenated definition string
  uint16_t max_cols = 0;        // highest column count ever (row column count)
  uint16_t var_cols = 0;        // variable-offset slots, deleted columns included
  uint32_t owned_map = 0;       // row pointer to the owned-pages map
  uint32_t free_map = 0;        // row pointer to the free-space map
  std::vector<RealIndex> real_indexes;
  std::vector<LogicalIndex> logical_indexes;  // parallel to def.indexes
  std::vector<LongValueMaps> long_value_maps;
  InsertPageHint insert_hint;   // saves an insert the walk of the free-space map
};

// Reads the definition whose first page is `tdef_page` and names the table `name`. Throws
// kCorrupt naming the page for anything malformed: wrong page types, a page chain that loops or
// runs out of the file, counts or names that run past the definition, a column number used twice,
// an index naming a column that does not exist.
TableInfo ReadTableDef(const File& file, const TextCodec& codec, uint32_t tdef_page,
                       std::u16string name);

}  // namespace jet
