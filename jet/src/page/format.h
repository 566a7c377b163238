#pragma once

// Format descriptors: every offset and size that differs between Jet3 (Access 97, 2 KB pages)
// and Jet4 (Access 2000-2003, 4 KB pages), as named fields. Parsers take a `FormatInfo` and never
// test the version themselves.
//
// Offsets are relative to the start of the structure named by the field prefix:
//   header_*   page 0                      data_*     a data page
//   tdef_*     the logical TDEF string     col_*      one column descriptor
//   ridx_*     one real-index definition   lidx_*     one logical-index definition
//   ipage_*    an index page
// A field documented as "0 = absent" does not exist in that format (no such field ever sits at
// offset 0 in the structure, so 0 is free to mean "absent").

#include <cstdint>

#include "jet/schema.h"

namespace jet {

struct FormatInfo {
  Format format;          // which of the two this describes
  uint8_t version_byte;   // header byte 0x14: 0 (Jet3) or 1 (Jet4)
  uint32_t page_size;     // 2048 / 4096
  uint32_t max_row_size;  // 2012 / 4060 bytes, long-value data excluded
  bool unicode_text;      // Jet4: UCS-2 (optionally compressed); Jet3: code-page bytes

  // Page 0.
  uint32_t header_mask_offset;    // 0x18: first RC4-masked byte
  uint32_t header_mask_size;      // 126 / 128 masked bytes
  uint32_t header_sort_order;     // LCID: 0x3A (Jet3) / 0x6E (Jet4)
  uint32_t header_sort_version;   // Jet4 0x71; 0 = absent (Jet3)
  uint32_t header_code_page;      // 0x3C
  uint32_t header_db_key;         // 0x3E: non-zero = encrypted pages
  uint32_t header_password;       // 0x42
  uint32_t header_password_size;  // 20 / 40 bytes
  uint32_t header_creation_date;  // Jet4 0x72 (a Jet date double); 0 = absent (Jet3)

  // Data pages (type 0x01): rows, long values, usage maps.
  uint32_t data_free_space;   // 0x02, u16
  uint32_t data_owner;        // 0x04, u32: TDEF page, "LVAL", or 0
  uint32_t data_row_count;    // 0x08 / 0x0C, u16: number of slots
  uint32_t data_header_size;  // 0x0A / 0x0E: the slot table starts here

  // Rows.
  uint32_t row_field_size;  // 1 / 2: column count, var offsets, var count, EOD
  bool row_jump_table;      // Jet3 rows carry a jump table for offsets > 255

  // TDEF (offsets into the concatenated definition string).
  uint32_t tdef_next_page;            // 0x04, u32
  uint32_t tdef_length;               // 0x08, u32
  uint32_t tdef_row_count;            // 0x0C / 0x10
  uint32_t tdef_autonumber;           // 0x10 / 0x14
  uint32_t tdef_table_type;           // 0x14 / 0x28, 'N' or 'S'
  uint32_t tdef_max_cols;             // 0x15 / 0x29, u16
  uint32_t tdef_var_cols;             // 0x17 / 0x2B, u16
  uint32_t tdef_column_count;         // 0x19 / 0x2D, u16
  uint32_t tdef_logical_index_count;  // 0x1B / 0x2F, u32
  uint32_t tdef_real_index_count;     // 0x1F / 0x33, u32
  uint32_t tdef_owned_map;            // 0x23 / 0x37, row pointer
  uint32_t tdef_free_map;             // 0x27 / 0x3B, row pointer
  uint32_t tdef_header_end;           // 0x2B / 0x3F: real-index count blocks start here
  uint32_t tdef_index_count_block;    // 8 / 12 bytes per real index
  uint32_t tdef_name_length_size;     // 1 / 2 bytes of length before each name

  // Column descriptor.
  uint32_t col_desc_size;     // 18 / 25
  uint32_t col_type;          // 0x00, u8
  uint32_t col_number;        // 0x01 / 0x05, u16
  uint32_t col_var_index;     // 0x03 / 0x07, u16
  uint32_t col_sort_order;    // 0x09 / 0x0B, u16 LCID
  uint32_t col_sort_version;  // Jet4 0x0E, u8; 0 = absent
  uint32_t col_code_page;     // Jet3 0x0B, u16; 0 = absent
  uint32_t col_precision;     // 0x0B, u8 (DECIMAL only)
  uint32_t col_scale;         // 0x0C, u8 (DECIMAL only)
  uint32_t col_flags;         // 0x0D / 0x0F, u8
  uint32_t col_extra_flags;   // Jet4 0x10, u8; 0 = absent
  uint32_t col_fixed_offset;  // 0x0E / 0x15, u16
  uint32_t col_length;        // 0x10 / 0x17, u16

