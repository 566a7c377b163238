#include "schema/table_layout.h"

#include <algorithm>

#include "index/btree.h"
#include "page/data_page_writer.h"
#include "page/format.h"
#include "index/index_writer.h"
#include "jet/error.h"
#include "page/page_txn.h"
#include "table/table_def.h"
#include "table/tdef_writer.h"
#include "value/text.h"
#include "util/write_bytes.h"

namespace jet {
namespace {

constexpr size_t kMaxNameChars = 64;
constexpr size_t kMaxColumns = 255;
constexpr size_t kMaxIndexes = 32;
constexpr size_t kMaxIndexColumns = 10;
constexpr int kMaxTextChars = 255;
constexpr int kMaxBinaryBytes = 255;
constexpr uint8_t kMaxPrecision = 28;
constexpr size_t kMapRowLength = 69;  // inline map: type, start page, 64 bytes of bitmap
constexpr uint8_t kFixed = 0x01;
constexpr uint8_t kUpdatable = 0x02;
constexpr uint8_t kAutonumber = 0x04;

[[noreturn]] void Invalid(const std::string& text) {
  throw Error(Error::Kind::kInvalidArgument, text);
}

// Access refuses names that are empty, too long, start with a space or hold . ! ` [ ] or
// control characters.
void CheckName(std::u16string_view name, const std::string& what) {
  if (name.empty() || name.size() > kMaxNameChars) {
    Invalid(what + " '" + ToUtf8(name) + "' must have 1 to 64 characters");
  }
  if (name.front() == u' ') Invalid(what + " '" + ToUtf8(name) + "' starts with a space");
  for (char16_t c : name) {
    if (c < 0x20 || c == u'.' || c == u'!' || c == u'`' || c == u'[' || c == u']') {
      Invalid(what + " '" + ToUtf8(name) + "' contains a character names cannot hold");
    }
  }
}

}  // namespace

ColumnLayout LayoutColumn(const ColumnSpec& c, uint16_t number, const std::string& table,
                          Format format) {
  CheckName(c.name, "Column name");
  ColumnLayout col;
  col.name = c.name;
  col.type = static_cast<uint8_t>(c.type);
  col.number = number;
  const std::string where = "column '" + ToUtf8(c.name) + "' of table '" + table + "'";
  if (c.autonumber && c.type != ColumnType::kLong) Invalid("Only a Long " + where + " can count");
  switch (c.type) {
    case ColumnType::kText: {
      const int chars = c.length == 0 ? kMaxTextChars : c.length;
      if (chars < 1 || chars > kMaxTextChars) {
        Invalid("Text " + where + " must hold 1 to 255 characters");
      }
      col.length = static_cast<uint16_t>(format == Format::kJet3 ? chars : chars * 2);
      col.flags = kUpdatable;
      col.extra_flags = 0x01;
      return col;
    }
    case ColumnType::kBinary: {
      const int bytes = c.length == 0 ? kMaxBinaryBytes : c.length;
      if (bytes < 1 || bytes > kMaxBinaryBytes) {
        Invalid("Binary " + where + " must hold 1 to 255 bytes");
      }
      col.length = static_cast<uint16_t>(bytes);
      col.flags = kUpdatable;
      return col;
    }
    case ColumnType::kMemo:
      col.extra_flags = 0x01;
      [[fallthrough]];
    case ColumnType::kOle:
      col.flags = kUpdatable;
      return col;
    case ColumnType::kNumeric:
      if (c.precision < 1 || c.precision > kMaxPrecision || c.scale > c.precision) {
        Invalid("Decimal " + where + " needs a precision of 1 to 28 and a scale up to it");
      }
      col.precision = c.precision;
      col.scale = c.scale;
      break;
    default:
      break;
  }
  col.length = FixedTypeSize(c.type);
  if (col.length == 0) {
    throw Error(Error::Kind::kNotSupported, "The type of " + where + " cannot be created");
  }
  col.flags = kFixed | kUpdatable | (c.autonumber ? kAutonumber : 0);
  return col;
}

namespace {

std::vector<IndexColumn> IndexColumns(const TableLayout& t, const IndexSpec& spec,
                                      const std::string& what) {
  if (spec.columns.empty() || spec.columns.size() > kMaxIndexColumns) {
    Invalid(what + " needs 1 to 10 columns");
  }
  std::vector<IndexColumn> out;
  for (const auto& column : spec.columns) {
    const std::u16string& name = column.first;  // a plain reference: lambdas below capture it
    auto it = std::find_if(t.columns.begin(), t.columns.end(),
                           [&](const ColumnLayout& c) { return EqualsIgnoreCase(c.name, name); });
    if (it == t.columns.end()) {
      Invalid(what + " names column '" + ToUtf8(name) + "', which the table does not define");
    }
    if (IsLongValue(static_cast<ColumnType>(it->type))) {
      Invalid(what + " cannot use Memo/OLE column '" + ToUtf8(name) + "'");
    }
    for (const IndexColumn& ic : out) {
      if (ic.column_number == it->number) {
        Invalid(what + " names column '" + ToUtf8(name) + "' twice");
      }
    }
    out.push_back(IndexColumn{it->number, column.second});
  }
  return out;
}

void AddIndexes(TableLayout& t, const TableSpec& spec) {
  const std::string table = ToUtf8(spec.name);
  if (!spec.primary_key.empty()) {
    IndexSpec pk;
    pk.name = u"PrimaryKey";
    for (const std::u16string& c : spec.primary_key) pk.columns.emplace_back(c, true);
    t.indexes.push_back(
        {pk.name, IndexColumns(t, pk, "The primary key of table '" + table + "'"), 0x89, true});
  }
  for (const IndexSpec& s : spec.indexes) {
    const std::string what = "Index '" + ToUtf8(s.name) + "' of table '" + table + "'";
    CheckName(s.name, "Index name");
    if (s.primary && !spec.primary_key.empty()) {
      Invalid("Table '" + table + "' is given more than one primary key");
    }
    for (const IndexLayout& other : t.indexes) {
      if (EqualsIgnoreCase(other.name, s.name)) Invalid(what + " is defined twice");
      if (s.primary && other.primary) {
        Invalid("Table '" + table + "' is given more than one primary key");
      }
    }
    uint8_t flags = kIndexAlwaysSet;
    if (s.primary || s.unique) flags |= kIndexUnique;
    if (s.ignore_nulls) flags |= kIndexIgnoreNulls;
    if (s.primary || s.required) flags |= kIndexRequired;
    t.indexes.push_back({s.name, IndexColumns(t, s, what), flags, s.primary});
  }
  if (t.indexes.size() > kMaxIndexes) {
    Invalid("Table '" + table + "' would have more than 32 indexes");
  }
}

void CheckRowSize(const TableLayout& t, const std::string& table) {
  size_t fixed = 0, var = 0;
  for (const ColumnLayout& c : t.columns) {
    if (c.flags & kFixed) {
      fixed += c.type == static_cast<uint8_t>(ColumnType::kBoolean) ? 0 : c.length;
    } else {
      ++var;
    }
  }
  CheckRowFits(t.format, fixed, var, t.columns.size(), table);
}

}  // namespace

void CheckRowFits(Format format, size_t fixed_bytes, size_t var_slots, size_t max_cols,
                  const std::string& table) {
  const FormatInfo& f = FormatFor(format);
  const size_t overhead = f.row_field_size * (var_slots + 3) + (max_cols + 7) / 8;
  if (fixed_bytes + overhead > f.max_row_size) {
    Invalid("The fixed-size columns of table '" + table + "' do not fit in a row");
  }
}

// Jet3 names are stored in the code page: a name it cannot hold is refused.
void CheckStorable(const TextCodec* codec, std::u16string_view name, const std::string& what) {
  std::vector<uint8_t> bytes;
  if (codec && codec->EncodeCodePage(name, bytes)) {
    Invalid(what + " '" + ToUtf8(name) + "' holds a character that the database's code page " +
            std::to_string(codec->code_page()) + " does not have");
  }
}

TableLayout LayoutFromSpec(const TableSpec& spec, uint16_t sort_order, uint8_t sort_version,
                           const TextCodec* jet3_codec) {
  CheckName(spec.name, "Table name");
  CheckStorable(jet3_codec, spec.name, "Table name");
  const std::string table = ToUtf8(spec.name);
  if (spec.columns.empty()) Invalid("Table '" + table + "' needs at least one column");
  if (spec.columns.size() > kMaxColumns) Invalid("Table '" + table + "' has more than 255 columns");
  TableLayout t;
  t.name = spec.name;
  if (jet3_codec) {
    t.format = Format::kJet3;
    t.codec = jet3_codec;
  }
  t.sort_order = sort_order;
  t.sort_version = sort_version;
  for (size_t i = 0; i < spec.columns.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (EqualsIgnoreCase(spec.columns[i].name, spec.columns[j].name)) {
        Invalid("Field '" + ToUtf8(spec.columns[i].name) +
                "' is defined more than once in table '" + table + "'");
      }
    }
    t.columns.push_back(LayoutColumn(spec.columns[i], static_cast<uint16_t>(i), table, t.format));
    CheckStorable(jet3_codec, spec.columns[i].name, "Column name");
  }
  for (const IndexSpec& s : spec.indexes) CheckStorable(jet3_codec, s.name, "Index name");
  CheckRowSize(t, table);
  AddIndexes(t, spec);
  return t;
}

