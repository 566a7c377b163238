// The write side of jet::Database: row writes and transactions. Every row write runs in one page
// transaction that is committed only when all of its checks have passed, so a rejected write
// changes nothing; the cascades of the file's relationships run in the same transaction, and
// inside Begin()/Commit() its pages join the file's batch instead of the disk.

#include <set>
#include <string>

#include "db/database_impl.h"
#include "jet/database.h"
#include "page/page_txn.h"
#include "write/related_writer.h"

namespace jet {

void RequireWritable(const DatabaseImpl& impl) {
  if (!impl.file().writable()) {
    const std::string& reason = impl.file().read_only_reason();
    throw Error(Error::Kind::kInvalidArgument,
                reason.empty() ? impl.file().path() + ": the database is open read-only" : reason);
  }
}

namespace {

class ImplTables : public TableSource {
 public:
  explicit ImplTables(const DatabaseImpl& impl) : impl_(impl) {}
  std::shared_ptr<const TableInfo> Table(std::u16string_view name) const override {
    return impl_.TableByName(name);
  }
  const std::vector<Relationship>& Relationships() const override {
    return impl_.relationships();
  }

 private:
  const DatabaseImpl& impl_;
};

// Runs `fn(writer, table)` on `table` in one transaction (the row writes and everything the
// relationships make of them) and commits it.
template <typename Fn>
auto WriteRelated(DatabaseImpl& impl, std::u16string_view table, Fn&& fn) {
  const ReadScope scope = impl.Refresh();
  RequireWritable(impl);
  PageTxn txn(impl.file());
  std::set<uint32_t> written;
  // The definitions and the writer are let go before the cached counters are updated, so that
  // the cache changes its own copy in place.
  auto run = [&] {
    std::shared_ptr<const TableInfo> info = impl.TableByName(table);
    ImplTables tables(impl);
    RelatedWriter writer(impl.file(), impl.codec(), txn, tables);
    auto done = [&] {
      txn.Commit();
      written = writer.tables_written();
    };
    if constexpr (std::is_void_v<decltype(fn(writer, *info))>) {
      fn(writer, *info);
      done();
    } else {
      auto result = fn(writer, *info);
      done();
      return result;
    }
  };
  if constexpr (std::is_void_v<decltype(run())>) {
    run();
    for (uint32_t page : written) impl.RowsWritten(page, txn);
  } else {
    auto result = run();
    for (uint32_t page : written) impl.RowsWritten(page, txn);
    return result;
  }
}

}  // namespace

RowId Database::InsertRow(std::u16string_view table, const std::vector<Value>& values) {
  return WriteRelated(*impl_, table,
                      [&](RelatedWriter& w, const TableInfo& t) { return w.Insert(t, values); });
}

void Database::UpdateRow(std::u16string_view table, RowId id, const std::vector<Value>& values) {
  UpdateRows(table, {{id, values}});
}

void Database::DeleteRow(std::u16string_view table, RowId id) { DeleteRows(table, {id}); }

int64_t Database::UpdateRows(std::u16string_view table,
                             const std::vector<std::pair<RowId, std::vector<Value>>>& rows) {
  return WriteRelated(*impl_, table, [&](RelatedWriter& w, const TableInfo& t) {
    w.Update(t, rows);
    return w.rows_written();
  });
}

int64_t Database::DeleteRows(std::u16string_view table, const std::vector<RowId>& ids) {
  return WriteRelated(*impl_, table, [&](RelatedWriter& w, const TableInfo& t) {
    w.Delete(t, ids);
    return w.rows_written();
  });
}

void Database::Begin() {
  RequireWritable(*impl_);
  impl_->file().BeginBatch();
}

void Database::Commit() {
  try {
    impl_->file().CommitBatch();
  } catch (...) {
    impl_->InvalidateCaches();
    throw;
  }
}

void Database::Rollback() {
  impl_->file().RollbackBatch();
  impl_->InvalidateCaches();
}

bool Database::in_transaction() const { return impl_->file().in_batch(); }

}  // namespace jet
