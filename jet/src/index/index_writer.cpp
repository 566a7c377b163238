#include "index/index_writer.h"

#include <algorithm>

#include "index/btree.h"
#include "index/index_equality.h"
#include "index/index_key.h"
#include "index/index_page.h"
#include "jet/error.h"
#include "page/page_txn.h"
#include "table/tdef_writer.h"
#include "page/usage_map_writer.h"
#include "page/format.h"

namespace jet {
namespace {


// The pages of one index, kept through the transaction: new pages are recorded in the index's
// usage map (and taken from the global map), freed pages leave both.
class TxnIndexStore : public IndexPageStore {
 public:
  TxnIndexStore(PageTxn& txn, uint32_t usage_map) : txn_(txn), usage_map_(usage_map) {}
  std::vector<uint8_t> ReadPage(uint32_t n) override {
    std::span<const uint8_t> b = txn_.Read(n);
    return std::vector<uint8_t>(b.begin(), b.end());
  }
  std::span<const uint8_t> LendPage(uint32_t n) override { return txn_.Read(n); }
  std::span<uint8_t> EditPage(uint32_t n) override { return txn_.Edit(n); }
  const std::string& file_name() const override { return txn_.file().path(); }
  uint32_t AllocatePage() override {
    const uint32_t n = txn_.Allocate();
    if (usage_map_ != 0) {
      UsageMapEditor(txn_, usage_map_, UsageMapEditor::Kind::kOwned).Set(n, true);
    }
    return n;
  }
  void FreePage(uint32_t n) override {
    if (usage_map_ != 0) {
      UsageMapEditor(txn_, usage_map_, UsageMapEditor::Kind::kOwned).Set(n, false);
    }
    txn_.Free(n);
  }
  void WritePage(uint32_t n, const std::vector<uint8_t>& bytes) override {
    std::span<uint8_t> page = txn_.Edit(n);
    std::copy(bytes.begin(), bytes.end(), page.begin());
  }

