// The write side of jet::Database: row writes. Every call runs in one page transaction that is
// committed only when all of its checks have passed, so a rejected write changes nothing.

#include <string>

#include "db/database_impl.h"
#include "jet/database.h"
#include "page/page_txn.h"
#include "write/table_writer.h"

namespace jet {

void RequireWritable(const DatabaseImpl& impl) {
  if (!impl.file().writable()) {
    throw Error(Error::Kind::kInvalidArgument,
                impl.file().path() + ": the database is open read-only");
  }
}

namespace {

// Runs `fn(writer)` on `table` in a transaction and commits it.
template <typename Fn>
auto WriteTable(DatabaseImpl& impl, std::u16string_view table, Fn&& fn) {
  impl.Refresh();
  RequireWritable(impl);
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

}  // namespace jet
