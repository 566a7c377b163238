#include "write/table_writer.h"

#include <random>

#include "page/data_page.h"
#include "page/data_page_writer.h"
#include "index/index_writer.h"
#include "table/long_value_writer.h"
#include "page/page_txn.h"
#include "table/row.h"
#include "table/row_writer.h"
#include "table/table_scan.h"
#include "table/tdef_writer.h"
#include "page/usage_map_writer.h"
#include "value/value_convert.h"
#include "util/write_bytes.h"
#include "page/format.h"

namespace jet {
namespace {

// A page with less room than this leaves the table's free-space map.
constexpr uint32_t kRoomWorthKeeping = 32;
// How many free-space pages an insert tries before it takes a new page.
constexpr size_t kPagesTried = 4;

// Whether a stored long-value field holds its data in the row (flag 0x80 in its length word).
bool IsInlineLongValue(const std::vector<uint8_t>& field) {
  return field.size() >= 4 && (field[3] & 0x80) != 0;
}

std::vector<uint8_t> LongValueBytes(const Value& v, const Column& c, const TextCodec& codec) {
  if (v.is<Bytes>()) return v.as<Bytes>();
  return EncodeValueBytes(v, c, &codec);  // memo text
}

}  // namespace

TableWriter::TableWriter(const File& file, const TextCodec& codec, PageTxn& txn,
                         const TableInfo& table)
    : file_(file), codec_(codec), txn_(txn), table_(table) {}

const LongValueMaps* TableWriter::MapsOf(const Column& column) const {
  for (const LongValueMaps& m : table_.long_value_maps) {
    if (m.column_number == column.number) return &m;
  }
  return nullptr;
}

std::vector<Value> TableWriter::Convert(const std::vector<Value>& values, const OldRow* old) {
  const std::vector<Column>& cols = table_.def.columns;
  if (values.size() != cols.size()) {
    throw Error(Error::Kind::kInvalidArgument,
                "Table '" + ToUtf8(table_.def.name) + "' has " + std::to_string(cols.size()) +
                    " columns but " + std::to_string(values.size()) + " values were given");
  }
  std::vector<Value> native(cols.size());
  TdefFields tdef(txn_, table_);
  uint32_t last = tdef.last_autonumber();
  for (size_t i = 0; i < cols.size(); ++i) {
    const Column& c = cols[i];
    if (old && values[i] == old->values[i]) {
      native[i] = values[i];  // unchanged: stays as stored, whatever older writers stored
      continue;
    }
    if (old && c.autonumber() && !values[i].is_null() &&
        !(ConvertValue(values[i], c, table_.def.name) == old->values[i])) {
      throw Error(Error::Kind::kConstraint, "Cannot update '" + ToUtf8(c.name) +
                                                "'; field not updateable (an AutoNumber of "
                                                "table '" +
                                                ToUtf8(table_.def.name) + "').");
    }
    if (c.autonumber() && c.type == ColumnType::kLong && values[i].is_null()) {
      native[i] = old ? old->values[i] : Value(static_cast<int32_t>(++last));
      continue;
    }
    if (c.auto_guid() && c.type == ColumnType::kGuid && values[i].is_null()) {
      if (old) {
        native[i] = old->values[i];
        continue;
      }
      std::random_device rd;
      Guid g;
      for (auto& b : g.bytes) b = static_cast<uint8_t>(rd());
      native[i] = g;
      continue;
    }
    if (old && old->texts[i] && values[i] == old->values[i]) {
      // Unchanged text keeps its stored bytes, even bytes the code page leaves undefined (they
      // read as U+FFFD and could not be encoded again).
      native[i] = old->values[i];
      continue;
    }
    native[i] = ConvertValue(values[i], c, table_.def.name, &codec_);
    if (c.required && native[i].is_null()) {
      throw Error(Error::Kind::kConstraint,
                  "The field '" + ToUtf8(table_.def.name) + "." + ToUtf8(c.name) +
                      "' cannot contain a Null value because its Required property is set");
    }
  }
  return native;
}

void TableWriter::RaiseAutonumber(const std::vector<Value>& native) {
  TdefFields tdef(txn_, table_);
  const uint32_t before = tdef.last_autonumber();
  uint32_t last = before;
  for (size_t i = 0; i < native.size(); ++i) {
    const Column& c = table_.def.columns[i];
    if (c.autonumber() && c.type == ColumnType::kLong && native[i].is<int32_t>()) {
      const int32_t v = native[i].as<int32_t>();
      if (v > 0 && static_cast<uint32_t>(v) > last) last = static_cast<uint32_t>(v);
    }
  }
  if (last != before) tdef.set_last_autonumber(last);
}

std::vector<uint8_t> TableWriter::Encode(const std::vector<Value>& native, const OldRow* old,
                                         bool allow_inline) {
  const std::vector<Column>& cols = table_.def.columns;
  RowLayout layout{table_.max_cols, table_.var_cols, cols};
  std::vector<RowCell> cells(cols.size());
  for (size_t i = 0; i < cols.size(); ++i) {
    const Column& c = cols[i];
    if (c.type == ColumnType::kBoolean) {
      cells[i].boolean = native[i].is<bool>() && native[i].as<bool>();
    } else if (native[i].is_null()) {
      continue;
    } else if (IsLongValue(c.type) && old && old->fields[i] && old->values[i] == native[i] &&
               (allow_inline || !IsInlineLongValue(*old->fields[i]))) {
      cells[i].bytes = old->fields[i];  // unchanged: keep the stored value
    } else if (IsLongValue(c.type)) {
      std::vector<uint8_t> data = LongValueBytes(native[i], c, codec_);
      cells[i].bytes = allow_inline && data.size() <= kMaxInlineLongValue
                           ? InlineLongValueField(data)
                           : WriteLongValue(txn_, MapsOf(c), data);
    } else if (old && old->texts[i] && old->values[i] == native[i]) {
      cells[i].bytes = old->texts[i];
    } else {
      cells[i].bytes = EncodeValueBytes(native[i], c, &codec_);
    }
  }
  return EncodeRow(txn_.info(), layout, cells);
}

std::vector<uint8_t> TableWriter::EncodeChecked(const std::vector<Value>& native,
                                                const OldRow* old) {
  const uint32_t limit = txn_.info().max_row_size;
  std::vector<uint8_t> row = Encode(native, old, true);
  if (row.size() > limit) row = Encode(native, old, false);  // move inline long values out
  if (row.size() > limit) {
    throw Error(Error::Kind::kConstraint,
                "Row of " + std::to_string(row.size()) + " bytes is too large for table '" +
                    ToUtf8(table_.def.name) + "' (at most " + std::to_string(limit) + ")");
  }
  return row;
}

uint32_t TableWriter::PageForRow(size_t length) {
  const FormatInfo& f = txn_.info();
  if (table_.free_map != 0) {
    UsageMapEditor free_map(txn_, table_.free_map, UsageMapEditor::Kind::kOwned);
    // Rows arriving one after another fill the same page: try it before walking the map, whose
    // bitmap pages are mostly zeros to skip.
    if (const uint32_t hint = table_.insert_hint.get(); hint != 0 && free_map.Has(hint)) {
      const std::optional<WritableDataPage> p = OwnedDataPage(txn_, hint, table_.def.tdef_page);
      if (p && p->CanInsert(length)) return hint;
    }
    for (const uint32_t n : free_map.LastPages(kPagesTried)) {
      const std::optional<WritableDataPage> p = OwnedDataPage(txn_, n, table_.def.tdef_page);
      if (!p) continue;
      if (p->CanInsert(length)) return n;
      if (p->ComputedFreeSpace() < kRoomWorthKeeping ||
          p->slot_count() >= WritableDataPage::kMaxSlots) {
        free_map.Set(n, false);
      }
    }
  }
  const uint32_t n = txn_.Allocate();
  WritableDataPage::Init(txn_.Edit(n), f.data_header_size, table_.def.tdef_page);
  UsageMapEditor(txn_, table_.owned_map, UsageMapEditor::Kind::kOwned).Set(n, true);
  if (table_.free_map != 0) {
    UsageMapEditor(txn_, table_.free_map, UsageMapEditor::Kind::kOwned).Set(n, true);
  }
  return n;
}

RowId TableWriter::Place(std::span<const uint8_t> row, uint16_t flags) {
  const uint32_t n = PageForRow(row.size());
  WritableDataPage page(txn_.Edit(n), txn_.info().data_header_size, txn_.file().path(), n);
  const int slot = page.Insert(row, flags);
  table_.insert_hint.set(n);
  if (table_.free_map != 0 && (page.ComputedFreeSpace() < kRoomWorthKeeping ||
                               page.slot_count() >= WritableDataPage::kMaxSlots)) {
    UsageMapEditor(txn_, table_.free_map, UsageMapEditor::Kind::kOwned).Set(n, false);
  }
  return RowId{n, static_cast<uint8_t>(slot)};
}

void TableWriter::AfterShrink(uint32_t n) {
  if (table_.free_map == 0) return;
  const WritableDataPage p = WritableDataPage::View(txn_.Read(n), txn_.info().data_header_size,
                                                    txn_.file().path(), n);
  if (p.ComputedFreeSpace() >= kRoomWorthKeeping && p.slot_count() < WritableDataPage::kMaxSlots) {
    UsageMapEditor(txn_, table_.free_map, UsageMapEditor::Kind::kOwned).Set(n, true);
  }
}

RowId TableWriter::Insert(const std::vector<Value>& values) {
  std::vector<Value> native = Convert(values, nullptr);
  if (row_check_) row_check_(native, nullptr);
  IndexWriter indexes(file_, codec_, txn_, table_);
  indexes.Check(native, std::nullopt);
  std::vector<uint8_t> row = EncodeChecked(native, nullptr);
  const RowId id = Place(row, 0);
  indexes.Add(native, id);
  TdefFields tdef(txn_, table_);
  tdef.set_row_count(tdef.row_count() + 1);
  RaiseAutonumber(native);
  return id;
}

TableWriter::OldRow TableWriter::ReadOld(RowId id) {
  Page holder;
  PageReader row({}, {}, 0);
  if (!FindRow(file_, table_, id, holder, row)) {
    throw Error(Error::Kind::kNotFound, file_.path() + ": table '" +
                                            ToUtf8(table_.def.name) + "' has no row " +
                                            std::to_string(id.row) + " on page " +
                                            std::to_string(id.page));
  }
  OldRow old;
  RowDecoder decoder(file_, codec_, table_, table_.def.columns);
  decoder.Decode(row, old.values);
  old.fields.resize(table_.def.columns.size());
  old.texts.resize(table_.def.columns.size());
  for (size_t i = 0; i < table_.def.columns.size(); ++i) {
    const Column& c = table_.def.columns[i];
    const bool text = c.type == ColumnType::kText;
    if ((!IsLongValue(c.type) && !text) || c.fixed()) continue;
    if (std::optional<std::span<const uint8_t>> f = decoder.VarField(row, c)) {
      (text ? old.texts : old.fields)[i] = std::vector<uint8_t>(f->begin(), f->end());
    }
  }
  return old;
}

void TableWriter::FreeLongValues(const OldRow& old, const std::vector<Value>* kept) {
  for (size_t i = 0; i < old.fields.size(); ++i) {
    if (!old.fields[i]) continue;
    if (kept && (*kept)[i] == old.values[i]) continue;  // still referenced by the new row
    FreeLongValue(txn_, MapsOf(table_.def.columns[i]), *old.fields[i]);
  }
}

// Writes `row` for the row whose header slot is `id`, in place when its page has room, else as
// an overflow target on another page.
void TableWriter::Relocate(RowId id, std::span<const uint8_t> row) {
  const uint32_t h = txn_.info().data_header_size;
  const std::string& path = txn_.file().path();
  WritableDataPage header(txn_.Edit(id.page), h, path, id.page);
  RowId target = id;
  const bool overflowed = (header.flags(id.row) & WritableDataPage::kOverflow) != 0;
  if (overflowed) {
    const uint32_t ptr = wr::LoadU32(header.Row(id.row), 0);
    const RowPointer moved = RowPointer::FromU32(ptr);
    target = RowId{moved.page, moved.row};
  }
  {
    WritableDataPage tp(txn_.Edit(target.page), h, path, target.page);
    if (tp.CanReplace(target.row, row.size())) {
      tp.Replace(target.row, row);
      AfterShrink(target.page);
      return;
    }
    if (overflowed) {
      tp.Delete(target.row);
      AfterShrink(target.page);
    }
  }
  const RowId moved = Place(row, WritableDataPage::kDeleted);
  std::vector<uint8_t> pointer;
  wr::AppendU32(pointer, PackRowPointer(moved.page, moved.row));
  WritableDataPage again(txn_.Edit(id.page), h, path, id.page);
  if (!again.CanReplace(id.row, pointer.size())) {
    throw Error(Error::Kind::kConstraint, path + ": no room on page " + std::to_string(id.page) +
                                              " for the row's forwarding pointer");
  }
  again.Replace(id.row, pointer);
  again.SetFlags(id.row, WritableDataPage::kOverflow);
  AfterShrink(id.page);
}

void TableWriter::Update(RowId id, const std::vector<Value>& values) {
  OldRow old = ReadOld(id);
  std::vector<Value> native = Convert(values, &old);
  if (row_check_) row_check_(native, &old.values);
  IndexWriter indexes(file_, codec_, txn_, table_);
  indexes.Check(native, id);
  std::vector<uint8_t> row = EncodeChecked(native, &old);
  FreeLongValues(old, &native);
  Relocate(id, row);
  indexes.Replace(old.values, native, id);
  RaiseAutonumber(native);
}

void TableWriter::Reencode(RowId id) {
  const OldRow old = ReadOld(id);
  Relocate(id, EncodeChecked(old.values, &old));
}

void TableWriter::Delete(RowId id) {
  OldRow old = ReadOld(id);
  const uint32_t h = txn_.info().data_header_size;
  WritableDataPage header(txn_.Edit(id.page), h, txn_.file().path(), id.page);
  if (header.flags(id.row) & WritableDataPage::kOverflow) {
    const RowPointer ptr = RowPointer::FromU32(wr::LoadU32(header.Row(id.row), 0));
    const uint32_t tpage = ptr.page;
    WritableDataPage target(txn_.Edit(tpage), h, txn_.file().path(), tpage);
    target.Delete(ptr.row);
    AfterShrink(tpage);
  }
  WritableDataPage(txn_.Edit(id.page), h, txn_.file().path(), id.page).Delete(id.row);
  AfterShrink(id.page);
  FreeLongValues(old, nullptr);
  IndexWriter(file_, codec_, txn_, table_).Remove(old.values, id);
  TdefFields tdef(txn_, table_);
  tdef.set_row_count(tdef.row_count() > 0 ? tdef.row_count() - 1 : 0);
}

}  // namespace jet
