// Row decoding (layouts in row.h).

#include "table/row.h"

#include <cstring>
#include <string>

#include "table/long_value.h"

namespace jet {
namespace {

constexpr size_t kLongValueHeader = 12;
constexpr uint8_t kDecimalNegative = 0x80;

// Bytes of a fixed value of `col` in the fixed area: the type's size, else the column's length.
uint32_t FixedSize(const Column& col) {
  const uint16_t size = FixedTypeSize(col.type);
  return size != 0 && col.type != ColumnType::kBoolean ? size : col.length;
}

template <typename T>
T Load(std::span<const uint8_t> b) {
  T v;
  std::memcpy(&v, b.data(), sizeof v);
  return v;
}

Decimal LoadDecimal(std::span<const uint8_t> b, uint8_t scale) {
  Decimal d;
  d.negative = (b[0] & kDecimalNegative) != 0;
  d.scale = scale;
  for (int group = 0; group < 4; ++group) {
    d.magnitude = (d.magnitude << 32) | Load<uint32_t>(b.subspan(1 + 4 * group, 4));
  }
  return d;
}

}  // namespace

RowDecoder::RowDecoder(const File& file, const TextCodec& codec, const TableInfo& table,
                       std::span<const Column> columns)
    : file_(file), codec_(codec), info_(file.info()), has_var_table_(table.var_cols > 0) {
  plans_.reserve(columns.size());
  for (const Column& col : columns) {
    Storage storage = col.type == ColumnType::kBoolean ? Storage::kBoolean
                      : col.fixed()                    ? Storage::kFixed
                                                       : Storage::kVariable;
    plans_.push_back({&col, storage, FixedSize(col)});
  }
}

void RowDecoder::ReadVarOffsetsJet3(const PageReader& row) {
  const size_t count_pos = mask_pos_ - 1;
  size_t jumps = (row.size() - 1) / 256;
  if (count_pos < 1 + jumps + var_count_ + 1) row.Fail("row too short for its offset table");
  const size_t entry0 = count_pos - jumps - 1;
  const size_t eod_pos = entry0 - var_count_;
  if (eod_pos / 256 < jumps) --jumps;  // the last jump entry is a dummy
  var_offsets_.resize(var_count_ + 1);
  size_t passed = 0;
  for (uint32_t i = 0; i <= var_count_; ++i) {
    while (passed < jumps && i == row.U8(count_pos - 1 - passed)) ++passed;
    var_offsets_[i] = static_cast<uint32_t>(row.U8(entry0 - i) + 256 * passed);
  }
  data_end_ = eod_pos;
}

void RowDecoder::ReadLayout(const PageReader& row) {
  const size_t fs = info_.row_field_size;
  col_count_ = fs == 1 ? row.U8(0) : row.U16(0);
  const size_t mask_len = (col_count_ + 7) / 8;
  if (row.size() < fs + mask_len) row.Fail("row shorter than its null mask");
  mask_pos_ = row.size() - mask_len;
  var_count_ = 0;
  data_end_ = mask_pos_;
  if (!has_var_table_) return;
  if (mask_pos_ < 2 * fs) row.Fail("row too short for its variable-column count");
  if (info_.row_jump_table) {
    var_count_ = row.U8(mask_pos_ - 1);
    ReadVarOffsetsJet3(row);
    return;
  }
  const size_t count_pos = mask_pos_ - 2;
  var_count_ = row.U16(count_pos);
  if (count_pos < fs + 2 * (static_cast<size_t>(var_count_) + 1)) {
    row.Fail("row too short for its offset table");
  }
  var_offsets_.resize(var_count_ + 1);
  for (uint32_t k = 0; k <= var_count_; ++k) var_offsets_[k] = row.U16(count_pos - 2 - 2 * k);
  data_end_ = count_pos - 2 * (static_cast<size_t>(var_count_) + 1);
}

bool RowDecoder::HasValue(const PageReader& row, uint16_t number) const {
  if (number >= col_count_) return false;
  return (row.U8(mask_pos_ + number / 8) & (1u << (number % 8))) != 0;
}

Value RowDecoder::DecodeValue(const PageReader& row, const Plan& plan) {
  const Column& col = *plan.column;
  const bool present = HasValue(row, col.number);
  if (plan.storage == Storage::kBoolean) return Value(present);
  if (!present) return Value();
  const size_t fs = info_.row_field_size;
  if (plan.storage == Storage::kFixed) {
    const size_t start = fs + col.fixed_offset;
    if (start + plan.size > data_end_) {
      row.Fail("fixed column " + ToUtf8(col.name) + " lies outside the row");
    }
    return Convert(row, col, row.Bytes(start, plan.size), start);
  }
  if (col.var_index >= var_count_) return Value();
  const uint32_t start = var_offsets_[col.var_index];
  const uint32_t end = var_offsets_[col.var_index + 1];
  if (start < fs || start > end || end > data_end_) {
    row.Fail("variable column " + ToUtf8(col.name) + " has bad offsets " + std::to_string(start) +
             ".." + std::to_string(end));
  }
  return Convert(row, col, row.Bytes(start, end - start), start);
}

Value RowDecoder::Convert(const PageReader& row, const Column& col, std::span<const uint8_t> b,
                          size_t field_offset) {
  const uint32_t need = FixedSize(col);
  switch (col.type) {
    case ColumnType::kText: {
      std::u16string s;
      codec_.Decode(b, s);
      return Value(std::move(s));
    }
    case ColumnType::kMemo:
    case ColumnType::kOle: {
      if (b.empty()) return Value();
      if (b.size() < kLongValueHeader) row.Fail("long value header is cut short");
      ReadLongValue(file_, row.Sub(field_offset, b.size()), lv_buffer_);
      if (col.type == ColumnType::kOle) return Value(Bytes(lv_buffer_));
      std::u16string s;
      codec_.Decode(lv_buffer_, s);
      return Value(std::move(s));
    }
    case ColumnType::kByte:
    case ColumnType::kInt:
    case ColumnType::kLong:
    case ColumnType::kMoney:
    case ColumnType::kFloat:
    case ColumnType::kDouble:
    case ColumnType::kDateTime:
    case ColumnType::kGuid:
    case ColumnType::kNumeric:
      if (b.empty()) return Value();
      if (b.size() < need) row.Fail("value of column " + ToUtf8(col.name) + " is cut short");
      break;
    default:
      return Value(Bytes(b.begin(), b.end()));
  }
  switch (col.type) {
    case ColumnType::kByte:
      return Value(b[0]);
    case ColumnType::kInt:
      return Value(Load<int16_t>(b));
    case ColumnType::kLong:
      return Value(Load<int32_t>(b));
    case ColumnType::kMoney:
      return Value(Currency{Load<int64_t>(b)});
    case ColumnType::kFloat:
      return Value(Load<float>(b));
    case ColumnType::kDouble:
      return Value(Load<double>(b));
    case ColumnType::kDateTime:
      return Value(DateTime{Load<double>(b)});
    case ColumnType::kGuid: {
      Guid g;
      std::memcpy(g.bytes.data(), b.data(), g.bytes.size());
      return Value(g);
    }
    default:
      return Value(LoadDecimal(b, col.scale));
  }
}

std::optional<std::span<const uint8_t>> RowDecoder::VarField(const PageReader& row,
                                                             const Column& column) {
  ReadLayout(row);
  if (column.fixed() || !HasValue(row, column.number) || column.var_index >= var_count_) {
    return std::nullopt;
  }
  const uint32_t start = var_offsets_[column.var_index];
  const uint32_t end = var_offsets_[column.var_index + 1];
  if (start < info_.row_field_size || start > end || end > data_end_) {
    row.Fail("variable column " + ToUtf8(column.name) + " has bad offsets");
  }
  return row.Bytes(start, end - start);
}

void RowDecoder::Decode(const PageReader& row, std::vector<Value>& out) {
  ReadLayout(row);
  out.resize(plans_.size());
  for (size_t i = 0; i < plans_.size(); ++i) out[i] = DecodeValue(row, plans_[i]);
}

}  // namespace jet
