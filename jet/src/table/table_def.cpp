// Reading TDEF chains (layout in table_def.h; offsets in FormatInfo::tdef_*, col_*, ridx_*,
// lidx_*). Every count is checked against the bytes that remain before anything is reserved,
// and the page chain is bounded by the file size and checked for loops.

#include "table/table_def.h"

#include <algorithm>
#include <string>
#include <unordered_set>

#include "page/data_page.h"

namespace jet {
namespace {

constexpr size_t kTdefPageHeader = 8;
constexpr size_t kMaxTdefPages = 1024;
constexpr size_t kIndexColumnSlots = 10;
constexpr uint16_t kNoColumn = 0xFFFF;
constexpr uint16_t kTrailerEnd = 0xFFFF;
constexpr uint8_t kIndexAscending = 0x01;
constexpr uint8_t kLogicalPrimary = 0x01;
constexpr uint8_t kLogicalForeign = 0x02;
constexpr uint8_t kRealUnique = 0x01;
constexpr uint8_t kRealIgnoreNulls = 0x02;
constexpr uint8_t kRealRequired = 0x08;
constexpr uint8_t kSystemTable = 0x53;  // 'S'

// Follows the TDEF page chain and concatenates the definition string.
void LoadChain(const File& file, uint32_t first, TableInfo& t) {
  std::unordered_set<uint32_t> seen;
  uint32_t n = first;
  while (true) {
    if (n == 0 || n >= file.page_count()) {
      throw CorruptPage(
          file.path(), t.pages.empty() ? first : t.pages.back(),
          "table definition continues on page " + std::to_string(n) + ", outside the file");
    }
    if (!seen.insert(n).second || seen.size() > kMaxTdefPages) {
      throw CorruptPage(file.path(), n, "table definition pages form a loop");
    }
    Page p = file.ReadPage(n);
    if (p.type() != kPageTypeTdef) {
      p.reader().Fail("expected a table definition page, found type " + std::to_string(p.type()));
    }
    auto bytes = p.bytes();
    t.raw.insert(t.raw.end(), bytes.begin() + (t.pages.empty() ? 0 : kTdefPageHeader), bytes.end());
    t.pages.push_back(n);
    n = p.reader().U32(file.info().tdef_next_page);
    if (n == 0) break;
  }
}

// A cursor over the definition string.
struct Cursor {
  const PageReader& r;
  size_t pos;
  void Need(size_t count, size_t each, const char* what) const {
    if (each != 0 && count > (r.size() - std::min(pos, r.size())) / each) {
      r.Fail(std::to_string(count) + " " + what + " do not fit in the table definition");
    }
  }
};

std::u16string ReadName(Cursor& c, const FormatInfo& info, const TextCodec& codec) {
  size_t len = info.tdef_name_length_size == 1 ? c.r.U8(c.pos) : c.r.U16(c.pos);
  c.pos += info.tdef_name_length_size;
  std::u16string name = codec.DecodeName(c.r.Bytes(c.pos, len));
  c.pos += len;
  return name;
}

Column ReadColumn(const PageReader& d, const FormatInfo& info) {
  Column col;
  col.type = static_cast<ColumnType>(d.U8(info.col_type));
  col.number = d.U16(info.col_number);
  col.var_index = d.U16(info.col_var_index);
  col.sort_order = d.U16(info.col_sort_order);
  if (info.col_sort_version != 0) col.sort_version = d.U8(info.col_sort_version);
  if (info.col_code_page != 0) col.code_page = d.U16(info.col_code_page);
  if (col.type == ColumnType::kNumeric) {
    col.precision = d.U8(info.col_precision);
    col.scale = d.U8(info.col_scale);
  }
  col.flags = d.U8(info.col_flags);
  if (info.col_extra_flags != 0) col.extra_flags = d.U8(info.col_extra_flags);
  col.fixed_offset = d.U16(info.col_fixed_offset);
  col.length = d.U16(info.col_length);
  return col;
}

void ReadColumns(Cursor& c, const FormatInfo& info, const TextCodec& codec, uint16_t count,
                 TableInfo& t) {
  c.Need(count, info.col_desc_size, "column descriptors");
  std::unordered_set<uint16_t> numbers;
  for (uint16_t i = 0; i < count; ++i) {
    Column col = ReadColumn(c.r.Sub(c.pos, info.col_desc_size), info);
    if (!numbers.insert(col.number).second) {
      c.r.Fail("column number " + std::to_string(col.number) + " is used twice");
    }
    t.def.columns.push_back(col);
    c.pos += info.col_desc_size;
  }
  for (Column& col : t.def.columns) col.name = ReadName(c, info, codec);
  // Descriptors are not always stored in column-number order (MSysObjects' are alphabetical);
  // tables are presented in column-number order, the order of the fields in a row.
  std::stable_sort(t.def.columns.begin(), t.def.columns.end(),
                   [](const Column& a, const Column& b) { return a.number < b.number; });
}

void ReadRealIndexes(Cursor& c, const FormatInfo& info, uint32_t count,
                     const std::vector<uint32_t>& distinct, TableInfo& t) {
  c.Need(count, info.ridx_size, "index definitions");
  for (uint32_t i = 0; i < count; ++i) {
    PageReader d = c.r.Sub(c.pos, info.ridx_size);
    RealIndex ri;
    for (size_t s = 0; s < kIndexColumnSlots; ++s) {
      uint16_t number = d.U16(info.ridx_columns + 3 * s);
      if (number == kNoColumn) continue;
      bool exists = std::any_of(t.def.columns.begin(), t.def.columns.end(),
                                [&](const Column& col) { return col.number == number; });
      if (!exists) d.Fail("index uses missing column " + std::to_string(number));
      uint8_t flags = d.U8(info.ridx_columns + 3 * s + 2);
      ri.columns.push_back({number, (flags & kIndexAscending) != 0});
    }
    ri.usage_map = d.U32(info.ridx_usage_map);
    ri.root_page = d.U32(info.ridx_root_page);
    ri.flags = d.U8(info.ridx_flags);
    ri.distinct_keys = distinct[i];
    t.real_indexes.push_back(std::move(ri));
    c.pos += info.ridx_size;
  }
}

void ReadLogicalIndexes(Cursor& c, const FormatInfo& info, const TextCodec& codec, uint32_t count,
                        TableInfo& t) {
  c.Need(count, info.lidx_size, "logical index definitions");
  for (uint32_t i = 0; i < count; ++i) {
    PageReader d = c.r.Sub(c.pos, info.lidx_size);
    LogicalIndex li;
    li.number = d.U32(info.lidx_number);
    li.real_index = d.U32(info.lidx_real_index);
    li.fk_table_type = d.U8(info.lidx_fk_table_type);
    li.fk_index = d.U32(info.lidx_fk_index);
    li.fk_tdef = d.U32(info.lidx_fk_tdef);
    li.cascade_update = d.U8(info.lidx_cascade_update);
    li.cascade_delete = d.U8(info.lidx_cascade_delete);
    li.index_type = d.U8(info.lidx_index_type);
    if (li.real_index >= t.real_indexes.size()) {
      d.Fail("logical index refers to missing real index " + std::to_string(li.real_index));
    }
    const RealIndex& ri = t.real_indexes[li.real_index];
    Index idx;
    idx.number = li.number;
    idx.real_index = li.real_index;
    idx.columns = ri.columns;
    idx.primary = li.index_type == kLogicalPrimary;
    idx.foreign = li.index_type == kLogicalForeign;
    idx.unique = (ri.flags & kRealUnique) != 0;
    idx.ignore_nulls = (ri.flags & kRealIgnoreNulls) != 0;
    idx.required = (ri.flags & kRealRequired) != 0;
    idx.root_page = ri.root_page;
    t.def.indexes.push_back(std::move(idx));
    t.logical_indexes.push_back(li);
    c.pos += info.lidx_size;
  }
  for (Index& idx : t.def.indexes) idx.name = ReadName(c, info, codec);
}

void ReadTrailer(Cursor& c, TableInfo& t) {
  constexpr size_t kEntry = 10;
  while (c.pos + 2 <= c.r.size()) {
    uint16_t number = c.r.U16(c.pos);
    if (number == kTrailerEnd) return;
    PageReader e = c.r.Sub(c.pos, kEntry);
    t.long_value_maps.push_back({number, e.U32(2), e.U32(6)});
    c.pos += kEntry;
    if (t.long_value_maps.size() > t.def.columns.size()) {
      c.r.Fail("more long-value maps than columns");
    }
  }
}

}  // namespace

TableInfo ReadTableDef(const File& file, const TextCodec& codec, uint32_t tdef_page,
                       std::u16string name) {
  const FormatInfo& info = file.info();
  TableInfo t;
  t.def.name = std::move(name);
  t.def.tdef_page = tdef_page;
  LoadChain(file, tdef_page, t);
  PageReader r(t.raw, file.path(), tdef_page);
  t.def.row_count = r.U32(info.tdef_row_count);
  t.def.last_autonumber = r.U32(info.tdef_autonumber);
  t.def.system = r.U8(info.tdef_table_type) == kSystemTable;
  t.max_cols = r.U16(info.tdef_max_cols);
  t.var_cols = r.U16(info.tdef_var_cols);
  const uint16_t column_count = r.U16(info.tdef_column_count);
  const uint32_t logical_count = r.U32(info.tdef_logical_index_count);
  const uint32_t real_count = r.U32(info.tdef_real_index_count);
  t.owned_map = r.U32(info.tdef_owned_map);
  t.free_map = r.U32(info.tdef_free_map);

  Cursor c{r, info.tdef_header_end};
  c.Need(real_count, info.tdef_index_count_block, "index count blocks");
  std::vector<uint32_t> distinct;
  for (uint32_t i = 0; i < real_count; ++i) {
    distinct.push_back(r.U32(c.pos + 4));
    c.pos += info.tdef_index_count_block;
  }
  ReadColumns(c, info, codec, column_count, t);
  ReadRealIndexes(c, info, real_count, distinct, t);
  ReadLogicalIndexes(c, info, codec, logical_count, t);
  ReadTrailer(c, t);
  return t;
}

const Column* TableDef::FindColumn(std::u16string_view column_name) const {
  for (const Column& col : columns) {
    if (EqualsIgnoreCase(col.name, column_name)) return &col;
  }
  return nullptr;
}

uint16_t FixedTypeSize(ColumnType type) {
  switch (type) {
    case ColumnType::kBoolean:
    case ColumnType::kByte:
      return 1;
    case ColumnType::kInt:
      return 2;
    case ColumnType::kLong:
    case ColumnType::kFloat:
      return 4;
    case ColumnType::kMoney:
    case ColumnType::kDouble:
    case ColumnType::kDateTime:
      return 8;
    case ColumnType::kGuid:
      return 16;
    case ColumnType::kNumeric:
      return 17;
    default:
      return 0;
  }
}

}  // namespace jet
