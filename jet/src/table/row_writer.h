#pragma once

// Encoding of a row (the inverse of row decoding, layouts in row.h):
//
//   column count C (= TDEF max_cols)
//   fixed area: every fixed column at (field size) + fixed_offset, zero-filled when NULL
//   variable data, in variable-table-index order
//   EOD | offset of var slot V-1 ... var slot 0 (reversed) | [Jet3: jump table] | V
//   null mask, ceil(C/8) bytes by column number, 1 = has a value
//
// Fields are u16 in Jet4 and u8 in Jet3, whose jump table records where offsets pass each
// multiple of 256.
// V is the TDEF's variable-slot count; a slot no live column uses (a dropped column) repeats the
// current offset so it reads as empty. Booleans live only in the null mask. A table without
// variable slots has no EOD, offsets or V: just count, fixed area and mask.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "jet/schema.h"
#include "page/format.h"

namespace jet {

// What the row encoder needs from a table definition.
struct RowLayout {
  uint16_t max_cols = 0;        // column count written into every row
  uint16_t var_slots = 0;       // entries of the variable-offset table
  std::span<const Column> columns;  // live columns, any order (the caller keeps them)
};

// One column's value, already encoded: the bytes of a fixed column (exactly its length), of a
// variable column (text, binary, or the 12-byte long-value header plus any inline data), or the
// value of a boolean. `bytes` empty-optional = NULL.
struct RowCell {
  std::optional<std::vector<uint8_t>> bytes;
  bool boolean = false;
};

// Encodes one row; `cells` follow `layout.columns`. The caller checks the result against the
// format's maximum row size.
std::vector<uint8_t> EncodeRow(const FormatInfo& format, const RowLayout& layout,
                               const std::vector<RowCell>& cells);

// A row written while its table had no variable-offset table (count | fixed area | null mask)
// with an empty one added (EOD and V = 0), as rows must have once the table has variable
// columns: its count, fixed area and mask stay, so every column added since reads as NULL.
// `row` is a row that decoded (at least its count and mask are present).
std::vector<uint8_t> WithEmptyVarTable(const FormatInfo& format, std::span<const uint8_t> row);

// Size of the fixed area of rows of `layout`.
uint32_t FixedAreaSize(const RowLayout& layout);

}  // namespace jet
