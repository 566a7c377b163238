#pragma once

// Encoding of a Jet4 row (the inverse of row decoding):
//
//   u16 column count C (= TDEF max_cols)
//   fixed area: every fixed column at 2 + fixed_offset, zero-filled when NULL
//   variable data, in variable-table-index order
//   u16 EOD | u16 offset of var slot V-1 ... var slot 0 (reversed) | u16 V
//   null mask, ceil(C/8) bytes by column number, 1 = has a value
//
// V is the TDEF's variable-slot count; a slot no live column uses (a dropped column) repeats the
// current offset so it reads as empty. Booleans live only in the null mask. A table without
// variable slots has no EOD, offsets or V: just count, fixed area and mask.

#include <cstdint>
#include <optional>
#include <vector>

#include "jet/schema.h"

namespace jet {

// What the row encoder needs from a table definition.
struct RowLayout {
  uint16_t max_cols = 0;        // column count written into every row
  uint16_t var_slots = 0;       // entries of the variable-offset table
  std::vector<Column> columns;  // live columns, any order
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
std::vector<uint8_t> EncodeJet4Row(const RowLayout& layout, const std::vector<RowCell>& cells);

// Size of the fixed area of rows of `layout`.
uint32_t FixedAreaSize(const RowLayout& layout);

}  // namespace jet

namespace jet {

class PageReader;

// The bytes of variable column `column` in the Jet4 row `row` of a table with variable slots;
// nullopt when the value is NULL or the row predates the column. Throws kCorrupt (naming the
// row's page) when the row's offset table does not fit its bytes.
std::optional<std::vector<uint8_t>> Jet4VarField(const PageReader& row, const Column& column);

}  // namespace jet
