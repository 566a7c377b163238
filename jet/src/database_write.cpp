// The write side of jet::Database: row writes and transactions. Every row write runs in one page
// transaction that is committed only when all of its checks have passed, so a rejected write
// changes nothing; inside Begin()/Commit() its pages join the file's batch instead of the disk.

#include <string>

#include "db/database_impl.h"
#include "jet/database.h"
#include "page/page_txn.h"
#include "write/table_writer.h"

namespace jet {

void RequireWritableJet4(const DatabaseImpl& impl) {
  if (!impl.file().writable()) {
    const std::string& reason = impl.file().read_only_reason();
    throw Error(Error::Kind::kInvalidArgument,
                reason.empty() ? impl.file().path() + ": the database is open read-only" : reason);
  }
  if (impl.file().format() != Format::kJet4) {
    throw Error(Error::Kind::kNotSupported,
                impl.file().path() + ": Access 97 (Jet3) databases are a read-only format here");
  }
}

namespace {

// Runs `fn(writer)` on `table` in a transaction and commits it.
template <typename Fn>
auto WriteTable(DatabaseImpl& impl, std::u16string_view table, Fn&& fn) {
  const ReadScope scope = impl.Refresh();
  RequireWritableJet4(impl);
  std::shared_ptr<const TableInfo> info = impl.TableByName(table);
  PageTxn txn(impl.file());
  TableWriter writer(impl.file(), impl.codec(), txn, *info);
  if constexpr (std::is_void_v<decltype(fn(writer))>) {
    fn(writer);
    txn.Commit();
    impl.InvalidateTable(info->def.tdef_page);
  } else {
    auto result = fn(writer);
    txn.Commit();
    impl.InvalidateTable(info->def.tdef_page);
    return result;
  }
}

}  // namespace

RowId Database::InsertRow(std::u16string_view table, const std::vector<Value>& values) {
  return WriteTable(*impl_, table, [&](TableWriter& w) { return w.Insert(values); });
}

void Database::UpdateRow(std::u16string_view table, RowId id, const std::vector<Value>& values) {
  WriteTable(*impl_, table, [&](TableWriter& w) { w.Update(id, values); });
}

void Database::DeleteRow(std::u16string_view table, RowId id) {
  WriteTable(*impl_, table, [&](TableWriter& w) { w.Delete(id); });
}

void Database::Begin() {
  RequireWritableJet4(*impl_);
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
