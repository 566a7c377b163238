#pragma once

// Row writes that keep the relationships of the file: every relationship with referential
// integrity in MSysRelationships is enforced, as Access enforces it.
//
// A referencing ("many" side) row whose foreign-key columns are not all NULL needs a referenced
// row with an equal key, equal meaning equal under the referenced index's key (so under the
// General sort order 'WOLF' finds 'Wolf'). Deleting a referenced row, or changing its key, first
// collects everything that follows from it through every relationship, level after level: rows
// deleted by cascading deletes, foreign keys set to NULL, keys copied by cascading updates. A
// relationship without the matching cascade refuses the whole operation. The planned writes then
// go through one page transaction, so an operation and all its cascades are one commit, and a
// refusal at any point leaves the file unchanged.
//
// Rows are found on the file as it was before the operation (the plan is complete before the
// first page changes); referenced keys are looked up through the transaction, so a row inserted
// or a key changed earlier in it counts.

#include <map>
#include <memory>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "jet/schema.h"
#include "jet/value.h"
#include "table/table_def.h"

namespace jet {

class PageTxn;
class TextCodec;

// The tables and relationships a RelatedWriter may reach.
class TableSource {
 public:
  virtual ~TableSource() = default;
  // The definition of local table `name` (case-insensitive); throws kNotFound.
  virtual std::shared_ptr<const TableInfo> Table(std::u16string_view name) const = 0;
  virtual const std::vector<Relationship>& Relationships() const = 0;
};

class RelatedWriter {
 public:
  RelatedWriter(const File& file, const TextCodec& codec, PageTxn& txn, const TableSource& tables);
  ~RelatedWriter();

  RowId Insert(const TableInfo& table, const std::vector<Value>& values);
  // Each row's values follow table.def.columns, as for TableWriter::Update.
  void Update(const TableInfo& table,
              const std::vector<std::pair<RowId, std::vector<Value>>>& rows);
  void Delete(const TableInfo& table, const std::vector<RowId>& ids);

  // Rows written, cascades included.
  int64_t rows_written() const { return rows_written_; }
  // TDEF pages of the tables written.
  const std::set<uint32_t>& tables_written() const { return written_; }

 private:
  struct Link;
  struct Op;

  void ResolveLinks();
  // Refuses `values` of a referencing row whose referenced row is missing.
  void CheckParents(const TableInfo& table, const std::vector<Value>& values,
                    const std::vector<Value>* old);
  bool ParentExists(const Link& link, const std::vector<Value>& values);
  std::vector<Value> ReadValues(const TableInfo& table, RowId id);
  void PlanDelete(std::shared_ptr<const TableInfo> table, RowId id, std::vector<Value> old);
  void PlanUpdate(std::shared_ptr<const TableInfo> table, RowId id, std::vector<Value> old,
                  const std::vector<std::pair<size_t, Value>>& changes);
  void Cascade();
  void Apply();

  const File& file_;
  const TextCodec& codec_;
  PageTxn& txn_;
  const TableSource& tables_;
  std::vector<Link> links_;  // enforced relationships whose tables and columns exist
  std::vector<Op> ops_;      // planned writes, in the order they are made
  std::map<std::pair<uint32_t, uint64_t>, size_t> op_of_;  // (TDEF page, row) -> ops_ index
  std::vector<size_t> pending_;  // ops whose consequences are not planned yet
  int64_t rows_written_ = 0;
  std::set<uint32_t> written_;
};

}  // namespace jet