  // Real-index definition.
  uint32_t ridx_size;       // 39 / 52
  uint32_t ridx_columns;    // 0x00 / 0x04: 10 x (u16 column, u8 flags)
  uint32_t ridx_usage_map;  // 0x1E / 0x22, row pointer
  uint32_t ridx_root_page;  // 0x22 / 0x26, u32
  uint32_t ridx_flags;      // 0x26 / 0x2E, u8

  // Logical-index definition.
  uint32_t lidx_size;            // 20 / 28
  uint32_t lidx_number;          // 0x00 / 0x04, u32
  uint32_t lidx_real_index;      // 0x04 / 0x08, u32
  uint32_t lidx_fk_table_type;   // 0x08 / 0x0C, u8
  uint32_t lidx_fk_index;        // 0x09 / 0x0D, u32
  uint32_t lidx_fk_tdef;         // 0x0D / 0x11, u32
  uint32_t lidx_cascade_update;  // 0x11 / 0x15, u8
  uint32_t lidx_cascade_delete;  // 0x12 / 0x16, u8
  uint32_t lidx_index_type;      // 0x13 / 0x17, u8: 1 primary, 2 foreign

  // Index pages (types 0x03 / 0x04).
  uint32_t ipage_free_space;     // 0x02, u16
  uint32_t ipage_owner;          // 0x04, u32 TDEF page
  uint32_t ipage_prev;           // 0x08 / 0x0C
  uint32_t ipage_next;           // 0x0C / 0x10
  uint32_t ipage_tail;           // 0x10 / 0x14
  uint32_t ipage_prefix_length;  // 0x14 / 0x18
  uint32_t ipage_prefix_size;    // 1 / 2 bytes
  uint32_t ipage_bitmap;         // 0x16 / 0x1B
  uint32_t ipage_entries;        // 0xF8 / 0x1E0: entry area start
  uint32_t ipage_capacity;       // 1800 / 3616 bytes of entry area

  // Long values.
  uint32_t lval_max_single;   // 2032 / 4076: largest single-row value
  uint32_t lval_chain_chunk;  // 2028 / 4072: value bytes per chained segment

  // Reference usage maps: pages covered by one bitmap page, (page_size - 4) * 8.
  uint32_t usage_map_pages_per_bitmap;
};

// The descriptor of `format`. The returned object lives for the whole program.
const FormatInfo& FormatFor(Format format);

// Facts shared by both formats.

// A row pointer as stored (usage maps, long values, overflow rows): page << 8 | row.
struct RowPointer {
  uint32_t page = 0;
  uint8_t row = 0;
  static constexpr RowPointer FromU32(uint32_t v) {
    return {v >> 8, static_cast<uint8_t>(v & 0xFF)};
  }
  constexpr uint32_t ToU32() const { return page << 8 | row; }
};
constexpr uint32_t PackRowPointer(uint32_t page, uint8_t row) {
  return RowPointer{page, row}.ToU32();
}

// The global usage map (which pages are free) is row 0 of page 1.
constexpr uint32_t kGlobalUsageMap = PackRowPointer(1, 0);
// Its length in a database this engine creates: an inline map (type byte, first page u32) of
// 64 bitmap bytes, covering 512 pages.
constexpr uint32_t kNewGlobalUsageMapSize = 69;

// Real-index flags (ridx_flags).
constexpr uint8_t kIndexUnique = 0x01;
constexpr uint8_t kIndexIgnoreNulls = 0x02;  // rows whose key columns are all NULL get no entry
constexpr uint8_t kIndexRequired = 0x08;
constexpr uint8_t kIndexAlwaysSet = 0x80;  // set in every index Access writes

// Index trees deeper than this are taken as corrupt (a loop in the child pointers).
constexpr int kMaxIndexDepth = 32;

// MSysObjects "Type" codes.
constexpr int16_t kObjectLocalTable = 1;
constexpr int16_t kObjectDatabase = 2;
constexpr int16_t kObjectContainer = 3;
constexpr int16_t kObjectOdbcLink = 4;
constexpr int16_t kObjectQuery = 5;
constexpr int16_t kObjectJetLink = 6;
constexpr int16_t kObjectDocument = -32757;

}  // namespace jet
