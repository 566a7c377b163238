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

namespace {

// Jet4 trailer: u16 EOD, u16 offsets V-1..0, u16 V.
void AppendJet4Trailer(std::vector<uint8_t>& row, const std::vector<uint32_t>& offsets) {
  wr::AppendU16(row, static_cast<uint16_t>(offsets.back()));  // EOD
  for (size_t k = offsets.size() - 1; k-- > 0;)
    wr::AppendU16(row, static_cast<uint16_t>(offsets[k]));
  wr::AppendU16(row, static_cast<uint16_t>(offsets.size() - 1));
}

// Jet3 trailer: low bytes of EOD and offsets V-1..0, J jump entries (J-1..0), u8 V. J depends on
// the whole row length (mask included), which depends on J: grow it until it holds. Jump entry j
// is the first offset-table index (V = EOD) whose offset reaches 256 * (j + 1), 0xFF if none.
void AppendJet3Trailer(std::vector<uint8_t>& row, const std::vector<uint32_t>& offsets,
                       size_t mask_len) {
  const size_t v = offsets.size() - 1;
  const size_t fixed_part = row.size() + (v + 1) + 1 + mask_len;
  size_t jumps = 0;
  while ((fixed_part + jumps - 1) / 256 > jumps) ++jumps;
  row.push_back(static_cast<uint8_t>(offsets.back() & 0xFF));
  for (size_t k = v; k-- > 0;) row.push_back(static_cast<uint8_t>(offsets[k] & 0xFF));
  for (size_t j = jumps; j-- > 0;) {
    uint8_t entry = 0xFF;
    for (size_t i = 0; i <= v; ++i) {
      if (offsets[i] >= 256 * (j + 1)) {
        entry = static_cast<uint8_t>(i);
        break;
      }
    }
    row.push_back(entry);
  }
  row.push_back(static_cast<uint8_t>(v));
}

}  // namespace

std::vector<uint8_t> EncodeRow(const FormatInfo& format, const RowLayout& layout,
                               const std::vector<RowCell>& cells) {
  assert(cells.size() == layout.columns.size());
  const size_t fs = format.row_field_size;
  std::vector<uint8_t> row;
  if (fs == 1) {
    row.push_back(static_cast<uint8_t>(layout.max_cols));
  } else {
    wr::AppendU16(row, layout.max_cols);
  }
  row.resize(fs + FixedAreaSize(layout), 0);
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
      std::copy(cell.bytes->begin(), cell.bytes->end(), row.begin() + fs + c.fixed_offset);
    } else if (c.var_index < var_values.size()) {
      var_values[c.var_index] = &*cell.bytes;
    }
  }
  if (layout.var_slots > 0) {
    std::vector<uint32_t> offsets;  // V + 1 entries, the last is EOD
    offsets.reserve(layout.var_slots + 1u);
    for (const std::vector<uint8_t>* value : var_values) {
      offsets.push_back(static_cast<uint32_t>(row.size()));
      if (value) row.insert(row.end(), value->begin(), value->end());
    }
    offsets.push_back(static_cast<uint32_t>(row.size()));
    if (format.row_jump_table) {
      AppendJet3Trailer(row, offsets, mask.size());
    } else {
      AppendJet4Trailer(row, offsets);
    }
  }
  row.insert(row.end(), mask.begin(), mask.end());
  return row;
}

std::vector<uint8_t> WithEmptyVarTable(const FormatInfo& format, std::span<const uint8_t> row) {
  const size_t fs = format.row_field_size;
  const size_t count = fs == 1 ? row[0] : static_cast<size_t>(row[0] | row[1] << 8);
  const size_t mask_len = (count + 7) / 8;
  assert(row.size() >= fs + mask_len);
  const auto mask_at = static_cast<std::ptrdiff_t>(row.size() - mask_len);
  std::vector<uint8_t> out(row.begin(), row.begin() + mask_at);
  const std::vector<uint32_t> offsets{static_cast<uint32_t>(out.size())};  // just the EOD
  if (format.row_jump_table) {
    AppendJet3Trailer(out, offsets, mask_len);
  } else {
    AppendJet4Trailer(out, offsets);
  }
  out.insert(out.end(), row.begin() + mask_at, row.end());
  return out;
}

}  // namespace jet
