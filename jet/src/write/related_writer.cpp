#include "write/related_writer.h"

#include <deque>
#include <string>

#include "index/btree.h"
#include "index/index_key.h"
#include "index/index_page.h"
#include "index/index_writer.h"
#include "jet/error.h"
#include "page/page_txn.h"
#include "table/row.h"
#include "table/table_scan.h"
#include "value/text.h"
#include "value/value_convert.h"
#include "write/table_writer.h"

namespace jet {

// One enforced relationship with its tables and column positions resolved.
struct RelatedWriter::Link {
  const Relationship* relationship = nullptr;
  std::shared_ptr<const TableInfo> parent;  // referenced table
  std::shared_ptr<const TableInfo> child;   // referencing table
  std::vector<size_t> parent_cols;          // positions in parent->def.columns
  std::vector<size_t> child_cols;           // positions in child->def.columns, pairwise
  // The real index of the parent whose key columns are exactly parent_cols, in order.
  std::optional<size_t> parent_index;
  Format format = Format::kJet4;  // the file's: keys are sought in its stored indexes

  // The key the referenced side gives `values[positions]` (positions pairwise with parent_cols).
  // nullopt when a value cannot be a key of the referenced column (another type that does not
  // convert): no referenced row can match it.
  std::optional<Bytes> Key(const std::vector<Value>& values,
                           const std::vector<size_t>& positions) const {
    const std::vector<Column>& pcols = parent->def.columns;
    std::vector<Value> picked(parent_cols.size());
    try {
      for (size_t k = 0; k < parent_cols.size(); ++k) {
        picked[k] = ConvertValue(values[positions[k]], pcols[parent_cols[k]], parent->def.name);
      }
      if (parent_index) {
        std::vector<Value> shaped(pcols.size());
        for (size_t k = 0; k < parent_cols.size(); ++k) shaped[parent_cols[k]] = picked[k];
        return RealIndexKey(*parent, *parent_index, shaped, nullptr, format).bytes;
      }
      std::vector<KeyColumn> columns;
      for (size_t k : parent_cols) columns.push_back(KeyColumn::From(pcols[k], true));
      return EncodeIndexKey(format, columns, picked).bytes;
    } catch (const Error& e) {
      if (e.kind() != Error::Kind::kInvalidArgument) throw;
      return std::nullopt;
    }
  }

  static bool AllNull(const std::vector<Value>& values, const std::vector<size_t>& positions) {
    for (size_t i : positions) {
      if (!values[i].is_null()) return false;
    }
    return true;
  }

