#pragma once

// When two rows collide in a unique index whose key bytes cannot be trusted.
//
// Access decides collisions in a unique index by key bytes. Where this engine builds the bytes
// exactly, equal bytes are the rule. Where it cannot (a text key column in a sort order whose
// encoding is unknown, or characters whose codes were not established), a stored key may come from
// Access's own encoding while ours is only the closest General-order rule: two different values can
// share approximate bytes, and two equal values can have different ones. For such keys the rule
// compares values instead: Access's text equality (case-insensitive, trailing spaces and ignored
// characters dropped, see TextEqualForIndex) for text columns, equal key fields for the others,
// NULL equal to NULL.
//
// The "equality form" of a key encodes exactly that relation: two rows collide when their forms
// are equal. A key is "trusted" when equal bytes and equal values go together for it: its bytes are
// exact and every text character has established codes in all its case variants.

#include <functional>
#include <optional>
#include <vector>

#include "index/index_key.h"
#include "jet/schema.h"
#include "jet/value.h"
#include "table/table_def.h"

namespace jet {

class File;
class TextCodec;

// Positions in table.def.columns of the key columns of real index `real`, in index order.
std::vector<size_t> KeyPositions(const TableInfo& table, size_t real);

// Whether real index `real` has a text key column.
bool HasTextKey(const TableInfo& table, size_t real);

// Whether `key`, the key of `values` (all columns, table order) in real index `real`, is trusted.
bool KeyBytesTrusted(const TableInfo& table, size_t real, const std::vector<Value>& values,
                     const IndexKey& key, Format format = Format::kJet4);

// The equality form of the key of `values` (all columns, table order) in real index `real`.
Bytes EqualityForm(const TableInfo& table, size_t real, const std::vector<Value>& values);

// Reads the key columns of real index `real` from the rows of the file (not from a pending
// transaction: use it before the transaction changes any page). Values come back in table
// column order; columns outside the key are NULL.
class KeyValueReader {
 public:
  KeyValueReader(const File& file, const TextCodec& codec, const TableInfo& table, size_t real);
  KeyValueReader(const KeyValueReader&) = delete;
  KeyValueReader& operator=(const KeyValueReader&) = delete;

  // The key values of live row `id`, or nullopt when the slot holds no live row.
  std::optional<std::vector<Value>> Read(RowId id);
  // The first live row other than `self` whose key has the equality form `form`.
  std::optional<RowId> FindEqual(const Bytes& form, std::optional<RowId> self);

 private:
  void Spread(std::vector<Value>& full) const;

  const File& file_;
  const TextCodec& codec_;
  const TableInfo& table_;
  size_t real_;
  std::vector<size_t> positions_;  // key columns in table.def.columns
  std::vector<Column> columns_;    // copies of those columns, decoded by the row decoder
  std::vector<Value> decoded_;     // scratch: values of columns_
};

}  // namespace jet
