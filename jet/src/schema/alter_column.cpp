// Database::AddColumn and DropColumn: ALTER TABLE ... ADD [COLUMN] and DROP [COLUMN] as Access
// stores them, each in one page transaction. Every refusal (names, types, indexes and
// relationships that use the column, rows that a new rule would break, the row size) comes before
// the first page is touched, so a refused statement leaves the file unchanged.
//
// A row records the column count C it was written with (the definition's max_cols then), and a
// column whose number is C or more reads as NULL in it (a Yes/No column as No). So adding a
// column rewrites only the definition: the column gets number max_cols, and max_cols and the
// column count grow by one; a variable column takes the next variable-offset slot (the slot
// count, which counts dropped columns too, grows by one); a fixed column goes after the fixed area
// of the live fixed columns. Bytes of a dropped fixed column may lie there in older rows, but
// those rows have a smaller C, so the new column reads as NULL in them. A MEMO/OLE column gets
// two empty usage maps (owned and free LVAL pages) and its entry in the definition's trailer, as a
// new table's columns do.
//
// One case does touch rows: a table that has never had a variable column writes rows without a
// variable-offset table, and readers (this engine, mdbtools) decide from the definition's slot
// count whether a row has one. When its first variable column is added, every row gets an empty
// table (V = 0), keeping its own count, fixed area and null mask. And a fixed column added once
// a fixed column has been dropped rewrites every row to the full fixed area (see AddColumn).
//
// Dropping a column removes its descriptor and name, its long-value trailer entry and its column
// properties; max_cols and the slot count never go down. Old rows keep the column's bytes, new
// rows leave its null bit 0 and its slot empty (the row writer writes C = max_cols and V = the
// slot count). The two usage-map rows of a dropped MEMO/OLE column go, but its LVAL pages stay
// allocated until Access compacts the file: old rows still point at them, and a reader that read
// the definition before the drop (another program with the file open) would follow those pointers
// into whatever reused the pages. A slot is never given to another column, so nothing written
// later can reach them.

#include <algorithm>

#include "db/database_impl.h"
#include "jet/database.h"
#include "page/format.h"
#include "page/page_txn.h"
#include "schema/index_build.h"
#include "schema/released_pages.h"
#include "schema/table_layout.h"
#include "table/properties.h"
#include "table/row.h"
#include "table/row_writer.h"
#include "table/table_scan.h"
#include "table/tdef_writer.h"
#include "util/write_bytes.h"
#include "value/text.h"
#include "write/table_writer.h"

