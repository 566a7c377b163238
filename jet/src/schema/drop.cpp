// Database::DropTable, DropIndex and DropRelationship: removing a table, an index or a
// relationship as Access does, in one page transaction. Everything that can refuse (unknown names, system tables, a
// relationship that uses the object) is checked before a page is touched, so a refused drop
// leaves the file unchanged.
//
// Dropping a table deletes its MSysObjects row and gives back every page it held: its data and
// long-value pages, its index pages, the bitmap pages of reference-type usage maps, the TDEF
// chain, and the data page its usage maps lived on once the last map row there is gone. Each
// freed page is blanked and set free in the global map, so the engine's own allocator (and
// Access's) may hand it out again.
//
// Dropping an index removes its logical definition and name; its real index (count block,
// definition, B-tree pages and usage-map row) goes too unless another logical index shares it.
// Dropping a relationship removes its MSysRelationships rows and, with referential integrity,
// the two logical indexes it added: the foreign-key index on the referencing table (with its own
// tree) and the back pointer on the referenced table.

#include <algorithm>
#include <optional>
#include <set>

#include "db/database_impl.h"
#include "index/btree.h"
#include "jet/database.h"
#include "page/data_page_writer.h"
#include "page/format.h"
#include "page/page_txn.h"
#include "page/usage_map_writer.h"
#include "table/relationships.h"
#include "table/row.h"
#include "table/table_scan.h"
#include "table/catalog.h"
#include "table/tdef_writer.h"
#include "schema/released_pages.h"
#include "util/write_bytes.h"
#include "value/text.h"
#include "write/table_writer.h"

