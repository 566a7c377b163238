#include "table/row_writer.h"

#include <algorithm>
#include <cassert>

#include "util/write_bytes.h"

namespace jet {
namespace {

bool IsBoolean(const Column& c) { return c.type == ColumnType::kBoolean; }

void SetMaskBit(std::vector<uint8_t>& mask, uint16_t number) {
  if (number / 8u < mask.size()) mask[number / 8u] |= static_cast<uint8_t>(1u << (number % 8u));
}

}  // namespace

uint32_t FixedAreaSize(const RowLayout& layout) {
  uint32_t size = 0;
  for (const Column& c : layout.columns) {
    if (c.fixed() && !IsBoolean(c)) size = std::max<uint32_t>(size, c.fixed_offset + c.length);
  }
  return size;
}

std::vector<uint8_t> EncodeJet4Row(const RowLayout& layout, const std::vector<RowCell>& cells) {
  assert(cells.size() == layout.columns.size());
  std::vector<uint8_t> row;
  wr::AppendU16(row, layout.max_cols);
  row.resize(2 + FixedAreaSize(layout), 0);
  std::vector<uint8_t> mask((layout.max_cols + 7u) / 8u, 0);
  // Variable values by slot, so they can be laid out in slot order.
  std::vector<const std::vector<uint8_t>*> var_values(layout.var_slots, nullptr);
  for (size_t i = 0; i < cells.size(); ++i) {
    const Column& c = layout.columns[i];
    const RowCell& cell = cells[i];
    if (IsBoolean(c)) {
      if (cell.boolean) SetMaskBit(mask, c.number);
      continue;
    }
    if (!cell.bytes) continue;
    SetMaskBit(mask, c.number);
    if (c.fixed()) {
      assert(cell.bytes->size() == c.length);
      std::copy(cell.bytes->begin(), cell.bytes->end(), row.begin() + 2 + c.fixed_offset);
    } else if (c.var_index < var_values.size()) {
      var_values[c.var_index] = &*cell.bytes;
    }
  }
  if (layout.var_slots > 0) {
    std::vector<uint16_t> offsets;
    offsets.reserve(layout.var_slots);
    for (const std::vector<uint8_t>* value : var_values) {
      offsets.push_back(static_cast<uint16_t>(row.size()));
      if (value) row.insert(row.end(), value->begin(), value->end());
    }
    wr::AppendU16(row, static_cast<uint16_t>(row.size()));  // EOD
    for (auto it = offsets.rbegin(); it != offsets.rend(); ++it) wr::AppendU16(row, *it);
    wr::AppendU16(row, layout.var_slots);
  }
  row.insert(row.end(), mask.begin(), mask.end());
  return row;
}

}  // namespace jet

#include "page/page_reader.h"

namespace jet {

std::optional<std::vector<uint8_t>> Jet4VarField(const PageReader& row, const Column& column) {
  const uint16_t count = row.U16(0);
  if (column.number >= count) return std::nullopt;
  const size_t mask_len = (count + 7u) / 8u;
  if (row.size() < 4 + mask_len) row.Fail("row shorter than its null mask");
  const size_t mask_pos = row.size() - mask_len;
  if ((row.U8(mask_pos + column.number / 8u) & (1u << (column.number % 8u))) == 0) {
    return std::nullopt;
  }
  const size_t count_pos = mask_pos - 2;
  const uint16_t var_count = row.U16(count_pos);
  if (column.var_index >= var_count) return std::nullopt;
  if (count_pos < 2 + 2 * (static_cast<size_t>(var_count) + 1)) {
    row.Fail("row too short for its offset table");
  }
  const size_t data_end = count_pos - 2 * (static_cast<size_t>(var_count) + 1);
  const uint16_t start = row.U16(count_pos - 2 - 2 * static_cast<size_t>(column.var_index));
  const uint16_t end = row.U16(count_pos - 4 - 2 * static_cast<size_t>(column.var_index));
  if (start > end || end > data_end) row.Fail("variable column offsets out of order");
  std::span<const uint8_t> b = row.Bytes(start, end - start);
  return std::vector<uint8_t>(b.begin(), b.end());
}

}  // namespace jet