namespace {

// Jet4: u16 byte length + UCS-2; Jet3: u8 byte length + code-page bytes (checked storable by
// LayoutFromSpec).
void AppendName(std::vector<uint8_t>& out, std::u16string_view name, const TableLayout& t) {
  if (t.format == Format::kJet3 && t.codec) {
    std::vector<uint8_t> bytes;
    if (t.codec->EncodeCodePage(name, bytes) || bytes.size() > 255) {
      Invalid("Name '" + ToUtf8(name) + "' cannot be stored in this database");
    }
    out.push_back(static_cast<uint8_t>(bytes.size()));
    out.insert(out.end(), bytes.begin(), bytes.end());
    return;
  }
  wr::AppendU16(out, static_cast<uint16_t>(name.size() * 2));
  for (char16_t c : name) wr::AppendU16(out, c);
}

}  // namespace

std::vector<uint8_t> ColumnDescriptor(const TableLayout& t, const ColumnLayout& c,
                                      uint16_t var_index, uint16_t fixed_offset) {
  const FormatInfo& f = FormatFor(t.format);
  const bool jet4 = t.format == Format::kJet4;
  std::vector<uint8_t> d(f.col_desc_size, 0);
  d[f.col_type] = c.type;
  if (jet4) wr::StoreU32(d, 0x01, 0x0659);
  wr::StoreU16(d, f.col_number, c.number);
  wr::StoreU16(d, f.col_var_index, var_index);
  if (jet4) {
    wr::StoreU16(d, 0x09, t.number_in_descriptor ? c.number : 0);
  } else {
    wr::StoreU16(d, 0x07, 0x0001);
  }
  if (c.type == static_cast<uint8_t>(ColumnType::kNumeric)) {
    d[f.col_precision] = c.precision;
    d[f.col_scale] = c.scale;
  } else {
    wr::StoreU16(d, f.col_sort_order, t.sort_order);
    if (f.col_sort_version != 0) d[f.col_sort_version] = t.sort_version;
    if (f.col_code_page != 0 && t.codec) wr::StoreU16(d, f.col_code_page, t.codec->code_page());
  }
  d[f.col_flags] = c.flags;
  if (f.col_extra_flags != 0) d[f.col_extra_flags] = c.extra_flags;
  if (c.flags & kFixed) wr::StoreU16(d, f.col_fixed_offset, fixed_offset);
  wr::StoreU16(d, f.col_length, c.length);
  return d;
}