namespace jet {
namespace {

[[noreturn]] void Refuse(Error::Kind kind, const std::string& text) { throw Error(kind, text); }

std::u16string Folded(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out) c = FoldCase(c);
  return out;
}

bool NamesTable(const Relationship& r, std::u16string_view table) {
  return EqualsIgnoreCase(r.referenced_table, table) ||
         EqualsIgnoreCase(r.referencing_table, table);
}

bool AllRowsDeleted(PageTxn& txn, uint32_t page_no) {
  const uint32_t h = txn.info().data_header_size;
  const WritableDataPage page =
      WritableDataPage::View(txn.Read(page_no), h, txn.file().path(), page_no);
  for (int s = 0; s < page.slot_count(); ++s) {
    if (!(page.flags(s) & WritableDataPage::kDeleted)) return false;
  }
  return true;
}

// The definition of `t` without the logical indexes in `drop`; a real index goes too when every
// logical index that uses it is dropped. Logical index numbers are kept, since other tables'
// foreign-key indexes refer to them; real indexes are referred to by position, so the logical
// indexes that point past a dropped one move down.
std::vector<uint8_t> DefinitionWithoutIndexes(const FormatInfo& f, const TableInfo& t,
                                              const TdefSections& s,
                                              const std::set<size_t>& drop,
                                              const std::set<uint32_t>& drop_real) {
  const std::vector<uint8_t>& raw = t.raw;
  std::vector<uint8_t> def(raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(s.count_blocks));
  wr::StoreU32(def, f.tdef_logical_index_count,
               static_cast<uint32_t>(t.logical_indexes.size() - drop.size()));
  wr::StoreU32(def, f.tdef_real_index_count,
               static_cast<uint32_t>(t.real_indexes.size() - drop_real.size()));
  for (uint32_t i = 0; i < t.real_indexes.size(); ++i) {
    if (drop_real.count(i)) continue;
    const size_t at = s.count_blocks + i * f.tdef_index_count_block;
    AppendDefinitionBytes(def, raw, at, at + f.tdef_index_count_block);
  }
  AppendDefinitionBytes(def, raw, s.columns, s.real_defs);
  for (uint32_t i = 0; i < t.real_indexes.size(); ++i) {
    if (drop_real.count(i)) continue;
    const size_t at = s.real_defs + i * f.ridx_size;
    AppendDefinitionBytes(def, raw, at, at + f.ridx_size);
  }
  for (size_t i = 0; i < t.logical_indexes.size(); ++i) {
    if (drop.count(i)) continue;
    const size_t start = def.size();
    const size_t at = s.logical_defs + i * f.lidx_size;
    AppendDefinitionBytes(def, raw, at, at + f.lidx_size);
    const uint32_t real = t.logical_indexes[i].real_index;
    const auto below = static_cast<uint32_t>(
        std::distance(drop_real.begin(), drop_real.lower_bound(real)));
    if (below != 0) wr::StoreU32(def, start + f.lidx_real_index, real - below);
  }
  size_t at = s.logical_names;
  for (size_t i = 0; i < t.logical_indexes.size(); ++i) {
    const size_t next = StoredNameEnd(f, raw, at);
    if (!drop.count(i)) AppendDefinitionBytes(def, raw, at, next);
    at = next;
  }
  AppendDefinitionBytes(def, raw, s.trailer, s.end);
  return def;
}

// Gives back a real index: its usage map and the pages of its tree. The map lists the tree's
// pages, but a walk of the tree adds those a map might have missed; a tree that does not verify
// adds nothing, since freeing a page it wrongly names would damage another object.
void ReleaseRealIndex(DatabaseImpl& db, PageTxn& txn, const TableInfo& t, const RealIndex& ri,
                      Released& out) {
  CollectMap(txn, ri.usage_map, out.pages, out.map_pages);
  FilePageSource src(db.file());
  const IndexCheck tree = VerifyIndex(src, db.file().info(), ri.root_page, t.def.tdef_page);
  if (tree.problems.empty()) out.pages.insert(tree.pages.begin(), tree.pages.end());
  out.pages.insert(ri.root_page);
}

// Removes the logical indexes `drop` of `t` inside `txn`, with every real index that no remaining
// logical index uses.
void RemoveIndexes(DatabaseImpl& db, PageTxn& txn, const TableInfo& t,
                   const std::set<size_t>& drop, Released& out) {
  std::set<uint32_t> drop_real;
  for (size_t i : drop) drop_real.insert(t.logical_indexes[i].real_index);
  for (size_t i = 0; i < t.logical_indexes.size(); ++i) {
    if (!drop.count(i)) drop_real.erase(t.logical_indexes[i].real_index);
  }
  for (uint32_t r : drop_real) ReleaseRealIndex(db, txn, t, t.real_indexes.at(r), out);
  const FormatInfo& f = db.file().info();
  const TdefSections sections = LocateSections(t, db.file().path(), f);
  WriteTdefChain(txn, t.pages, DefinitionWithoutIndexes(f, t, sections, drop, drop_real));
}


// The logical index of `t` that relationship `rel` added on the referencing side: the one
// pointing at `parent` under the relationship's name or, in files that name it otherwise, over
// exactly the referencing columns.
std::optional<size_t> ForeignKeyIndex(const TableInfo& t, const TableInfo& parent,
                                      const Relationship& rel) {
  std::optional<size_t> by_columns;
  for (size_t i = 0; i < t.logical_indexes.size(); ++i) {
    const LogicalIndex& li = t.logical_indexes[i];
    if (li.fk_table_type != 2 || li.fk_tdef != parent.def.tdef_page) continue;
    if (EqualsIgnoreCase(t.def.indexes[i].name, rel.name)) return i;
    const std::vector<IndexColumn>& cols = t.real_indexes.at(li.real_index).columns;
    bool same = cols.size() == rel.referencing_columns.size();
    for (size_t k = 0; same && k < cols.size(); ++k) {
      const Column* c = t.def.FindColumn(rel.referencing_columns[k]);
      same = c != nullptr && c->number == cols[k].column_number;
    }
    if (same && !by_columns) by_columns = i;
  }
  return by_columns;
}

}  // namespace

void CollectMap(PageTxn& txn, uint32_t map_row, std::set<uint32_t>& pages,
                std::set<uint32_t>& map_pages) {
  if (map_row == 0) return;
  for (uint32_t p : UsageMapEditor(txn, map_row, UsageMapEditor::Kind::kOwned).Pages()) {
    pages.insert(p);
  }
  const RowPointer ptr = RowPointer::FromU32(map_row);
  const uint32_t h = txn.info().data_header_size;
  WritableDataPage page(txn.Edit(ptr.page), h, txn.file().path(), ptr.page);
  const std::span<const uint8_t> row = page.Row(ptr.row);
  if (!row.empty() && row[0] == 0x01) {  // reference map: its bitmap pages go too
    for (size_t off = 1; off + 4 <= row.size(); off += 4) {
      const uint32_t bitmap = static_cast<uint32_t>(row[off]) | row[off + 1] << 8 |
                              row[off + 2] << 16 | static_cast<uint32_t>(row[off + 3]) << 24;
      if (bitmap != 0) pages.insert(bitmap);
    }
  }
  page.Delete(ptr.row);
  map_pages.insert(ptr.page);
}

