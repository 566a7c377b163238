#pragma once

// What an open Query holds. A result of one table (the engine's own dialect) is a keyset: the row
// ids in result order, the rows read by id when shown and kept in a bounded cache, so a table of
// millions of rows costs a few bytes per row. A result the engine cannot re-read by id (a saved
// query run on the query engine) stays buffered whole. Beside either: the record being edited or
// inserted, and, once a write needs it, the definition of the table the result came from.
// Internal to database/.

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "jet/database.h"

namespace database {

// Rows by id, the least recently used dropped beyond `capacity`.
class RowCache {
 public:
  explicit RowCache(size_t capacity) : capacity_(capacity < 1 ? 1 : capacity) {}

  // The row of `id` (made most recent), or null.
  const std::vector<jet::Value>* Find(jet::RowId id) {
    auto it = index_.find(KeyOf(id));
    if (it == index_.end()) return nullptr;
    lru_.splice(lru_.begin(), lru_, it->second);
    return &it->second->second;
  }
  bool Contains(jet::RowId id) const { return index_.count(KeyOf(id)) != 0; }
  // Stores `row` for `id`; the returned row stays valid until the next Put.
  const std::vector<jet::Value>& Put(jet::RowId id, std::vector<jet::Value> row) {
    const uint64_t key = KeyOf(id);
    auto it = index_.find(key);
    if (it != index_.end()) {
      it->second->second = std::move(row);
      lru_.splice(lru_.begin(), lru_, it->second);
      return it->second->second;
    }
    lru_.emplace_front(key, std::move(row));
    index_[key] = lru_.begin();
    Trim();
    return lru_.front().second;
  }
  void Erase(jet::RowId id) {
    auto it = index_.find(KeyOf(id));
    if (it == index_.end()) return;
    lru_.erase(it->second);
    index_.erase(it);
  }
  void SetCapacity(size_t capacity) {
    capacity_ = capacity < 1 ? 1 : capacity;
    Trim();
  }
  size_t capacity() const { return capacity_; }
  size_t size() const { return lru_.size(); }

 private:
  static uint64_t KeyOf(jet::RowId id) { return (uint64_t{id.page} << 8) | id.row; }
  void Trim() {
    while (lru_.size() > capacity_) {
      index_.erase(lru_.back().first);
      lru_.pop_back();
    }
  }

  size_t capacity_;
  std::list<std::pair<uint64_t, std::vector<jet::Value>>> lru_;
  std::unordered_map<uint64_t, std::list<std::pair<uint64_t, std::vector<jet::Value>>>::iterator>
      index_;
};

struct QueryData {
  explicit QueryData(size_t cache_rows) : cache(cache_rows) {}

  // Buffered: table, columns, rows and their ids. Keyset: table, columns and ids; rows empty.
  jet::ResultSet result;
  bool keyed = false;
  jet::TableDef source;            // keyset: the table whose rows are read by id
  std::vector<size_t> picks;       // keyset: per result column, its column in `source`
  mutable RowCache cache;          // keyset: rows (result columns) by id
  std::vector<jet::Value> blank;   // a new record's values before it is written (all null)
  std::vector<jet::Value> pending;  // the current record while dsEdit or dsInsert
  bool holds_pending = false;       // `pending` is the current record's values
  bool table_loaded = false;
  jet::TableDef table;             // definition of result.table, loaded on the first write
  std::vector<int> result_column;  // per table column: its result column, -1 when not selected
  std::string read_only_reason;    // why a result without a table cannot be edited (may be empty)
};

}  // namespace database