namespace {

// Descriptors of every column, with variable slots and fixed offsets assigned: variable columns
// take the slots in order, fixed ones the fixed area in order (Yes/No columns stay at offset 0);
// a fixed column's var-index field holds the number of variable columns before it.
std::vector<std::vector<uint8_t>> Descriptors(const TableLayout& t, uint16_t* var_count) {
  std::vector<std::vector<uint8_t>> out;
  uint16_t var = 0, offset = 0;
  for (const ColumnLayout& c : t.columns) {
    const bool fixed = (c.flags & kFixed) != 0;
    const bool in_area = fixed && c.type != static_cast<uint8_t>(ColumnType::kBoolean);
    out.push_back(ColumnDescriptor(t, c, var, in_area ? offset : 0));
    if (in_area) offset = static_cast<uint16_t>(offset + c.length);
    if (!fixed) ++var;
  }
  *var_count = var;
  return out;
}

}  // namespace

namespace {

void AppendIndexDefinitions(std::vector<uint8_t>& def, const TableLayout& t,
                            const TablePlacement& p) {
  const FormatInfo& f = FormatFor(t.format);
  const bool jet4 = t.format == Format::kJet4;
  for (size_t k = 0; k < t.indexes.size(); ++k) {
    std::vector<uint8_t> real(f.ridx_size, 0);
    if (jet4) wr::StoreU32(real, 0, 0x0783);
    const std::vector<IndexColumn>& cols = t.indexes[k].columns;
    for (size_t s = 0; s < 10; ++s) {
      wr::StoreU16(real, f.ridx_columns + 3 * s, s < cols.size() ? cols[s].column_number : 0xFFFF);
      real[f.ridx_columns + 2 + 3 * s] = s < cols.size() && cols[s].ascending ? 0x01 : 0x00;
    }
    wr::StoreU32(real, f.ridx_usage_map, p.index_maps[k]);
    wr::StoreU32(real, f.ridx_root_page, p.index_roots[k]);
    // Jet4 sets kIndexAlwaysSet on every index; Jet3 has no such bit.
    const uint8_t flags = t.indexes[k].real_flags;
    real[f.ridx_flags] = jet4 ? flags : static_cast<uint8_t>(flags & ~kIndexAlwaysSet);
    def.insert(def.end(), real.begin(), real.end());
  }
  // One logical index per real index, same number, in creation order; Access stores the logical
  // definitions and their names sorted by name. No foreign-key data; Access writes 04 04 in the
  // two cascade bytes of indexes that are not foreign keys.
  std::vector<size_t> order(t.indexes.size());
  for (size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return CompareIgnoreCase(t.indexes[a].name, t.indexes[b].name) < 0;
  });
  for (size_t k : order) {
    std::vector<uint8_t> logical(f.lidx_size, 0);
    if (jet4) wr::StoreU32(logical, 0, 0x0659);
    wr::StoreU32(logical, f.lidx_number, static_cast<uint32_t>(k));
    wr::StoreU32(logical, f.lidx_real_index, static_cast<uint32_t>(k));
    wr::StoreU32(logical, f.lidx_fk_index, 0xFFFFFFFFu);
    logical[f.lidx_cascade_update] = 0x04;
    logical[f.lidx_cascade_delete] = 0x04;
    logical[f.lidx_index_type] = t.indexes[k].primary ? 0x01 : 0x00;
    def.insert(def.end(), logical.begin(), logical.end());
  }
  for (size_t k : order) AppendName(def, t.indexes[k].name, t);
}