void FreeReleased(PageTxn& txn, Released& r) {
  for (uint32_t p : r.map_pages) {
    if (p > 2 && !r.pages.count(p) && AllRowsDeleted(txn, p)) r.pages.insert(p);
  }
  r.pages.erase(0);
  for (uint32_t p : r.pages) txn.Free(p);
}

void Database::DropTable(std::u16string_view name) {
  const ReadScope scope = impl_->Refresh();
  RequireWritable(*impl_);
  const CatalogObject* obj = impl_->catalog().FindTable(name);
  if (obj == nullptr || obj->type != kObjectLocalTable) {
    Refuse(Error::Kind::kNotFound, "Table '" + ToUtf8(name) + "' does not exist");
  }
  std::shared_ptr<const TableInfo> info = impl_->TableByName(name);
  if (info->def.system) {
    Refuse(Error::Kind::kInvalidArgument,
           "Cannot drop '" + ToUtf8(info->def.name) + "': it is a system table");
  }
  for (const Relationship& r : impl_->relationships()) {
    if (NamesTable(r, info->def.name)) {
      Refuse(Error::Kind::kConstraint, "Cannot drop table '" + ToUtf8(info->def.name) +
                                           "': relationship '" + ToUtf8(r.name) +
                                           "' uses it; delete the relationship first");
    }
  }
  const std::optional<RowId> row = impl_->catalog().TableRow(info->def.tdef_page);
  if (!row) {
    Refuse(Error::Kind::kCorrupt, "Table '" + ToUtf8(info->def.name) + "' has no catalog row");
  }
  PageTxn txn(impl_->file());
  TableWriter(impl_->file(), impl_->codec(), txn, impl_->catalog().table()).Delete(*row);
  Released released;
  CollectMap(txn, info->owned_map, released.pages, released.map_pages);
  CollectMap(txn, info->free_map, released.pages, released.map_pages);
  for (const RealIndex& ri : info->real_indexes) ReleaseRealIndex(*impl_, txn, *info, ri, released);
  for (const LongValueMaps& lv : info->long_value_maps) {
    CollectMap(txn, lv.owned_map, released.pages, released.map_pages);
    CollectMap(txn, lv.free_map, released.pages, released.map_pages);
  }
  released.pages.insert(info->pages.begin(), info->pages.end());
  FreeReleased(txn, released);
  txn.Commit();
  impl_->InvalidateCaches();
}

void Database::DropIndex(std::u16string_view table, std::u16string_view index) {
  const ReadScope scope = impl_->Refresh();
  RequireWritable(*impl_);
  std::shared_ptr<const TableInfo> info = impl_->TableByName(table);
  const std::string where = "table '" + ToUtf8(info->def.name) + "'";
  if (info->def.system) {
    Refuse(Error::Kind::kInvalidArgument, "Cannot drop an index of " + where +
                                              ": it is a system table");
  }
  size_t logical = info->def.indexes.size();
  for (size_t i = 0; i < info->def.indexes.size(); ++i) {
    if (EqualsIgnoreCase(info->def.indexes[i].name, index)) logical = i;
  }
  if (logical == info->def.indexes.size()) {
    Refuse(Error::Kind::kNotFound, "No index '" + ToUtf8(index) + "' in " + where);
  }
  const LogicalIndex& li = info->logical_indexes[logical];
  const RealIndex& real = info->real_indexes.at(li.real_index);
  const std::string refused = "Cannot drop index '" + ToUtf8(info->def.indexes[logical].name) +
                              "' of " + where + ": ";
  if (li.fk_table_type != 0 || li.index_type == 2) {
    Refuse(Error::Kind::kConstraint, refused + "a relationship uses it");
  }
  // A relationship with integrity finds its referenced row through the unique index on exactly
  // its columns; dropping that index would leave the relationship without one. The referencing
  // side has an index of its own, so a user's index on the same columns may go.
  std::set<std::u16string> index_columns;
  for (const IndexColumn& c : real.columns) {
    for (const Column& col : info->def.columns) {
      if (col.number == c.column_number) index_columns.insert(Folded(col.name));
    }
  }
  for (const Relationship& r : impl_->relationships()) {
    auto same = [&](const std::vector<std::u16string>& cols) {
      std::set<std::u16string> s;
      for (const std::u16string& c : cols) s.insert(Folded(c));
      return s == index_columns;
    };
    if (r.enforced && EqualsIgnoreCase(r.referenced_table, info->def.name) &&
        same(r.referenced_columns)) {
      Refuse(Error::Kind::kConstraint,
             refused + "relationship '" + ToUtf8(r.name) + "' uses it; delete the relationship first");
    }
  }
  PageTxn txn(impl_->file());
  Released released;
  RemoveIndexes(*impl_, txn, *info, {logical}, released);
  FreeReleased(txn, released);
  txn.Commit();
  impl_->InvalidateCaches();
}

