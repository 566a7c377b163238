#pragma once

// Decoding table rows.
//
// Jet4 row (all u16, little-endian):
//   column count C | fixed area | variable data | [EOD | var offsets V-1..0 | V] | null mask
// The bracketed part is absent when the table has no variable-offset slots. The null mask has
// ceil(C/8) bytes, one bit per column number, 1 = has a value; a boolean's value is its bit.
// A column whose number is >= C was added after the row was written and reads as NULL (false).
// Jet3 rows have the same parts with u8 fields, plus a jump table between the var offsets and V:
// J = (row length - 1) / 256 entries, entry j being the first var-table index whose offset is
// >= 256 * (j + 1) (the last one may be a dummy), so offsets are the stored low byte plus
// 256 x (number of jumps passed).

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "page/file.h"
#include "jet/value.h"
#include "table/table_def.h"
#include "value/text.h"

namespace jet {

// Decodes the rows of one table into values for a chosen list of columns. Build it once per
// scan; Decode() reuses its buffers. The file, codec and columns must outlive the decoder.
class RowDecoder {
 public:
  RowDecoder(const File& file, const TextCodec& codec, const TableInfo& table,
             std::span<const Column> columns);

  // Decodes one row (the bytes of its slot) into `out`, one value per column. Throws kCorrupt
  // naming the row's page when the row's structure does not fit in its bytes.
  void Decode(const PageReader& row, std::vector<Value>& out);

  // The stored bytes of variable column `column` in `row` (a long value's 12-byte header and
  // what follows it, for instance), or nullopt when the row holds no value for it. Throws
  // kCorrupt as Decode does.
  std::optional<std::span<const uint8_t>> VarField(const PageReader& row, const Column& column);

 private:
  enum class Storage : uint8_t { kBoolean, kFixed, kVariable };
  struct Plan {
    const Column* column;  // the column
    Storage storage;       // where its value lives
    uint32_t size;         // bytes of a fixed value
  };

  void ReadLayout(const PageReader& row);
  void ReadVarOffsetsJet3(const PageReader& row);
  bool HasValue(const PageReader& row, uint16_t number) const;
  Value DecodeValue(const PageReader& row, const Plan& plan);
  Value Convert(const PageReader& row, const Column& col, std::span<const uint8_t> bytes,
                size_t field_offset);

  const File& file_;
  const TextCodec& codec_;
  const FormatInfo& info_;
  bool has_var_table_;       // the table has variable-offset slots
  std::vector<Plan> plans_;  // one per requested column
  // Layout of the row being decoded.
  uint32_t col_count_ = 0;             // C stored in the row
  size_t mask_pos_ = 0;                // first byte of the null mask
  uint32_t var_count_ = 0;             // V stored in the row
  size_t data_end_ = 0;                // var data must end here (start of the trailer)
  std::vector<uint32_t> var_offsets_;  // V + 1 offsets (the last is EOD)
  std::vector<uint8_t> lv_buffer_;     // long-value bytes, reused
};

}  // namespace jet