// Column usage-map pointers of the MEMO/OLE columns, in descriptor order.
void AppendLongValueTrailer(std::vector<uint8_t>& def, const TableLayout& t,
                            const TablePlacement& p, const std::vector<size_t>& order) {
  for (size_t i : order) {
    if (!IsLongValue(static_cast<ColumnType>(t.columns[i].type))) continue;
    wr::AppendU16(def, t.columns[i].number);
    wr::AppendU32(def, p.lv_owned_maps[i]);
    wr::AppendU32(def, p.lv_free_maps[i]);
  }
  wr::AppendU16(def, 0xFFFF);
}

}  // namespace

std::vector<uint8_t> BuildDefinition(const TableLayout& t, const TablePlacement& p) {
  const FormatInfo& f = FormatFor(t.format);
  std::vector<uint8_t> def(f.tdef_header_end, 0);
  def[0] = 0x02;
  def[1] = 0x01;
  if (t.format == Format::kJet4) {
    wr::StoreU32(def, 0x0C, 0x0659);
    def[0x18] = 0x01;  // Access sets it in every definition; autonumbering relies on it
  }
  def[f.tdef_table_type] = t.system ? 'S' : 'N';
  uint16_t var_count = 0;
  std::vector<std::vector<uint8_t>> descs = Descriptors(t, &var_count);
  const auto ncols = static_cast<uint16_t>(t.columns.size());
  const auto nidx = static_cast<uint32_t>(t.indexes.size());
  wr::StoreU16(def, f.tdef_max_cols, ncols);
  wr::StoreU16(def, f.tdef_var_cols, var_count);
  wr::StoreU16(def, f.tdef_column_count, ncols);
  wr::StoreU32(def, f.tdef_logical_index_count, nidx);
  wr::StoreU32(def, f.tdef_real_index_count, nidx);
  wr::StoreU32(def, f.tdef_owned_map, p.owned_map);
  wr::StoreU32(def, f.tdef_free_map, p.free_map);
  def.resize(def.size() + f.tdef_index_count_block * nidx, 0);  // count blocks: no keys yet
  std::vector<size_t> order(t.columns.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  if (t.descriptors_by_name) {
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
      return CompareIgnoreCase(t.columns[a].name, t.columns[b].name) < 0;
    });
  }
  for (size_t i : order) def.insert(def.end(), descs[i].begin(), descs[i].end());
  for (size_t i : order) AppendName(def, t.columns[i].name, t);
  AppendIndexDefinitions(def, t, p);
  AppendLongValueTrailer(def, t, p, order);
  return def;
}