namespace jet {
namespace {

// Column numbers are one byte in Jet3 rows; Access allows 255 columns in either format and counts
// dropped ones until the file is compacted.
constexpr uint16_t kMaxColumnNumbers = 255;
constexpr uint8_t kFixedFlag = 0x01;

[[noreturn]] void Refuse(Error::Kind kind, const std::string& text) { throw Error(kind, text); }

std::shared_ptr<const TableInfo> UserTable(const DatabaseImpl& db, std::u16string_view table,
                                           const std::string& doing) {
  std::shared_ptr<const TableInfo> info = db.TableByName(table);
  if (info->def.system) {
    Refuse(Error::Kind::kInvalidArgument,
           "Cannot " + doing + " '" + ToUtf8(info->def.name) + "': it is a system table");
  }
  return info;
}

bool HasRows(const File& file, const TableInfo& t) {
  bool any = false;
  ScanRows(file, t, [&](RowId, const PageReader&) {
    any = true;
    return false;
  });
  return any;
}

// Sets (`required`) or removes every property of `column` in the property block of `t`'s catalog
// row, through `txn`. Nothing is written when the block does not change.
void EditColumnProperties(DatabaseImpl& db, PageTxn& txn, const TableInfo& t,
                          std::u16string_view column, bool required) {
  const Catalog& cat = db.catalog();
  const TableInfo& objects = cat.table();
  const Column* lv_prop = objects.def.FindColumn(u"LvProp");
  const std::optional<RowId> id = cat.TableRow(t.def.tdef_page);
  Page holder;
  PageReader row({}, {}, 0);
  if (lv_prop == nullptr || !id || !FindRow(db.file(), objects, *id, holder, row)) {
    if (!required) return;  // nothing recorded, nothing to remove
    Refuse(Error::Kind::kCorrupt,
           "Table '" + ToUtf8(t.def.name) + "' has no catalog row to record NOT NULL in");
  }
  std::vector<Value> values;
  RowDecoder(db.file(), db.codec(), objects, objects.def.columns).Decode(row, values);
  const auto at = static_cast<size_t>(lv_prop - objects.def.columns.data());
  const Bytes old = values[at].is<Bytes>() ? values[at].as<Bytes>() : Bytes();
  const TextCodec* jet3 = db.file().format() == Format::kJet3 ? &db.codec() : nullptr;
  const Bytes updated = required ? WithRequiredColumn(old, column, jet3)
                                 : WithoutColumnProperties(old, column, &db.codec());
  if (updated == old) return;
  values[at] = updated.empty() ? Value() : Value(updated);
  TableWriter(db.file(), db.codec(), txn, objects).Update(*id, values);
}

// Gives every row of `t` (which has no variable-offset slots yet) an empty offset table.
void AddEmptyVarTables(DatabaseImpl& db, PageTxn& txn, const TableInfo& t) {
  const FormatInfo& f = db.file().info();
  std::vector<std::pair<RowId, std::vector<uint8_t>>> rows;
  ScanRows(db.file(), t, [&](RowId id, const PageReader& bytes) {
    rows.emplace_back(id, WithEmptyVarTable(f, bytes.bytes()));
    if (rows.back().second.size() > f.max_row_size) {
      Refuse(Error::Kind::kConstraint, "A row of table '" + ToUtf8(t.def.name) + "' would pass " +
                                           std::to_string(f.max_row_size) +
                                           " bytes with the new column's offset table");
    }
    return true;
  });
  TableWriter writer(db.file(), db.codec(), txn, t);
  for (const auto& [id, bytes] : rows) writer.Rewrite(id, bytes);
}

// Re-encodes every row of `next` (the definition with the new column, rows read through it as
// the format says: the column NULL) so that each row carries the whole fixed area and
// C = max_cols. Values, index entries and long values stay.
void RewriteRows(DatabaseImpl& db, PageTxn& txn, const TableInfo& next) {
  std::vector<RowId> rows;
  ScanRows(db.file(), next, [&](RowId id, const PageReader&) {
    rows.push_back(id);
    return true;
  });
  TableWriter writer(db.file(), db.codec(), txn, next);
  for (const RowId id : rows) writer.Reencode(id);
}

// Where a new column goes in rows of `t`: its slot (a fixed column: the number of variable
// columns, as Access records) and its offset in the fixed area.
struct Placement {
  uint16_t var_index = 0;
  uint16_t fixed_offset = 0;
  uint32_t fixed_end = 0;  // end of the fixed area of new rows
};

Placement PlaceColumn(const TableInfo& t, const ColumnLayout& c) {
  Placement p;
  const RowLayout live{t.max_cols, t.var_cols, t.def.columns};
  p.fixed_end = FixedAreaSize(live);
  if (!(c.flags & kFixedFlag)) {
    p.var_index = t.var_cols;
    return p;
  }
  p.var_index = static_cast<uint16_t>(std::count_if(t.def.columns.begin(), t.def.columns.end(),
                                                    [](const Column& x) { return !x.fixed(); }));
  if (c.type != static_cast<uint8_t>(ColumnType::kBoolean)) {
    p.fixed_offset = static_cast<uint16_t>(p.fixed_end);
    p.fixed_end += c.length;
  }
  return p;
}

// The column `c` placed at `at` as a definition read back would describe it.
Column NewColumn(const ColumnLayout& c, const Placement& at, const TableLayout& layout) {
  Column col;
  col.name = c.name;
  col.type = static_cast<ColumnType>(c.type);
  col.number = c.number;
  col.var_index = at.var_index;
  col.fixed_offset = at.fixed_offset;
  col.length = c.length;
  col.precision = c.precision;
  col.scale = c.scale;
  col.flags = c.flags;
  col.extra_flags = c.extra_flags;
  col.sort_order = layout.sort_order;
  col.sort_version = layout.sort_version;
  col.code_page = layout.codec != nullptr ? layout.codec->code_page() : 0;
  return col;
}

void RefuseNewColumn(const DatabaseImpl& db, const TableInfo& t, const ColumnSpec& spec,
                     bool has_rows) {
  const std::string table = ToUtf8(t.def.name);
  const std::string field = "field '" + ToUtf8(spec.name) + "'";
  if (t.def.FindColumn(spec.name) != nullptr) {
    Refuse(Error::Kind::kInvalidArgument,
           "Field '" + ToUtf8(spec.name) + "' already exists in table '" + table + "'");
  }
  if (t.max_cols >= kMaxColumnNumbers) {
    Refuse(Error::Kind::kInvalidArgument,
           "Too many fields defined: table '" + table +
               "' has used all 255 column numbers (dropped columns keep theirs until the "
               "database is compacted)");
  }
  if (spec.autonumber) {
    for (const Column& c : t.def.columns) {
      if (c.autonumber()) {
        Refuse(Error::Kind::kInvalidArgument, "Cannot add AutoNumber " + field + ": table '" +
                                                  table + "' already has AutoNumber field '" +
                                                  ToUtf8(c.name) + "'");
      }
    }
  }
  if (has_rows && (spec.not_null || spec.autonumber)) {
    Refuse(Error::Kind::kConstraint,
           "Cannot add " + std::string(spec.autonumber ? "AutoNumber " : "NOT NULL ") + field +
               " to table '" + table + "': it holds rows, which would have no value in it");
  }
  if (db.file().format() == Format::kJet3) {
    CheckStorable(&db.codec(), spec.name, "Column name");
  }
}

}  // namespace

void Database::AddColumn(std::u16string_view table, const ColumnSpec& spec) {
  const ReadScope scope = impl_->Refresh();
  RequireWritable(*impl_);
  std::shared_ptr<const TableInfo> info = UserTable(*impl_, table, "add a column to");
  const TableInfo& t = *info;
  const std::string name = ToUtf8(t.def.name);
  const FormatInfo& f = impl_->file().info();
  const bool has_rows = HasRows(impl_->file(), t);
  RefuseNewColumn(*impl_, t, spec, has_rows);
  TableLayout layout;
  layout.format = f.format;
  layout.codec = f.format == Format::kJet3 ? &impl_->codec() : nullptr;
  const SortOrder sort = NewColumnSortOrder(*impl_);
  layout.sort_order = sort.order;
  layout.sort_version = sort.version;
  const ColumnLayout col = LayoutColumn(spec, t.max_cols, name, f.format);
  const bool variable = !(col.flags & kFixedFlag);
  const Placement at = PlaceColumn(t, col);
  const auto slots = static_cast<uint16_t>(t.var_cols + (variable ? 1 : 0));
  CheckRowFits(f.format, at.fixed_end, slots, t.max_cols + 1u, name);
  const std::vector<uint8_t> stored_name = StoredName(f, impl_->codec(), spec.name);
  const TdefSections s = LocateSections(t, impl_->file().path(), f);

  PageTxn txn(impl_->file());
  uint32_t owned_map = 0, free_map = 0;
  if (IsLongValue(spec.type)) {
    owned_map = NewIndexMap(txn, t, 0);
    free_map = NewIndexMap(txn, t, 0);
  }
  if (variable && t.var_cols == 0 && has_rows) AddEmptyVarTables(*impl_, txn, t);
  // A reader may take C - V, dropped columns included, as the number of fixed columns a row
  // holds, and look for that many live ones in its fixed area and null mask (mdbtools does). Once
  // a fixed column has been dropped, that count reaches a new fixed column in older rows, whose
  // fixed area and mask may end before it; so every row is rewritten with the full area and mask.
  const auto live_fixed = static_cast<size_t>(std::count_if(
      t.def.columns.begin(), t.def.columns.end(), [](const Column& x) { return x.fixed(); }));
  const bool rewrite = !variable && has_rows && t.max_cols > t.var_cols + live_fixed;
  const std::vector<uint8_t>& raw = t.raw;
  std::vector<uint8_t> def;
  AppendDefinitionBytes(def, raw, 0, s.column_names);  // header, count blocks, descriptors
  wr::StoreU16(def, f.tdef_max_cols, static_cast<uint16_t>(t.max_cols + 1));
  wr::StoreU16(def, f.tdef_var_cols, slots);
  wr::StoreU16(def, f.tdef_column_count,
               static_cast<uint16_t>(wr::LoadU16(raw, f.tdef_column_count) + 1));
  const std::vector<uint8_t> desc = ColumnDescriptor(layout, col, at.var_index, at.fixed_offset);
  def.insert(def.end(), desc.begin(), desc.end());
  AppendDefinitionBytes(def, raw, s.column_names, s.real_defs);
  def.insert(def.end(), stored_name.begin(), stored_name.end());
  AppendDefinitionBytes(def, raw, s.real_defs, s.end - 2);  // indexes, trailer entries
  if (IsLongValue(spec.type)) {
    wr::AppendU16(def, col.number);
    wr::AppendU32(def, owned_map);
    wr::AppendU32(def, free_map);
  }
  wr::AppendU16(def, 0xFFFF);
  if (rewrite) {
    TableInfo next = t;
    next.raw = def;
    next.max_cols = static_cast<uint16_t>(t.max_cols + 1);
    next.def.columns.push_back(NewColumn(col, at, layout));
    RewriteRows(*impl_, txn, next);
  }
  WriteTdefChain(txn, t.pages, std::move(def));
  EditColumnProperties(*impl_, txn, t, spec.name, spec.not_null);
  txn.Commit();
  impl_->InvalidateCaches();
}

namespace {

void RefuseDrop(const DatabaseImpl& db, const TableInfo& t, const Column& c) {
  const std::string refused =
      "Cannot delete field '" + ToUtf8(c.name) + "' of table '" + ToUtf8(t.def.name) + "': ";
  if (t.def.columns.size() == 1) {
    Refuse(Error::Kind::kInvalidArgument, refused + "a table needs at least one field");
  }
  for (const Index& idx : t.def.indexes) {
    for (const IndexColumn& ic : idx.columns) {
      if (ic.column_number == c.number) {
        Refuse(Error::Kind::kConstraint,
               refused + "it is part of index '" + ToUtf8(idx.name) + "'; delete the index first");
      }
    }
  }
  auto names = [&](const std::vector<std::u16string>& columns) {
    return std::any_of(columns.begin(), columns.end(),
                       [&](const std::u16string& x) { return EqualsIgnoreCase(x, c.name); });
  };
  for (const Relationship& r : db.relationships()) {
    if ((EqualsIgnoreCase(r.referenced_table, t.def.name) && names(r.referenced_columns)) ||
        (EqualsIgnoreCase(r.referencing_table, t.def.name) && names(r.referencing_columns))) {
      Refuse(Error::Kind::kConstraint, refused + "relationship '" + ToUtf8(r.name) +
                                           "' uses it; delete the relationship first");
    }
  }
}

// `t`'s definition without the descriptor, name and trailer entry of column number `number`.
std::vector<uint8_t> DefinitionWithoutColumn(const FormatInfo& f, const TableInfo& t,
                                             const TdefSections& s, uint16_t number) {
  const std::vector<uint8_t>& raw = t.raw;
  const uint16_t count = wr::LoadU16(raw, f.tdef_column_count);
  std::vector<uint8_t> def;
  AppendDefinitionBytes(def, raw, 0, s.columns);
  wr::StoreU16(def, f.tdef_column_count, static_cast<uint16_t>(count - 1));
  size_t gone = count;  // stored position of the dropped descriptor
  for (size_t i = 0; i < count; ++i) {
    const size_t at = s.columns + i * f.col_desc_size;
    if (wr::LoadU16(raw, at + f.col_number) == number) {
      gone = i;
    } else {
      AppendDefinitionBytes(def, raw, at, at + f.col_desc_size);
    }
  }
  size_t at = s.column_names;
  for (size_t i = 0; i < count; ++i) {
    const size_t next = StoredNameEnd(f, raw, at);
    if (i != gone) AppendDefinitionBytes(def, raw, at, next);
    at = next;
  }
  AppendDefinitionBytes(def, raw, s.real_defs, s.trailer);
  for (at = s.trailer; at + 2 < s.end; at += 10) {
    if (wr::LoadU16(raw, at) != number) AppendDefinitionBytes(def, raw, at, at + 10);
  }
  wr::AppendU16(def, 0xFFFF);
  return def;
}

}  // namespace

void Database::DropColumn(std::u16string_view table, std::u16string_view column) {
  const ReadScope scope = impl_->Refresh();
  RequireWritable(*impl_);
  std::shared_ptr<const TableInfo> info = UserTable(*impl_, table, "delete a field of");
  const TableInfo& t = *info;
  const Column* found = t.def.FindColumn(column);
  if (found == nullptr) {
    Refuse(Error::Kind::kNotFound,
           "Field '" + ToUtf8(column) + "' does not exist in table '" + ToUtf8(t.def.name) + "'");
  }
  const Column c = *found;
  RefuseDrop(*impl_, t, c);
  const FormatInfo& f = impl_->file().info();
  const TdefSections s = LocateSections(t, impl_->file().path(), f);
  PageTxn txn(impl_->file());
  Released released;
  for (const LongValueMaps& m : t.long_value_maps) {
    if (m.column_number != c.number) continue;
    std::set<uint32_t> kept;  // the LVAL pages stay allocated (see the top of the file)
    CollectMap(txn, m.owned_map, kept, released.map_pages);
    CollectMap(txn, m.free_map, kept, released.map_pages);
  }
  WriteTdefChain(txn, t.pages, DefinitionWithoutColumn(f, t, s, c.number));
  EditColumnProperties(*impl_, txn, t, c.name, false);
  FreeReleased(txn, released);
  txn.Commit();
  impl_->InvalidateCaches();
}

}  // namespace jet
