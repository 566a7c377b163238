#pragma once

// Keeping every real index of a table in step with a row write: the NULL and uniqueness rules
// checked before anything is written, then the entries removed and added in the B-trees through
// the same page transaction.
//
// Rules per real index (flags of the index definition): required (0x08, primary keys) refuses a
// NULL in any key column; unique (0x01) refuses a second row with an equal key, except that rows
// whose key columns are all NULL never collide; ignore-nulls (0x02) keeps all-NULL rows out of
// the index. Equal means equal key bytes when the keys are trusted, and equal values under
// Access's text equality when a key is approximate (a sort order or characters without known
// codes; see index_equality.h). An approximate index may then hold equal key bytes for rows
// whose values differ.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "index/index_key.h"
#include "jet/schema.h"
#include "jet/value.h"
#include "table/table_def.h"

namespace jet {

class PageTxn;
class IndexPageStore;


// Page access for one index's B-tree through `txn`: new pages are recorded in the index usage
// map `usage_map` (a row pointer; 0 = none) and taken from the global map, freed ones leave both.
std::unique_ptr<IndexPageStore> MakeIndexStore(PageTxn& txn, uint32_t usage_map);

// The key of `values` (all columns, in the order of table.def.columns) in real index `real`;
// `all_null` is set when every key column is NULL. Text is encoded in the sort order of `format`
// (the engine writes Jet4 only; the checker reads both).
IndexKey RealIndexKey(const TableInfo& table, size_t real, const std::vector<Value>& values,
                      bool* all_null, Format format = Format::kJet4);

class IndexWriter {
 public:
  IndexWriter(const File& file, const TextCodec& codec, PageTxn& txn, const TableInfo& table);

  // Throws kConstraint naming the index and column when `values` (all columns, in the order of
  // table.def.columns, converted) break a required or unique rule; `self` is the row being
  // updated, which does not collide with itself. Rows are read from the file, so call it before
  // the transaction changes any page. For a new row (no `self`) whose key bytes alone decide,
  // the unique check is left to Add, which then throws the same error.
  void Check(const std::vector<Value>& values, std::optional<RowId> self);
  // Adds the entries of a new row / removes those of an old one. For an update only the indexes
  // whose key changed are touched.
  void Add(const std::vector<Value>& values, RowId id);
  void Remove(const std::vector<Value>& values, RowId id);
  void Replace(const std::vector<Value>& old_values, const std::vector<Value>& new_values,
               RowId id);

 private:
  std::string IndexName(size_t real) const;
  void RequireValues(size_t r, const std::vector<Value>& values) const;
  // Whether another row than `self` has a key equal to that of `values` in unique index `r`.
  bool Collides(size_t r, const std::vector<Value>& values, const IndexKey& key,
                std::optional<RowId> self);
  // Whether real index `r` has an entry for a row with these values.
  bool Indexed(size_t r, bool all_null) const;
  void AddOne(size_t r, const std::vector<Value>& values, RowId id);
  // Inserts the entry of row `id` with `key` into real index `r` and counts a new distinct key;
  // returns whether the key is new there (`unique`: as BTree::Insert).
  bool InsertEntry(size_t r, Bytes key, RowId id, bool unique);
  // Adds the entry whose unique check Check left to the insert; throws if it collides.
  void AddDeferred(size_t r, const std::vector<Value>& values, RowId id);
  [[noreturn]] void ThrowDuplicate(size_t r) const;
  void RemoveOne(size_t r, const std::vector<Value>& values, RowId id);

  const File& file_;
  const TextCodec& codec_;
  PageTxn& txn_;
  const TableInfo& table_;
  // Per real index: whether the tree may refuse equal key bytes when the entry is added (false
  // once Check found equal bytes of a different value, or compared values).
  std::vector<bool> bytes_decide_;
  // Per real index: whether Check found no other row with the key (the tree's own search for a
  // duplicate would find none either).
  std::vector<bool> checked_;
  // Per real index: the key of a new row whose unique check waits for Add.
  std::vector<std::optional<IndexKey>> deferred_;
};

}  // namespace jet
