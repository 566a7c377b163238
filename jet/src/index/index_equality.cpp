// Value equality of index keys (see index_equality.h).
//
// Equality form, per key column in index order:
//   NULL         00
//   text         01, u32 count of code units, the TextEqualityForm in UTF-16 code units
//   other types  02, u32 byte count, the ascending key field (exact for every non-text type)
// The counts make the form unambiguous, so equal forms mean equal values column by column.

#include "index/index_equality.h"

#include "table/row.h"
#include "table/table_scan.h"
#include "util/write_bytes.h"

namespace jet {
namespace {

bool IsText(const Column& c) {
  return c.type == ColumnType::kText || c.type == ColumnType::kMemo;
}

}  // namespace

std::vector<size_t> KeyPositions(const TableInfo& table, size_t real) {
  std::vector<size_t> positions;
  const std::vector<Column>& cols = table.def.columns;
  for (const IndexColumn& ic : table.real_indexes[real].columns) {
    for (size_t i = 0; i < cols.size(); ++i) {
      if (cols[i].number == ic.column_number) positions.push_back(i);
    }
  }
  return positions;
}

bool HasTextKey(const TableInfo& table, size_t real) {
  for (size_t i : KeyPositions(table, real)) {
    if (IsText(table.def.columns[i])) return true;
  }
  return false;
}

bool KeyBytesTrusted(const TableInfo& table, size_t real, const std::vector<Value>& values,
                     const IndexKey& key, Format format) {
  if (!key.exact) return false;
  for (size_t i : KeyPositions(table, real)) {
    if (!IsText(table.def.columns[i]) || !values[i].is<std::u16string>()) continue;
    if (!TextCaseVariantsEstablished(values[i].as<std::u16string>(), format)) return false;
  }
  return true;
}

Bytes EqualityForm(const TableInfo& table, size_t real, const std::vector<Value>& values) {
  Bytes form;
  for (size_t i : KeyPositions(table, real)) {
    const Column& c = table.def.columns[i];
    const Value& v = values[i];
    if (v.is_null() && c.type != ColumnType::kBoolean) {
      form.push_back(0x00);
    } else if (IsText(c) && v.is<std::u16string>()) {
      const std::u16string text = TextEqualityForm(v.as<std::u16string>());
      form.push_back(0x01);
      wr::AppendU32(form, static_cast<uint32_t>(text.size()));
      for (char16_t u : text) wr::AppendU16(form, u);
    } else {
      Bytes field;
      AppendKeyField(Format::kJet4, KeyColumn::From(c, true), v, &field);
      form.push_back(0x02);
      wr::AppendU32(form, static_cast<uint32_t>(field.size()));
      form.insert(form.end(), field.begin(), field.end());
    }
  }
  return form;
}

KeyValueReader::KeyValueReader(const File& file, const TextCodec& codec, const TableInfo& table,
                               size_t real)
    : file_(file), codec_(codec), table_(table), real_(real),
      positions_(KeyPositions(table, real)) {
  for (size_t i : positions_) columns_.push_back(table.def.columns[i]);
}

void KeyValueReader::Spread(std::vector<Value>& full) const {
  full.assign(table_.def.columns.size(), Value());
  for (size_t k = 0; k < positions_.size(); ++k) full[positions_[k]] = decoded_[k];
}

std::optional<std::vector<Value>> KeyValueReader::Read(RowId id) {
  Page holder;
  PageReader row({}, {}, 0);
  if (!FindRow(file_, table_, id, holder, row)) return std::nullopt;
  RowDecoder decoder(file_, codec_, table_, columns_);
  decoder.Decode(row, decoded_);
  std::vector<Value> full;
  Spread(full);
  return full;
}

std::optional<RowId> KeyValueReader::FindEqual(const Bytes& form, std::optional<RowId> self) {
  RowDecoder decoder(file_, codec_, table_, columns_);
  std::optional<RowId> found;
  std::vector<Value> full;
  ScanRows(file_, table_, [&](RowId id, const PageReader& row) {
    if (self && id == *self) return true;
    decoder.Decode(row, decoded_);
    Spread(full);
    if (EqualityForm(table_, real_, full) == form) found = id;
    return !found;
  });
  return found;
}

}  // namespace jet
