#include "index_writer.h"

#include <algorithm>

#include "index_key.h"
#include "index_page.h"
#include "jet/error.h"
#include "page_txn.h"

namespace jet {
namespace {

constexpr uint8_t kUnique = 0x01;
constexpr uint8_t kIgnoreNulls = 0x02;
constexpr uint8_t kRequired = 0x08;

// Reads index pages through the transaction, so a tree sees this operation's own changes.
class TxnPageSource : public PageSource {
 public:
  explicit TxnPageSource(PageTxn& txn) : txn_(txn) {}
  std::vector<uint8_t> ReadPage(uint32_t n) override {
    std::span<const uint8_t> b = txn_.Read(n);
    return std::vector<uint8_t>(b.begin(), b.end());
  }
  std::string file_name() const override { return txn_.file().path(); }

 private:
  PageTxn& txn_;
};

}  // namespace

IndexWriter::IndexWriter(PageTxn& txn, const TableInfo& table) : txn_(txn), table_(table) {}

std::string IndexWriter::IndexName(size_t real) const {
  for (size_t i = 0; i < table_.logical_indexes.size(); ++i) {
    if (table_.logical_indexes[i].real_index == real) return ToUtf8(table_.def.indexes[i].name);
  }
  return "#" + std::to_string(real);
}

void IndexWriter::Check(const std::vector<Value>& values, std::optional<RowId> self) {
  (void)self;
  const std::vector<Column>& cols = table_.def.columns;
  for (size_t r = 0; r < table_.real_indexes.size(); ++r) {
    const RealIndex& ri = table_.real_indexes[r];
    if (!(ri.flags & kRequired)) continue;
    for (const IndexColumn& ic : ri.columns) {
      for (size_t i = 0; i < cols.size(); ++i) {
        if (cols[i].number == ic.column_number && values[i].is_null()) {
          throw Error(Error::Kind::kConstraint,
                      "Column '" + ToUtf8(cols[i].name) + "' of table '" +
                          ToUtf8(table_.def.name) + "' needs a value: index '" + IndexName(r) +
                          "' does not allow Null");
        }
      }
    }
  }
  (void)kUnique;
  (void)kIgnoreNulls;
}

void IndexWriter::Add(const std::vector<Value>&, RowId) {
  if (!table_.real_indexes.empty()) {
    throw Error(Error::Kind::kNotSupported, "Writing indexed tables is not available yet");
  }
}

void IndexWriter::Remove(const std::vector<Value>&, RowId) {
  if (!table_.real_indexes.empty()) {
    throw Error(Error::Kind::kNotSupported, "Writing indexed tables is not available yet");
  }
}

void IndexWriter::Replace(const std::vector<Value>& old_values,
                          const std::vector<Value>& new_values, RowId id) {
  if (old_values == new_values) return;
  Remove(old_values, id);
  Add(new_values, id);
}

}  // namespace jet
