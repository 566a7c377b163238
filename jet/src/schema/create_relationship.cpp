// Database::AddRelationship: a relationship stored as Access stores it.
//
// Every relationship has one MSysRelationships row per column pair (grbit: 0x2 without
// referential integrity, 0x100 cascading updates, 0x1000 cascading deletes, 0x2000 cascade to
// Null). One with referential integrity also has two logical indexes that point at each other:
// on the referencing table a foreign-key index named after the relationship, over the referencing
// columns, backed by a new non-unique real index built from the rows; on the referenced table a
// logical index ".rB" (".rC", ... when taken) sharing the real index of the unique index over the
// referenced columns. Both record the other table's TDEF page and the other index's number (side
// 1 = referenced, 2 = referencing), the cascade bytes (update 1; delete 1, or 2 for Null), and
// index type 2. Everything is checked before anything is written, and it is one commit.

#include <algorithm>
#include <set>

#include "db/database_impl.h"
#include "index/btree.h"
#include "index/index_key.h"
#include "index/index_writer.h"
#include "jet/database.h"
#include "page/page_txn.h"
#include "schema/index_build.h"
#include "table/relationships.h"
#include "table/row.h"
#include "table/table_scan.h"
#include "table/tdef_writer.h"
#include "write/table_writer.h"