 private:
  PageTxn& txn_;
  uint32_t usage_map_;
};

IndexEntry EntryFor(Bytes key, RowId id) {
  IndexEntry e;
  e.key = std::move(key);
  e.page = id.page;
  e.row = id.row;
  return e;
}

}  // namespace

std::unique_ptr<IndexPageStore> MakeIndexStore(PageTxn& txn, uint32_t usage_map) {
  return std::make_unique<TxnIndexStore>(txn, usage_map);
}

IndexKey RealIndexKey(const TableInfo& table, size_t real, const std::vector<Value>& values,
                      bool* all_null, Format format) {
  const std::vector<Column>& cols = table.def.columns;
  std::vector<KeyColumn> key_columns;
  std::vector<Value> key_values;
  bool nulls = true;
  for (const IndexColumn& ic : table.real_indexes[real].columns) {
    for (size_t i = 0; i < cols.size(); ++i) {
      if (cols[i].number != ic.column_number) continue;
      key_columns.push_back(KeyColumn::From(cols[i], ic.ascending));
      key_values.push_back(values[i]);
      if (!values[i].is_null() && cols[i].type != ColumnType::kBoolean) nulls = false;
      if (cols[i].type == ColumnType::kBoolean) nulls = false;
    }
  }
  if (all_null) *all_null = nulls;
  return EncodeIndexKey(format, key_columns, key_values);
}

IndexWriter::IndexWriter(const File& file, const TextCodec& codec, PageTxn& txn,
                         const TableInfo& table)
    : file_(file), codec_(codec), txn_(txn), table_(table), bytes_decide_(table.real_indexes.size(), true),
      checked_(table.real_indexes.size(), false), deferred_(table.real_indexes.size()) {}

std::string IndexWriter::IndexName(size_t real) const {
  for (size_t i = 0; i < table_.logical_indexes.size(); ++i) {
    if (table_.logical_indexes[i].real_index == real) return ToUtf8(table_.def.indexes[i].name);
  }
  std::string fallback = "number ";  // an index without a logical name
  fallback += std::to_string(real);
  return fallback;
}

bool IndexWriter::Indexed(size_t r, bool all_null) const {
  return !(all_null && (table_.real_indexes[r].flags & kIndexIgnoreNulls));
}

void IndexWriter::RequireValues(size_t r, const std::vector<Value>& values) const {
  if (!(table_.real_indexes[r].flags & kIndexRequired)) return;
  for (size_t i : KeyPositions(table_, r)) {
    if (!values[i].is_null()) continue;
    throw Error(Error::Kind::kConstraint,
                "Column '" + ToUtf8(table_.def.columns[i].name) + "' of table '" +
                    ToUtf8(table_.def.name) + "' needs a value: index '" + IndexName(r) +
                    "' does not allow Null");
  }
}

bool IndexWriter::Collides(size_t r, const std::vector<Value>& values, const IndexKey& key,
                           std::optional<RowId> self) {
  KeyValueReader reader(file_, codec_, table_, r);
  TxnIndexStore store(txn_, table_.real_indexes[r].usage_map);
  BTree tree(store, txn_.info(), table_.real_indexes[r].root_page, table_.def.tdef_page);
  if (key.exact) {
    // Unique means unique by key: another row whose exact key has these very bytes collides,
    // whatever the text equality of the two values says (ĳ and ij, for one).
    for (const IndexEntry& e : tree.FindKey(key.bytes)) {
      const RowId other{e.page, e.row};
      if (self && other == *self) continue;
      std::optional<std::vector<Value>> theirs = reader.Read(other);
      if (!theirs || RealIndexKey(table_, r, *theirs, nullptr, txn_.info().format).exact) return true;
    }
  }
  if (!KeyBytesTrusted(table_, r, values, key, txn_.info().format)) {
    bytes_decide_[r] = false;
    return reader.FindEqual(EqualityForm(table_, r, values), self).has_value();
  }
  // A trusted key: every row with an equal value has these very bytes. Rows found by the bytes
  // collide unless their own key is approximate and their value differs.
  for (const IndexEntry& e : tree.FindKey(key.bytes)) {
    const RowId other{e.page, e.row};
    if (self && other == *self) continue;
    std::optional<std::vector<Value>> theirs = reader.Read(other);
    if (!theirs || KeyBytesTrusted(table_, r, *theirs,
                                   RealIndexKey(table_, r, *theirs, nullptr, txn_.info().format),
                                   txn_.info().format)) {
      return true;
    }
    if (EqualityForm(table_, r, *theirs) == EqualityForm(table_, r, values)) return true;
    bytes_decide_[r] = false;
  }
  return false;
}

void IndexWriter::Check(const std::vector<Value>& values, std::optional<RowId> self) {
  for (size_t r = 0; r < table_.real_indexes.size(); ++r) {
    RequireValues(r, values);
    if (!(table_.real_indexes[r].flags & kIndexUnique)) continue;
    bool all_null = false;
    IndexKey key = RealIndexKey(table_, r, values, &all_null, txn_.info().format);
    if (all_null) continue;  // rows without a key never collide
    if (!self && key.exact && KeyBytesTrusted(table_, r, values, key, txn_.info().format)) {
      // Only another entry with these very key bytes can collide, and the tree's insert sees its
      // neighbours anyway: Add decides then, saving a second descent of the tree.
      deferred_[r] = std::move(key);
      continue;
    }
    if (Collides(r, values, key, self)) ThrowDuplicate(r);
    checked_[r] = true;
  }
}

void IndexWriter::ThrowDuplicate(size_t r) const {
  throw Error(Error::Kind::kConstraint, "Duplicate value in index '" + IndexName(r) +
                                            "' of table '" + ToUtf8(table_.def.name) +
                                            "': another row already has this key");
}

bool IndexWriter::InsertEntry(size_t r, Bytes key, RowId id, bool unique) {
  const RealIndex& ri = table_.real_indexes[r];
  TxnIndexStore store(txn_, ri.usage_map);
  BTree tree(store, txn_.info(), ri.root_page, table_.def.tdef_page);
  if (!tree.Insert(EntryFor(std::move(key), id), unique)) return false;
  TdefFields tdef(txn_, table_);
  tdef.set_distinct_keys(r, tdef.distinct_keys(r) + 1);
  return true;
}

void IndexWriter::AddDeferred(size_t r, const std::vector<Value>& values, RowId id) {
  IndexKey key = std::move(*deferred_[r]);
  deferred_[r].reset();
  if (InsertEntry(r, key.bytes, id, false)) return;
  // Equal key bytes are already there: the rows decide, as Check would have. Throwing drops the
  // whole transaction, the new entry and row with it.
  if (Collides(r, values, key, id)) ThrowDuplicate(r);
}

void IndexWriter::AddOne(size_t r, const std::vector<Value>& values, RowId id) {
  bool all_null = false;
  IndexKey key = RealIndexKey(table_, r, values, &all_null, txn_.info().format);
  if (!Indexed(r, all_null)) return;
  // After Check passed with bytes_decide_, no other entry has these key bytes: the tree need not
  // search for one again.
  const bool unique = (table_.real_indexes[r].flags & kIndexUnique) && !all_null &&
                      bytes_decide_[r] && !checked_[r];
  InsertEntry(r, std::move(key.bytes), id, unique);
}

void IndexWriter::RemoveOne(size_t r, const std::vector<Value>& values, RowId id) {
  const RealIndex& ri = table_.real_indexes[r];
  bool all_null = false;
  IndexKey key = RealIndexKey(table_, r, values, &all_null, txn_.info().format);
  TxnIndexStore store(txn_, ri.usage_map);
  BTree tree(store, txn_.info(), ri.root_page, table_.def.tdef_page);
  if (tree.Delete(EntryFor(std::move(key.bytes), id))) return;
  // The stored key may differ from ours (approximate text keys): find the row's entry itself.
  if (tree.DeleteRow(id.page, id.row) || !Indexed(r, all_null)) return;
  throw Error(Error::Kind::kCorrupt, txn_.file().path() + ": index '" + IndexName(r) +
                                         "' of table '" + ToUtf8(table_.def.name) +
                                         "' has no entry for the row on page " +
                                         std::to_string(id.page) + "; repair the database");
}

void IndexWriter::Add(const std::vector<Value>& values, RowId id) {
  for (size_t r = 0; r < table_.real_indexes.size(); ++r) {
    if (deferred_[r]) {
      AddDeferred(r, values, id);
    } else {
      AddOne(r, values, id);
    }
  }
}

void IndexWriter::Remove(const std::vector<Value>& values, RowId id) {
  for (size_t r = 0; r < table_.real_indexes.size(); ++r) RemoveOne(r, values, id);
}

void IndexWriter::Replace(const std::vector<Value>& old_values,
                          const std::vector<Value>& new_values, RowId id) {
  for (size_t r = 0; r < table_.real_indexes.size(); ++r) {
    if (RealIndexKey(table_, r, old_values, nullptr, txn_.info().format).bytes ==
        RealIndexKey(table_, r, new_values, nullptr, txn_.info().format).bytes) {
      continue;
    }
    RemoveOne(r, old_values, id);
    AddOne(r, new_values, id);
  }
}

}  // namespace jet
