// Database::CreateIndex: a new logical index backed by a new real index, built from the rows the
// table already holds. Everything that can fail (names, columns, NULLs in a primary key, duplicate
// keys) is checked before the transaction commits, so a refused index changes nothing.
//
// The definition grows by a count block (12 bytes; Jet3 8), a real-index definition (52; 39), a
// logical-index definition (28; 20) and the name; the index gets a root page and an inline usage
// map (on the table's usage-map page when it has room, else on a new data page owned by 0); the
// tree is bulk built into the root and the distinct-key count stored.

#include <algorithm>
#include <set>

#include "db/database_impl.h"
#include "index/btree.h"
#include "index/index_equality.h"
#include "index/index_key.h"
#include "index/index_writer.h"
#include "jet/database.h"
#include "page/data_page.h"
#include "page/data_page_writer.h"
#include "page/page_txn.h"
#include "page/usage_map_writer.h"
#include "schema/index_build.h"
#include "table/row.h"
#include "table/table_scan.h"
#include "table/tdef_writer.h"
#include "util/write_bytes.h"
#include "write/table_writer.h"
#include "page/format.h"

namespace jet {
namespace {

constexpr size_t kMaxIndexColumns = 10;
constexpr size_t kMaxLogicalIndexes = 32;
constexpr size_t kMaxNameChars = 64;
constexpr size_t kIndexMapRowLength = 69;  // inline: type, start page, 64 bytes of bitmap

[[noreturn]] void Refuse(Error::Kind kind, const std::string& text) { throw Error(kind, text); }

// The columns of `spec` as index columns of `t`; validates names, types, counts.
std::vector<IndexColumn> ResolveSpec(const TableInfo& t, const IndexSpec& spec) {
  const std::string table = "table '" + ToUtf8(t.def.name) + "'";
  if (spec.name.empty() || spec.name.size() > kMaxNameChars) {
    Refuse(Error::Kind::kInvalidArgument, "Index name must have 1 to 64 characters");
  }
  for (const Index& idx : t.def.indexes) {
    if (EqualsIgnoreCase(idx.name, spec.name)) {
      Refuse(Error::Kind::kInvalidArgument,
             "Index '" + ToUtf8(spec.name) + "' already exists in " + table);
    }
    if (spec.primary && idx.primary) {
      Refuse(Error::Kind::kInvalidArgument, ToUtf8(t.def.name) + " already has a primary key");
    }
  }
  if (t.def.indexes.size() >= kMaxLogicalIndexes) {
    Refuse(Error::Kind::kInvalidArgument, table + " already has 32 indexes");
  }
  if (spec.columns.empty() || spec.columns.size() > kMaxIndexColumns) {
    Refuse(Error::Kind::kInvalidArgument, "An index needs 1 to 10 columns");
  }
  std::vector<IndexColumn> cols;
  for (const auto& [name, ascending] : spec.columns) {
    const Column* c = t.def.FindColumn(name);
    if (!c) Refuse(Error::Kind::kNotFound, "No column '" + ToUtf8(name) + "' in " + table);
    if (c->type == ColumnType::kOle || c->type == ColumnType::kMemo) {
      Refuse(Error::Kind::kInvalidArgument, "Column '" + ToUtf8(name) + "' of " + table +
                                                " is a Memo/OLE column and cannot be indexed");
    }
    cols.push_back(IndexColumn{c->number, ascending});
  }
  return cols;
}

// Index flags; Jet4 sets kIndexAlwaysSet on every index, Jet3 does not have that bit.
uint8_t RealFlags(const IndexSpec& spec, Format format) {
  uint8_t f = format == Format::kJet4 ? kIndexAlwaysSet : 0x00;
  if (spec.primary) f |= kIndexUnique | kIndexRequired;
  if (spec.unique) f |= kIndexUnique;
  if (spec.ignore_nulls) f |= kIndexIgnoreNulls;
  return f;
}

}  // namespace

uint32_t NewIndexMap(PageTxn& txn, const TableInfo& t, uint32_t root) {
  std::vector<uint8_t> row(kIndexMapRowLength, 0);
  if (root != 0) {
    const uint32_t start = root / 8 * 8;
    wr::StoreU32(row, 1, start);
    row[5 + (root - start) / 8] = static_cast<uint8_t>(1u << ((root - start) % 8));
  }
  const uint32_t h = txn.info().data_header_size;
  uint32_t page = RowPointer::FromU32(t.owned_map).page;
  {
    const WritableDataPage view =
        WritableDataPage::View(txn.Read(page), h, txn.file().path(), page);
    if (!view.CanInsert(row.size())) page = 0;
  }
  if (page == 0) {
    page = txn.Allocate();
    WritableDataPage::Init(txn.Edit(page), h, 0);
  }
  WritableDataPage p(txn.Edit(page), h, txn.file().path(), page);
  const int slot = p.Insert(row);
  return PackRowPointer(page, static_cast<uint8_t>(slot));
}

namespace {

[[noreturn]] void RefuseEqualKeys(const TableInfo& t, const IndexSpec& spec) {
  Refuse(Error::Kind::kConstraint, "Cannot create unique index '" + ToUtf8(spec.name) +
                                       "' on table '" + ToUtf8(t.def.name) +
                                       "': some rows have equal keys");
}

using RowSet = std::set<std::pair<uint32_t, uint8_t>>;

// Refuses equal keys among `entries` (sorted): equal bytes between rows whose keys are trusted,
// equal values (equality forms, with whether each key is trusted) when either key is approximate.
// Rows in `keyless` (every key column NULL) never collide.
void RefuseDuplicates(const TableInfo& t, const IndexSpec& spec,
                      const std::vector<IndexEntry>& entries, const RowSet& keyless,
                      const RowSet& approximate, std::vector<std::pair<Bytes, bool>>& forms) {
  auto loose = [&](const IndexEntry& e) {
    return keyless.count({e.page, e.row}) || approximate.count({e.page, e.row});
  };
  for (size_t i = 1; i < entries.size(); ++i) {
    if (entries[i].key == entries[i - 1].key && !loose(entries[i]) && !loose(entries[i - 1])) {
      RefuseEqualKeys(t, spec);
    }
  }
  if (approximate.empty()) return;
  std::sort(forms.begin(), forms.end());  // approximate keys first within equal forms
  for (size_t i = 1; i < forms.size(); ++i) {
    if (forms[i].first == forms[i - 1].first && !(forms[i].second && forms[i - 1].second)) {
      RefuseEqualKeys(t, spec);
    }
  }
}

}  // namespace

std::vector<IndexEntry> CollectEntries(const DatabaseImpl& db, const TableInfo& t, size_t real,
                                       const IndexSpec& spec) {
  const bool unique = spec.primary || spec.unique;
  const bool text = HasTextKey(t, real);
  const std::vector<size_t> positions = KeyPositions(t, real);
  std::vector<IndexEntry> entries;
  RowSet keyless;                             // rows whose key columns are all NULL
  RowSet approximate;                         // rows whose key bytes are not trusted
  std::vector<std::pair<Bytes, bool>> forms;  // text keys: equality form, trusted
  RowDecoder decoder(db.file(), db.codec(), t, t.def.columns);
  std::vector<Value> values;
  ScanRows(db.file(), t, [&](RowId id, const PageReader& row) {
    decoder.Decode(row, values);
    bool all_null = false;
    IndexKey key = RealIndexKey(t, real, values, &all_null, db.file().format());
    for (size_t i : positions) {
      if (spec.primary && values[i].is_null()) {
        Refuse(Error::Kind::kConstraint, "Cannot create primary key '" + ToUtf8(spec.name) +
                                             "': column '" + ToUtf8(t.def.columns[i].name) +
                                             "' is Null in some rows");
      }
    }
    if (all_null && spec.ignore_nulls) return true;
    if (all_null) keyless.insert({id.page, id.row});
    if (unique && text && !all_null) {
      const bool trusted = KeyBytesTrusted(t, real, values, key, db.file().format());
      if (!trusted) approximate.insert({id.page, id.row});
      forms.emplace_back(EqualityForm(t, real, values), trusted);
    }
    IndexEntry e;
    e.key = std::move(key.bytes);
    e.page = id.page;
    e.row = id.row;
    entries.push_back(std::move(e));
    return true;
  });
  std::sort(entries.begin(), entries.end(), EntryLess);
  if (unique) RefuseDuplicates(t, spec, entries, keyless, approximate, forms);
  return entries;
}

namespace {

void Append(std::vector<uint8_t>& out, const std::vector<uint8_t>& raw, size_t from, size_t to) {
  out.insert(out.end(), raw.begin() + static_cast<std::ptrdiff_t>(from),
             raw.begin() + static_cast<std::ptrdiff_t>(to));
}

}  // namespace

// The stored form of index name `name`: u16 byte length + UCS-2 (Jet4), u8 byte length + code
// page bytes (Jet3; a character outside the code page is refused).
std::vector<uint8_t> StoredName(const FormatInfo& f, const TextCodec& codec,
                                std::u16string_view name) {
  std::vector<uint8_t> out;
  if (f.tdef_name_length_size == 2) {
    wr::AppendU16(out, static_cast<uint16_t>(name.size() * 2));
    for (char16_t c : name) wr::AppendU16(out, c);
    return out;
  }
  std::vector<uint8_t> bytes;
  if (codec.EncodeCodePage(name, bytes)) {
    Refuse(Error::Kind::kInvalidArgument, "Name '" + ToUtf8(name) +
                                              "' holds a character that the database's code page " +
                                              std::to_string(codec.code_page()) + " does not have");
  }
  if (bytes.size() > 255) Refuse(Error::Kind::kInvalidArgument, "Index name is too long");
  out.push_back(static_cast<uint8_t>(bytes.size()));
  out.insert(out.end(), bytes.begin(), bytes.end());
  return out;
}

std::vector<uint8_t> DefinitionWithIndex(const FormatInfo& f, const TableInfo& t,
                                         const TdefSections& s, const std::vector<uint8_t>& name,
                                         const RealIndex* new_real, uint32_t distinct,
                                         const LogicalIndex& logical_fields) {
  const bool jet4 = f.format == Format::kJet4;
  const std::vector<uint8_t>& raw = t.raw;
  const uint32_t reals = static_cast<uint32_t>(t.real_indexes.size()) + (new_real ? 1 : 0);
  std::vector<uint8_t> def(raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(s.count_blocks));
  wr::StoreU32(def, f.tdef_logical_index_count,
               static_cast<uint32_t>(t.logical_indexes.size() + 1));
  wr::StoreU32(def, f.tdef_real_index_count, reals);
  Append(def, raw, s.count_blocks, s.columns);
  if (new_real) {
    std::vector<uint8_t> count_block(f.tdef_index_count_block, 0);
    wr::StoreU32(count_block, 4, distinct);
    def.insert(def.end(), count_block.begin(), count_block.end());
  }
  Append(def, raw, s.columns, s.logical_defs);
  if (new_real) {
    const RealIndex& ri = *new_real;
    std::vector<uint8_t> real(f.ridx_size, 0);
    if (jet4) wr::StoreU32(real, 0, 0x0783);
    for (size_t k = 0; k < 10; ++k) {
      const bool used = k < ri.columns.size();
      wr::StoreU16(real, f.ridx_columns + 3 * k, used ? ri.columns[k].column_number : 0xFFFF);
      real[f.ridx_columns + 2 + 3 * k] = used && ri.columns[k].ascending ? 0x01 : 0x00;
    }
    wr::StoreU32(real, f.ridx_usage_map, ri.usage_map);
    wr::StoreU32(real, f.ridx_root_page, ri.root_page);
    real[f.ridx_flags] = ri.flags;
    def.insert(def.end(), real.begin(), real.end());
  }
  Append(def, raw, s.logical_defs, s.logical_names);
  std::vector<uint8_t> logical(f.lidx_size, 0);
  if (jet4) wr::StoreU32(logical, 0, 0x0659);
  wr::StoreU32(logical, f.lidx_number, logical_fields.number);
  wr::StoreU32(logical, f.lidx_real_index, logical_fields.real_index);
  logical[f.lidx_fk_table_type] = logical_fields.fk_table_type;
  wr::StoreU32(logical, f.lidx_fk_index, logical_fields.fk_index);
  wr::StoreU32(logical, f.lidx_fk_tdef, logical_fields.fk_tdef);
  logical[f.lidx_cascade_update] = logical_fields.cascade_update;
  logical[f.lidx_cascade_delete] = logical_fields.cascade_delete;
  logical[f.lidx_index_type] = logical_fields.index_type;
  def.insert(def.end(), logical.begin(), logical.end());
  Append(def, raw, s.logical_names, s.trailer);
  def.insert(def.end(), name.begin(), name.end());
  Append(def, raw, s.trailer, s.end);
  return def;
}

uint32_t NextLogicalNumber(const TableInfo& t) {
  uint32_t number = 0;
  for (const LogicalIndex& li : t.logical_indexes) number = std::max(number, li.number + 1);
  return number;
}

void Database::CreateIndex(std::u16string_view table, const IndexSpec& spec) {
  const ReadScope scope = impl_->Refresh();
  RequireWritable(*impl_);
  std::shared_ptr<const TableInfo> info = impl_->TableByName(table);
  IndexSpec full = spec;
  if (full.primary) full.unique = true;
  std::vector<IndexColumn> cols = ResolveSpec(*info, full);
  const FormatInfo& f = impl_->file().info();
  const std::vector<uint8_t> name = StoredName(f, impl_->codec(), full.name);
  const TdefSections sections = LocateSections(*info, impl_->file().path(), f);
  PageTxn txn(impl_->file());
  const uint32_t root = txn.Allocate();
  TableInfo t = *info;
  t.real_indexes.push_back(
      RealIndex{cols, NewIndexMap(txn, *info, root), root, RealFlags(full, f.format), 0});
  const RealIndex& ri = t.real_indexes.back();
  std::vector<IndexEntry> entries = CollectEntries(*impl_, t, t.real_indexes.size() - 1, full);
  std::unique_ptr<IndexPageStore> store = MakeIndexStore(txn, ri.usage_map);
  BTree tree(*store, txn.info(), root, info->def.tdef_page);
  const uint32_t distinct = tree.BulkBuild(entries);
  LogicalIndex logical;
  logical.number = NextLogicalNumber(*info);
  logical.real_index = static_cast<uint32_t>(info->real_indexes.size());
  logical.fk_index = 0xFFFFFFFFu;
  logical.index_type = full.primary ? 0x01 : 0x00;
  WriteTdefChain(txn, info->pages,
                 DefinitionWithIndex(f, *info, sections, name, &ri, distinct, logical));
  txn.Commit();
  impl_->InvalidateCaches();
}

}  // namespace jet