  static bool Same(const std::vector<Value>& a, const std::vector<Value>& b,
                   const std::vector<size_t>& positions) {
    for (size_t i : positions) {
      if (!(a[i] == b[i])) return false;
    }
    return true;
  }
};

// One planned row write.
struct RelatedWriter::Op {
  std::shared_ptr<const TableInfo> table;
  RowId id;
  bool remove = false;
  std::vector<Value> old;     // the row as it is
  std::vector<Value> values;  // the row to write (updates)
  bool direct = false;        // asked for by the caller (values not yet converted)
};

namespace {

std::optional<size_t> FindColumn(const TableDef& def, std::u16string_view name) {
  for (size_t i = 0; i < def.columns.size(); ++i) {
    if (EqualsIgnoreCase(def.columns[i].name, name)) return i;
  }
  return std::nullopt;
}

uint64_t RowKey(RowId id) { return (static_cast<uint64_t>(id.page) << 8) | id.row; }

[[noreturn]] void RefuseRelated(const TableInfo& child) {
  throw Error(Error::Kind::kConstraint, "The record cannot be deleted or changed because table '" +
                                            ToUtf8(child.def.name) + "' includes related records.");
}

}  // namespace

RelatedWriter::RelatedWriter(const File& file, const TextCodec& codec, PageTxn& txn,
                             const TableSource& tables)
    : file_(file), codec_(codec), txn_(txn), tables_(tables) {
  ResolveLinks();
}

RelatedWriter::~RelatedWriter() = default;

void RelatedWriter::ResolveLinks() {
  for (const Relationship& r : tables_.Relationships()) {
    if (!r.enforced || r.referenced_columns.size() != r.referencing_columns.size() ||
        r.referenced_columns.empty()) {
      continue;
    }
    Link link;
    link.relationship = &r;
    link.format = file_.format();
    try {
      link.parent = tables_.Table(r.referenced_table);
      link.child = tables_.Table(r.referencing_table);
    } catch (const Error& e) {
      if (e.kind() != Error::Kind::kNotFound) throw;
      continue;  // a relationship of a table that is gone binds nothing
    }
    bool complete = true;
    for (size_t k = 0; k < r.referenced_columns.size(); ++k) {
      auto p = FindColumn(link.parent->def, r.referenced_columns[k]);
      auto c = FindColumn(link.child->def, r.referencing_columns[k]);
      if (!p || !c) {
        complete = false;
        break;
      }
      link.parent_cols.push_back(*p);
      link.child_cols.push_back(*c);
    }
    if (!complete) continue;
    const std::vector<Column>& pcols = link.parent->def.columns;
    for (size_t ri = 0; ri < link.parent->real_indexes.size() && !link.parent_index; ++ri) {
      const std::vector<IndexColumn>& ic = link.parent->real_indexes[ri].columns;
      if (ic.size() != link.parent_cols.size()) continue;
      bool match = true;
      for (size_t k = 0; k < ic.size() && match; ++k) {
        match = pcols[link.parent_cols[k]].number == ic[k].column_number;
      }
      if (match) link.parent_index = ri;
    }
    links_.push_back(std::move(link));
  }
}

bool RelatedWriter::ParentExists(const Link& link, const std::vector<Value>& values) {
  std::optional<Bytes> key = link.Key(values, link.child_cols);
  if (!key) return false;
  const TableInfo& parent = *link.parent;
  if (link.parent_index) {
    const RealIndex& ri = parent.real_indexes[*link.parent_index];
    std::unique_ptr<IndexPageStore> store = MakeIndexStore(txn_, ri.usage_map);
    BTree tree(*store, txn_.info(), ri.root_page, parent.def.tdef_page);
    return !tree.FindKey(*key).empty();
  }
  // No index over the referenced columns: look at every row.
  bool found = false;
  RowDecoder decoder(file_, codec_, parent, parent.def.columns);
  std::vector<Value> row;
  ScanRows(file_, parent, [&](RowId id, const PageReader& bytes) {
    auto it = op_of_.find({parent.def.tdef_page, RowKey(id)});
    if (it != op_of_.end() && ops_[it->second].remove) return true;
    decoder.Decode(bytes, row);
    found = link.Key(row, link.parent_cols) == key;
    return !found;
  });
  return found;
}

void RelatedWriter::CheckParents(const TableInfo& table, const std::vector<Value>& values,
                                 const std::vector<Value>* old) {
  for (const Link& link : links_) {
    if (link.child->def.tdef_page != table.def.tdef_page) continue;
    if (Link::AllNull(values, link.child_cols)) continue;
    if (old && Link::Same(values, *old, link.child_cols)) continue;
    if (!ParentExists(link, values)) {
      throw Error(Error::Kind::kConstraint,
                  "You cannot add or change a record because a related record is required in "
                  "table '" +
                      ToUtf8(link.parent->def.name) + "'.");
    }
  }
}

std::vector<Value> RelatedWriter::ReadValues(const TableInfo& table, RowId id) {
  Page holder;
  PageReader row({}, {}, 0);
  if (!FindRow(file_, table, id, holder, row)) {
    throw Error(Error::Kind::kNotFound, file_.path() + ": table '" + ToUtf8(table.def.name) +
                                            "' has no row " + std::to_string(id.row) + " on page " +
                                            std::to_string(id.page));
  }
  std::vector<Value> values;
  RowDecoder(file_, codec_, table, table.def.columns).Decode(row, values);
  return values;
}

void RelatedWriter::PlanDelete(std::shared_ptr<const TableInfo> table, RowId id,
                               std::vector<Value> old) {
  const auto key = std::make_pair(table->def.tdef_page, RowKey(id));
  auto it = op_of_.find(key);
  if (it != op_of_.end()) {
    Op& op = ops_[it->second];
    if (op.remove) return;
    op.remove = true;  // a delete wins over an update of the same row
    pending_.push_back(it->second);
    return;
  }
  Op op;
  op.table = std::move(table);
  op.id = id;
  op.remove = true;
  op.old = std::move(old);
  op_of_[key] = ops_.size();
  pending_.push_back(ops_.size());
  ops_.push_back(std::move(op));
}

void RelatedWriter::PlanUpdate(std::shared_ptr<const TableInfo> table, RowId id,
                               std::vector<Value> old,
                               const std::vector<std::pair<size_t, Value>>& changes) {
  const auto key = std::make_pair(table->def.tdef_page, RowKey(id));
  auto it = op_of_.find(key);
  if (it == op_of_.end()) {
    Op op;
    op.table = std::move(table);
    op.id = id;
    op.values = old;
    op.old = std::move(old);
    it = op_of_.emplace(key, ops_.size()).first;
    ops_.push_back(std::move(op));
  }
  Op& op = ops_[it->second];
  if (op.remove) return;
  bool changed = false;
  for (const auto& [column, value] : changes) {
    if (op.values[column] == value) continue;
    op.values[column] = value;
    changed = true;
  }
  if (changed) pending_.push_back(it->second);
}

// Plans what the pending ops cause on the rows that refer to them, until nothing new follows.
// Each round reads every referencing table at most once per relationship.
void RelatedWriter::Cascade() {
  while (!pending_.empty()) {
    std::vector<size_t> round;
    round.swap(pending_);
    for (const Link& link : links_) {
      std::set<Bytes> deleted;
      std::map<Bytes, std::vector<Value>> updated;  // old key -> the parent's new values
      for (size_t i : round) {
        const Op& op = ops_[i];
        if (op.table->def.tdef_page != link.parent->def.tdef_page) continue;
        if (Link::AllNull(op.old, link.parent_cols)) continue;
        std::optional<Bytes> old_key = link.Key(op.old, link.parent_cols);
        if (!old_key) continue;
        if (op.remove) {
          deleted.insert(*old_key);
        } else if (!Link::Same(op.old, op.values, link.parent_cols)) {
          updated[*old_key] = op.values;
        }
      }
      if (deleted.empty() && updated.empty()) continue;
      const Relationship& r = *link.relationship;
      const std::shared_ptr<const TableInfo>& child = link.child;
      std::vector<std::pair<RowId, std::vector<Value>>> found_deleted, found_updated;
      std::vector<const std::vector<Value>*> new_parent;
      RowDecoder decoder(file_, codec_, *child, child->def.columns);
      std::vector<Value> row;
      ScanRows(file_, *child, [&](RowId id, const PageReader& bytes) {
        decoder.Decode(bytes, row);
        if (Link::AllNull(row, link.child_cols)) return true;
        std::optional<Bytes> key = link.Key(row, link.child_cols);
        if (!key) return true;
        if (deleted.count(*key)) {
          if (!r.cascade_delete && !r.cascade_null) RefuseRelated(*child);
          found_deleted.emplace_back(id, row);
        } else if (auto u = updated.find(*key); u != updated.end()) {
          if (!r.cascade_update) RefuseRelated(*child);
          found_updated.emplace_back(id, row);
          new_parent.push_back(&u->second);
        }
        return true;
      });
      for (auto& [id, values] : found_deleted) {
        if (r.cascade_delete) {
          PlanDelete(child, id, std::move(values));
        } else {
          std::vector<std::pair<size_t, Value>> changes;
          for (size_t c : link.child_cols) changes.emplace_back(c, Value());
          PlanUpdate(child, id, std::move(values), changes);
        }
      }
      for (size_t n = 0; n < found_updated.size(); ++n) {
        std::vector<std::pair<size_t, Value>> changes;
        for (size_t k = 0; k < link.child_cols.size(); ++k) {
          changes.emplace_back(link.child_cols[k], (*new_parent[n])[link.parent_cols[k]]);
        }
        PlanUpdate(child, found_updated[n].first, std::move(found_updated[n].second), changes);
      }
    }
  }
}

void RelatedWriter::Apply() {
  for (Op& op : ops_) {
    TableWriter writer(file_, codec_, txn_, *op.table);
    if (op.remove) {
      writer.Delete(op.id);
    } else {
      const TableInfo& table = *op.table;
      writer.set_row_check([&](const std::vector<Value>& values, const std::vector<Value>* old) {
        CheckParents(table, values, old);
      });
      writer.Update(op.id, op.values);
    }
    ++rows_written_;
    written_.insert(op.table->def.tdef_page);
  }
}

RowId RelatedWriter::Insert(const TableInfo& table, const std::vector<Value>& values) {
  TableWriter writer(file_, codec_, txn_, table);
  writer.set_row_check([&](const std::vector<Value>& native, const std::vector<Value>* old) {
    CheckParents(table, native, old);
  });
  const RowId id = writer.Insert(values);
  ++rows_written_;
  written_.insert(table.def.tdef_page);
  return id;
}

void RelatedWriter::Update(const TableInfo& table,
                           const std::vector<std::pair<RowId, std::vector<Value>>>& rows) {
  std::shared_ptr<const TableInfo> shared = tables_.Table(table.def.name);
  const std::vector<Column>& cols = table.def.columns;
  for (const auto& [id, values] : rows) {
    if (values.size() != cols.size()) {
      throw Error(Error::Kind::kInvalidArgument,
                  "Table '" + ToUtf8(table.def.name) + "' has " + std::to_string(cols.size()) +
                      " columns but " + std::to_string(values.size()) + " values were given");
    }
    std::vector<Value> old = ReadValues(*shared, id);
    // The referenced columns as they will be stored, for what follows from a changed key.
    std::vector<Value> planned = old;
    for (const Link& link : links_) {
      if (link.parent->def.tdef_page != table.def.tdef_page) continue;
      for (size_t c : link.parent_cols) {
        const bool kept = values[c].is_null() && cols[c].autonumber();
        planned[c] = kept ? old[c] : ConvertValue(values[c], cols[c], table.def.name);
      }
    }
    const auto key = std::make_pair(table.def.tdef_page, RowKey(id));
    if (op_of_.count(key)) {
      throw Error(Error::Kind::kInvalidArgument, "Row " + std::to_string(id.row) + " on page " +
                                                     std::to_string(id.page) +
                                                     " is updated twice in one operation");
    }
    Op op;
    op.table = shared;
    op.id = id;
    op.old = std::move(old);
    op.values = std::move(planned);
    op.direct = true;
    op_of_[key] = ops_.size();
    pending_.push_back(ops_.size());
    ops_.push_back(std::move(op));
  }
  Cascade();
  // Rows asked for are written with the caller's values; converted keys only guided the plan.
  for (size_t i = 0; i < rows.size(); ++i) {
    Op& op = ops_[i];
    if (op.direct && !op.remove) op.values = rows[i].second;
  }
  Apply();
}

void RelatedWriter::Delete(const TableInfo& table, const std::vector<RowId>& ids) {
  std::shared_ptr<const TableInfo> shared = tables_.Table(table.def.name);
  for (RowId id : ids) PlanDelete(shared, id, ReadValues(*shared, id));
  Cascade();
  Apply();
}

}  // namespace jet
