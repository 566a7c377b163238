#pragma once

// Keeping every real index of a table in step with a row write: the NULL and uniqueness rules
// checked before anything is written, then the entries removed and added in the B-trees through
// the same page transaction.
//
// Rules per real index (flags of the index definition): required (0x08, primary keys) refuses a
// NULL in any key column; unique (0x01) refuses a second row with an equal key, except that rows
// whose key columns are all NULL never collide; ignore-nulls (0x02) keeps all-NULL rows out of
// the index. Equal means equal key bytes when both keys are exact, and equal values under the
// index's text equality when a key is approximate (a sort order or characters without known
// codes).

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jet/database.h"
#include "table_def.h"

namespace jet {

class PageTxn;
class IndexPageStore;
struct IndexKey;

// Page access for one index's B-tree through `txn`: new pages are recorded in the index usage
// map `usage_map` (a row pointer; 0 = none) and taken from the global map, freed ones leave both.
std::unique_ptr<IndexPageStore> MakeIndexStore(PageTxn& txn, uint32_t usage_map);

// The key of `values` (all columns, in the order of table.def.columns) in real index `real`;
// `all_null` is set when every key column is NULL.
IndexKey RealIndexKey(const TableInfo& table, size_t real, const std::vector<Value>& values,
                      bool* all_null);

class IndexWriter {
 public:
  IndexWriter(PageTxn& txn, const TableInfo& table);

  // Throws kConstraint naming the index and column when `values` (all columns, in the order of
  // table.def.columns, converted) break a required or unique rule; `self` is the row being
  // updated, which does not collide with itself.
  void Check(const std::vector<Value>& values, std::optional<RowId> self);
  // Adds the entries of a new row / removes those of an old one. For an update only the indexes
  // whose key changed are touched.
  void Add(const std::vector<Value>& values, RowId id);
  void Remove(const std::vector<Value>& values, RowId id);
  void Replace(const std::vector<Value>& old_values, const std::vector<Value>& new_values,
               RowId id);

 private:
  std::string IndexName(size_t real) const;
  // Whether real index `r` has an entry for a row with these values.
  bool Indexed(size_t r, bool all_null) const;
  void AddOne(size_t r, const std::vector<Value>& values, RowId id);
  void RemoveOne(size_t r, const std::vector<Value>& values, RowId id);

  PageTxn& txn_;
  const TableInfo& table_;
};

}  // namespace jet
