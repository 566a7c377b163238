#pragma once

// New table definitions: the columns and indexes of a table about to be created, laid out as
// Access lays them out, and the TDEF string that describes them.
//
// Layout rules (both formats): columns are numbered in declaration order; variable columns take the
// variable-offset slots in that order; fixed columns are packed in the fixed area in that order
// (Yes/No columns live in the null mask only and sit at offset 0); a fixed column's var-index
// field holds the number of variable columns before it. Every non-DECIMAL column carries the
// table's text sort order (LCID and version); DECIMAL columns carry precision and scale there.
//
// WriteNewTable puts a table in the file: the TDEF page (plus continuation pages), one usage-map
// data page (owner 0) holding the owned-pages and free-space maps, a map per real index and two
// maps per MEMO/OLE column, and an empty leaf root per real index. It writes no catalog row.

#include <cstdint>
#include <string>
#include <vector>

#include "jet/schema.h"
#include "page/format.h"
#include "value/text.h"

namespace jet {

class DatabaseImpl;
class PageTxn;

struct ColumnLayout {
  std::u16string name;
  uint8_t type = 0;         // ColumnType code (0x11 also allowed for system tables)
  uint16_t number = 0;      // declaration position
  uint8_t flags = 0;        // 0x01 fixed, 0x02 updatable, 0x04 autonumber, 0x10/0x20 system
  uint8_t extra_flags = 0;  // 0x01 compressed unicode
  uint16_t length = 0;      // bytes in the row
  uint8_t precision = 0;    // DECIMAL
  uint8_t scale = 0;        // DECIMAL
};

struct IndexLayout {
  std::u16string name;
  std::vector<IndexColumn> columns;
  uint8_t real_flags = kIndexAlwaysSet;  // kIndex* flags
  bool primary = false;       // logical index type 1
};

struct TableLayout {
  std::u16string name;
  Format format = Format::kJet4;     // Jet3: text lengths in characters, 1-byte name lengths
  const TextCodec* codec = nullptr;  // Jet3: encodes names in the file's code page
  bool system = false;               // table type 'S'
  bool number_in_descriptor = true;  // descriptor bytes 0x09-0x0A: column number (else 0)
  bool descriptors_by_name = false;  // store descriptors alphabetically (MSysObjects does)
  uint16_t sort_order = 0x0409;
  uint8_t sort_version = 0;
  std::vector<ColumnLayout> columns;  // in column-number order
  std::vector<IndexLayout> indexes;   // logical = real, in this order
};

// Where WriteNewTable put the structures a definition points at.
struct TablePlacement {
  uint32_t owned_map = 0;  // row pointers
  uint32_t free_map = 0;
  std::vector<uint32_t> index_maps;     // per index
  std::vector<uint32_t> index_roots;    // per index
  std::vector<uint32_t> lv_owned_maps;  // per column; 0 for columns that are not MEMO/OLE
  std::vector<uint32_t> lv_free_maps;   // per column
};

// The text sort order new columns of `db` carry: General in Jet4 files; in Jet3 files that of
// the file's own text columns (the catalog's Name column), with its version.
struct SortOrder {
  uint16_t order = 0x0409;
  uint8_t version = 0;
};
SortOrder NewColumnSortOrder(const DatabaseImpl& db);

// Checks `spec` (names, counts, types, keys) and lays it out. Throws kInvalidArgument (or
// kNotSupported for a type CREATE TABLE cannot make) before anything is written. For a Jet3
// file pass its codec: every name must then be representable in its code page.
TableLayout LayoutFromSpec(const TableSpec& spec, uint16_t sort_order, uint8_t sort_version,
                           const TextCodec* jet3_codec = nullptr);

// One column of `spec` laid out as column number `number` of table `table` (for messages):
// name, type, length and flags checked as CREATE TABLE checks them. Throws kInvalidArgument
// (kNotSupported for a type that cannot be created).
ColumnLayout LayoutColumn(const ColumnSpec& spec, uint16_t number, const std::string& table,
                          Format format);

// Refuses (kInvalidArgument) a name that a Jet3 file's code page cannot hold; no-op without a
// codec.
void CheckStorable(const TextCodec* codec, std::u16string_view name, const std::string& what);

// Refuses (kInvalidArgument) a row layout whose fixed area of `fixed_bytes`, `var_slots`
// variable-offset slots and null mask over `max_cols` columns would pass the format's row size.
void CheckRowFits(Format format, size_t fixed_bytes, size_t var_slots, size_t max_cols,
                  const std::string& table);

// The descriptor of column `c` in a definition of `t`'s format and sort order, given its slot in
// the variable-offset table (for a fixed column: the number of variable columns before it) and
// its offset in the fixed area.
std::vector<uint8_t> ColumnDescriptor(const TableLayout& t, const ColumnLayout& c,
                                      uint16_t var_index, uint16_t fixed_offset);

// The complete definition string (first page header included, tdef_len filled by the writer).
std::vector<uint8_t> BuildDefinition(const TableLayout& t, const TablePlacement& p);

// Writes a new table through `txn`. `tdef_page` 0 = allocate one. When `*map_page` is non-zero
// and has room, the usage maps go on that page; it is set to the page that took the last map.
// Returns the TDEF page.
uint32_t WriteNewTable(PageTxn& txn, const TableLayout& t, uint32_t tdef_page, uint32_t* map_page);

}  // namespace jet