namespace jet {
namespace {

constexpr size_t kMaxNameChars = 64;
constexpr size_t kMaxKeyColumns = 10;

[[noreturn]] void Refuse(Error::Kind kind, const std::string& text) { throw Error(kind, text); }

size_t ColumnOf(const TableInfo& t, std::u16string_view name) {
  for (size_t i = 0; i < t.def.columns.size(); ++i) {
    if (EqualsIgnoreCase(t.def.columns[i].name, name)) return i;
  }
  Refuse(Error::Kind::kNotFound,
         "No column '" + ToUtf8(name) + "' in table '" + ToUtf8(t.def.name) + "'");
}

// The real index of `t` whose key columns are exactly `cols` (ascending), unique when asked.
std::optional<size_t> RealIndexOver(const TableInfo& t, const std::vector<size_t>& cols,
                                    bool unique) {
  for (size_t r = 0; r < t.real_indexes.size(); ++r) {
    const RealIndex& ri = t.real_indexes[r];
    if (ri.columns.size() != cols.size() || (unique && !(ri.flags & 0x01))) continue;
    bool match = true;
    for (size_t k = 0; k < cols.size() && match; ++k) {
      match = ri.columns[k].column_number == t.def.columns[cols[k]].number;
    }
    if (match) return r;
  }
  return std::nullopt;
}

// A name for the referenced side's index that `t` does not use yet.
std::u16string ReferencedIndexName(const TableInfo& t) {
  for (char16_t letter = u'B'; letter <= u'Z'; ++letter) {
    std::u16string name = u".r";
    name += letter;
    bool taken = false;
    for (const Index& idx : t.def.indexes) taken = taken || EqualsIgnoreCase(idx.name, name);
    if (!taken) return name;
  }
  Refuse(Error::Kind::kInvalidArgument,
         "Table '" + ToUtf8(t.def.name) + "' is referenced by too many relationships");
}

// Refuses when a referencing row's key has no referenced row.
void RequireExistingRows(const DatabaseImpl& db, const TableInfo& parent, size_t real,
                         const std::vector<size_t>& parent_cols, const TableInfo& child,
                         const std::vector<size_t>& child_cols) {
  std::set<Bytes> keys;
  RowDecoder pdec(db.file(), db.codec(), parent, parent.def.columns);
  std::vector<Value> row;
  ScanRows(db.file(), parent, [&](RowId, const PageReader& bytes) {
    pdec.Decode(bytes, row);
    keys.insert(RealIndexKey(parent, real, row, nullptr).bytes);
    return true;
  });
  RowDecoder cdec(db.file(), db.codec(), child, child.def.columns);
  ScanRows(db.file(), child, [&](RowId, const PageReader& bytes) {
    cdec.Decode(bytes, row);
    std::vector<Value> shaped(parent.def.columns.size());
    bool all_null = true;
    for (size_t k = 0; k < child_cols.size(); ++k) {
      shaped[parent_cols[k]] = row[child_cols[k]];
      all_null = all_null && row[child_cols[k]].is_null();
    }
    if (all_null) return true;
    if (!keys.count(RealIndexKey(parent, real, shaped, nullptr).bytes)) {
      Refuse(Error::Kind::kConstraint, "Data in table '" + ToUtf8(child.def.name) +
                                           "' violates referential integrity rules: a row "
                                           "refers to a missing record of table '" +
                                           ToUtf8(parent.def.name) + "'.");
    }
    return true;
  });
}

void InsertRelationshipRows(DatabaseImpl& db, PageTxn& txn, const Relationship& r) {
  std::shared_ptr<const TableInfo> sys = db.TableByName(kRelationshipsTable);
  const TableInfo& t = *sys;
  TableWriter writer(db.file(), db.codec(), txn, t);
  for (size_t k = 0; k < r.referencing_columns.size(); ++k) {
    std::vector<Value> values(t.def.columns.size());
    auto set = [&](std::u16string_view column, Value v) {
      values[ColumnOf(t, column)] = std::move(v);
    };
    set(u"szRelationship", r.name);
    set(u"szObject", r.referencing_table);
    set(u"szColumn", r.referencing_columns[k]);
    set(u"szReferencedObject", r.referenced_table);
    set(u"szReferencedColumn", r.referenced_columns[k]);
    set(u"ccolumn", static_cast<int32_t>(r.referencing_columns.size()));
    set(u"icolumn", static_cast<int32_t>(k));
    set(u"grbit", static_cast<int32_t>(r.flags));
    writer.Insert(values);
  }
}

}  // namespace

void Database::AddRelationship(const Relationship& spec) {
  const ReadScope scope = impl_->Refresh();
  RequireWritable(*impl_);
  // The relationship rows and foreign-key index fields are laid out for Access 2000 files only.
  if (impl_->file().format() != Format::kJet4) {
    Refuse(Error::Kind::kNotSupported,
           "Relationships cannot be created in Access 97 databases here");
  }
  const FormatInfo& f = impl_->file().info();
  if (spec.name.empty() || spec.name.size() > kMaxNameChars) {
    Refuse(Error::Kind::kInvalidArgument, "Relationship name must have 1 to 64 characters");
  }
  for (const Relationship& r : impl_->relationships()) {
    if (EqualsIgnoreCase(r.name, spec.name)) {
      Refuse(Error::Kind::kInvalidArgument,
             "Relationship '" + ToUtf8(spec.name) + "' already exists.");
    }
  }
  std::shared_ptr<const TableInfo> parent = impl_->TableByName(spec.referenced_table);
  std::shared_ptr<const TableInfo> child = impl_->TableByName(spec.referencing_table);
  if (parent->def.system || child->def.system) {
    Refuse(Error::Kind::kNotSupported, "Relationships between system tables cannot be made.");
  }
  if (parent->def.tdef_page == child->def.tdef_page) {
    Refuse(Error::Kind::kNotSupported, "A relationship of table '" + ToUtf8(child->def.name) +
                                           "' with itself is not supported by this engine.");
  }
  if (spec.referencing_columns.empty() || spec.referencing_columns.size() > kMaxKeyColumns ||
      spec.referencing_columns.size() != spec.referenced_columns.size()) {
    Refuse(Error::Kind::kInvalidArgument,
           "A relationship needs 1 to 10 column pairs, as many on each side.");
  }
  std::vector<size_t> parent_cols, child_cols;
  Relationship r = spec;
  r.referenced_table = parent->def.name;
  r.referencing_table = child->def.name;
  for (size_t k = 0; k < spec.referenced_columns.size(); ++k) {
    parent_cols.push_back(ColumnOf(*parent, spec.referenced_columns[k]));
    child_cols.push_back(ColumnOf(*child, spec.referencing_columns[k]));
    const Column& pc = parent->def.columns[parent_cols.back()];
    const Column& cc = child->def.columns[child_cols.back()];
    r.referenced_columns[k] = pc.name;
    r.referencing_columns[k] = cc.name;
    if (pc.type != cc.type) {
      Refuse(Error::Kind::kInvalidArgument,
             "Relationship must be on the same number of fields with the same data types ('" +
                 ToUtf8(cc.name) + "' and '" + ToUtf8(pc.name) + "' differ).");
    }
    for (size_t j = 0; j < k; ++j) {
      if (child_cols[j] == child_cols[k] || parent_cols[j] == parent_cols[k]) {
        Refuse(Error::Kind::kInvalidArgument,
               "A column appears twice in relationship '" + ToUtf8(spec.name) + "'.");
      }
    }
  }
  r.flags = 0;
  if (!spec.enforced) r.flags |= kRelationNoIntegrity;
  if (spec.enforced && spec.cascade_update) r.flags |= kRelationCascadeUpdate;
  if (spec.enforced && spec.cascade_delete) r.flags |= kRelationCascadeDelete;
  if (spec.enforced && spec.cascade_null && !spec.cascade_delete) r.flags |= kRelationCascadeNull;
  ApplyRelationshipFlags(r);

  PageTxn txn(impl_->file());
  if (r.enforced) {
    const std::optional<size_t> unique = RealIndexOver(*parent, parent_cols, true);
    if (!unique) {
      Refuse(Error::Kind::kInvalidArgument,
             "No unique index found for the referenced field of the primary table '" +
                 ToUtf8(parent->def.name) + "'.");
    }
    RequireExistingRows(*impl_, *parent, *unique, parent_cols, *child, child_cols);
    const TdefSections child_sections = LocateSections(*child, impl_->file().path(), f);
    const TdefSections parent_sections = LocateSections(*parent, impl_->file().path(), f);
    const std::u16string parent_index = ReferencedIndexName(*parent);
    for (const Index& idx : child->def.indexes) {
      if (EqualsIgnoreCase(idx.name, r.name)) {
        Refuse(Error::Kind::kInvalidArgument, "Index '" + ToUtf8(r.name) +
                                                  "' already exists in table '" +
                                                  ToUtf8(child->def.name) + "'");
      }
    }
    if (child->def.indexes.size() >= 32 || parent->def.indexes.size() >= 32) {
      Refuse(Error::Kind::kInvalidArgument, "A table of the relationship already has 32 indexes");
    }
    const uint32_t child_number = NextLogicalNumber(*child);
    const uint32_t parent_number = NextLogicalNumber(*parent);
    const uint8_t cascade_update = r.cascade_update ? 1 : 0;
    const uint8_t cascade_delete = r.cascade_delete ? 1 : (r.cascade_null ? 2 : 0);

    // The referencing side: a new non-unique index over the foreign key, built from the rows.
    const uint32_t root = txn.Allocate();
    TableInfo t = *child;
    std::vector<IndexColumn> key;
    for (size_t c : child_cols) key.push_back(IndexColumn{child->def.columns[c].number, true});
    t.real_indexes.push_back(RealIndex{key, NewIndexMap(txn, *child, root), root, 0x80, 0});
    const RealIndex& ri = t.real_indexes.back();
    IndexSpec plain;
    plain.name = r.name;
    std::vector<IndexEntry> entries = CollectEntries(*impl_, t, t.real_indexes.size() - 1, plain);
    std::unique_ptr<IndexPageStore> store = MakeIndexStore(txn, ri.usage_map);
    BTree tree(*store, txn.info(), root, child->def.tdef_page);
    const uint32_t distinct = tree.BulkBuild(entries);
    LogicalIndex fk;
    fk.number = child_number;
    fk.real_index = static_cast<uint32_t>(child->real_indexes.size());
    fk.fk_table_type = 2;
    fk.fk_index = parent_number;
    fk.fk_tdef = parent->def.tdef_page;
    fk.cascade_update = cascade_update;
    fk.cascade_delete = cascade_delete;
    fk.index_type = 2;
    WriteTdefChain(txn, child->pages,
                   DefinitionWithIndex(f, *child, child_sections, StoredName(f, impl_->codec(), r.name), &ri,
                                       distinct, fk));

    // The referenced side: a logical index on the unique real index, pointing back.
    LogicalIndex back = fk;
    back.number = parent_number;
    back.real_index = static_cast<uint32_t>(*unique);
    back.fk_table_type = 1;
    back.fk_index = child_number;
    back.fk_tdef = child->def.tdef_page;
    WriteTdefChain(txn, parent->pages,
                   DefinitionWithIndex(f, *parent, parent_sections,
                                       StoredName(f, impl_->codec(), parent_index), nullptr, 0,
                                       back));
  }
  InsertRelationshipRows(*impl_, txn, r);
  txn.Commit();
  impl_->InvalidateCaches();
}

}  // namespace jet