void Database::DropRelationship(std::u16string_view name) {
  const ReadScope scope = impl_->Refresh();
  RequireWritable(*impl_);
  const std::vector<Relationship>& all = impl_->relationships();
  const auto r = std::find_if(all.begin(), all.end(), [&](const Relationship& x) {
    return EqualsIgnoreCase(x.name, name);
  });
  if (r == all.end()) {
    Refuse(Error::Kind::kNotFound, "Relationship '" + ToUtf8(name) + "' does not exist.");
  }
  const Relationship rel = *r;
  PageTxn txn(impl_->file());
  Released released;
  if (rel.enforced) {
    std::shared_ptr<const TableInfo> child = impl_->TableByName(rel.referencing_table);
    std::shared_ptr<const TableInfo> parent = impl_->TableByName(rel.referenced_table);
    // The foreign-key index on the referencing table, and the one on the referenced table that
    // points back at it (sharing the referenced unique index's tree).
    const std::optional<size_t> fk = ForeignKeyIndex(*child, *parent, rel);
    std::optional<size_t> back;
    for (size_t i = 0; fk && i < parent->logical_indexes.size() && !back; ++i) {
      const LogicalIndex& li = child->logical_indexes[*fk];
      const LogicalIndex& p = parent->logical_indexes[i];
      if (p.fk_table_type == 1 && p.fk_tdef == child->def.tdef_page &&
          p.number == li.fk_index && p.fk_index == li.number) {
        back = i;
      }
    }
    if (!fk || !back) {
      Refuse(Error::Kind::kCorrupt, "The indexes of relationship '" + ToUtf8(rel.name) +
                                        "' are missing from its tables.");
    }
    if (child->def.tdef_page == parent->def.tdef_page) {
      // A table related to itself: both indexes leave one definition.
      RemoveIndexes(*impl_, txn, *child, {*fk, *back}, released);
    } else {
      RemoveIndexes(*impl_, txn, *child, {*fk}, released);
      RemoveIndexes(*impl_, txn, *parent, {*back}, released);
    }
  }
  // Its MSysRelationships rows, one per column pair.
  std::shared_ptr<const TableInfo> sys = impl_->TableByName(kRelationshipsTable);
  const Column* column = sys->def.FindColumn(u"szRelationship");
  if (column == nullptr) Refuse(Error::Kind::kCorrupt, "MSysRelationships has no szRelationship");
  const auto at = static_cast<size_t>(column - sys->def.columns.data());
  std::vector<RowId> rows;
  RowDecoder decoder(impl_->file(), impl_->codec(), *sys, sys->def.columns);
  std::vector<Value> values;
  ScanRows(impl_->file(), *sys, [&](RowId id, const PageReader& bytes) {
    decoder.Decode(bytes, values);
    if (values[at].is<std::u16string>() &&
        EqualsIgnoreCase(values[at].as<std::u16string>(), rel.name)) {
      rows.push_back(id);
    }
    return true;
  });
  TableWriter writer(impl_->file(), impl_->codec(), txn, *sys);
  for (const RowId id : rows) writer.Delete(id);
  FreeReleased(txn, released);
  txn.Commit();
  impl_->InvalidateCaches();
}

}  // namespace jet