namespace {

// Puts inline usage-map rows on map pages (data pages owned by 0), starting a new page when the
// current one is full.
class MapSink {
 public:
  MapSink(PageTxn& txn, uint32_t page) : txn_(txn), page_(page) {}
  uint32_t page() const { return page_; }

  // A map holding `page` (0 = an empty map). Returns its row pointer.
  uint32_t Put(uint32_t holds) {
    std::vector<uint8_t> row(kMapRowLength, 0);
    if (holds != 0) {
      const uint32_t start = holds / 8 * 8;
      wr::StoreU32(row, 1, start);
      row[5 + (holds - start) / 8] = static_cast<uint8_t>(1u << ((holds - start) % 8));
    }
    const uint32_t h = txn_.info().data_header_size;
    if (page_ != 0) {
      const WritableDataPage view =
          WritableDataPage::View(txn_.Read(page_), h, txn_.file().path(), page_);
      if (!view.CanInsert(row.size())) page_ = 0;
    }
    if (page_ == 0) {
      page_ = txn_.Allocate();
      WritableDataPage::Init(txn_.Edit(page_), h, 0);
    }
    WritableDataPage p(txn_.Edit(page_), h, txn_.file().path(), page_);
    return PackRowPointer(page_, static_cast<uint8_t>(p.Insert(row)));
  }

 private:
  PageTxn& txn_;
  uint32_t page_;
};

}  // namespace

uint32_t WriteNewTable(PageTxn& txn, const TableLayout& t, uint32_t tdef_page, uint32_t* map_page) {
  const uint32_t tdef = tdef_page != 0 ? tdef_page : txn.Allocate();
  MapSink maps(txn, map_page != nullptr ? *map_page : 0);
  TablePlacement p;
  p.owned_map = maps.Put(0);
  p.free_map = maps.Put(0);
  // Access's order: the long-value maps in column order, then one map per index.
  p.lv_owned_maps.assign(t.columns.size(), 0);
  p.lv_free_maps.assign(t.columns.size(), 0);
  for (size_t i = 0; i < t.columns.size(); ++i) {
    if (!IsLongValue(static_cast<ColumnType>(t.columns[i].type))) continue;
    p.lv_owned_maps[i] = maps.Put(0);
    p.lv_free_maps[i] = maps.Put(0);
  }
  for (size_t k = 0; k < t.indexes.size(); ++k) {
    p.index_roots.push_back(txn.Allocate());
    p.index_maps.push_back(maps.Put(p.index_roots.back()));
  }
  WriteTdefChain(txn, {tdef}, BuildDefinition(t, p));
  for (size_t k = 0; k < t.indexes.size(); ++k) {
    std::unique_ptr<IndexPageStore> store = MakeIndexStore(txn, p.index_maps[k]);
    BTree(*store, txn.info(), p.index_roots[k], tdef).InitEmpty();
  }
  if (map_page != nullptr) *map_page = maps.page();
  return tdef;
}

}  // namespace jet
