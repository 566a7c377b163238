// The read side of jet::Database: opening, the catalog, table definitions and row access.
// Writes, schema changes and SQL are implemented in their own files.

#include "jet/database.h"

#include <algorithm>

#include "db/database_impl.h"
#include "index/btree.h"
#include "index/index_key.h"
#include "table/properties.h"
#include "table/row.h"
#include "table/table_scan.h"

namespace jet {

Database::Database(std::unique_ptr<DatabaseImpl> impl) : impl_(std::move(impl)) {}
Database::~Database() = default;

std::unique_ptr<Database> Database::Open(const std::string& path, OpenMode mode) {
  OpenOptions options;
  options.mode = mode;
  return Open(path, options);
}

std::unique_ptr<Database> Database::Open(const std::string& path, const OpenOptions& options) {
  return std::unique_ptr<Database>(new Database(std::make_unique<DatabaseImpl>(path, options)));
}

const std::string& Database::path() const { return impl_->file().path(); }
Format Database::format() const { return impl_->file().format(); }
uint16_t Database::code_page() const { return impl_->file().header().code_page; }
uint16_t Database::sort_order() const { return impl_->file().header().sort_order; }
bool Database::read_only() const { return !impl_->file().writable(); }
const std::string& Database::read_only_reason() const { return impl_->file().read_only_reason(); }
SyncMode Database::sync_mode() const { return impl_->file().sync_mode(); }
void Database::set_sync_mode(SyncMode sync) { impl_->file().set_sync_mode(sync); }

std::vector<CatalogObject> Database::Objects() const {
  const ReadScope scope = impl_->Refresh();
  return impl_->catalog().objects();
}

std::vector<TableListEntry> Database::ListTables() const {
  const ReadScope scope = impl_->Refresh();
  auto by_name = [](const CatalogObject* a, const CatalogObject* b) {
    int c = CompareIgnoreCase(a->name, b->name);
    return c != 0 ? c < 0 : a->name < b->name;
  };
  std::vector<TableListEntry> out;
  for (auto [kind, label] :
       {std::pair{ObjectKind::kTable, "TABLE"}, std::pair{ObjectKind::kSelectQuery, "VIEW"}}) {
    std::vector<const CatalogObject*> found;
    for (const CatalogObject& obj : impl_->catalog().objects()) {
      if (obj.kind == kind) found.push_back(&obj);
    }
    std::sort(found.begin(), found.end(), by_name);
    for (const CatalogObject* obj : found) out.push_back({obj->name, label});
  }
  return out;
}

TableDef Database::GetTable(std::u16string_view name) const {
  const ReadScope scope = impl_->Refresh();
  return impl_->TableByName(name)->def;
}

void Database::Scan(const TableDef& table,
                    const std::function<bool(RowId, std::vector<Value>&)>& fn) const {
  const ReadScope scope = impl_->Refresh();
  auto info = impl_->TableAt(table.tdef_page, table.name);
  RowDecoder decoder(impl_->file(), impl_->codec(), *info, table.columns);
  std::vector<Value> values;
  ScanRows(impl_->file(), *info, [&](RowId id, const PageReader& row) {
    decoder.Decode(row, values);
    return fn(id, values);
  });
}

namespace {

// Index pages read straight from the file, for walks that never write.
class ReadOnlyIndexStore : public IndexPageStore {
 public:
  explicit ReadOnlyIndexStore(const File& file) : source_(file) {}
  std::vector<uint8_t> ReadPage(uint32_t n) override { return source_.ReadPage(n); }
  const std::string& file_name() const override { return source_.file_name(); }
  uint32_t AllocatePage() override { throw Refused(); }
  void FreePage(uint32_t) override { throw Refused(); }
  void WritePage(uint32_t, const std::vector<uint8_t>&) override { throw Refused(); }

 private:
  static Error Refused() { return Error(Error::Kind::kNotSupported, "an index walk tried to write"); }
  FilePageSource source_;
};

}  // namespace

std::optional<std::vector<RowId>> Database::SeekIndex(const TableDef& table, const Index& index,
                                                      const std::vector<Value>& key) const {
  if (key.size() != index.columns.size()) {
    throw Error(Error::Kind::kInvalidArgument, "index " + ToUtf8(index.name) + " has " +
                                                   std::to_string(index.columns.size()) +
                                                   " columns, not " + std::to_string(key.size()));
  }
  const ReadScope scope = impl_->Refresh();
  auto info = impl_->TableAt(table.tdef_page, table.name);
  if (index.real_index >= info->real_indexes.size()) {
    throw Error(Error::Kind::kInvalidArgument, "no index " + ToUtf8(index.name) + " in table " +
                                                   ToUtf8(table.name));
  }
  const Format format = impl_->file().format();
  std::vector<KeyColumn> columns;
  for (size_t k = 0; k < index.columns.size(); ++k) {
    const auto column = std::find_if(
        info->def.columns.begin(), info->def.columns.end(),
        [&](const Column& c) { return c.number == index.columns[k].column_number; });
    if (column == info->def.columns.end()) {
      throw Error(Error::Kind::kCorrupt, "index " + ToUtf8(index.name) + " names a missing column");
    }
    if (key[k].is_null() && index.ignore_nulls) return std::nullopt;
    // Equal text must mean equal bytes: every case variant of every character needs its code.
    if (key[k].is<std::u16string>() &&
        !TextCaseVariantsEstablished(key[k].as<std::u16string>(), format)) {
      return std::nullopt;
    }
    columns.push_back(KeyColumn::From(*column, index.columns[k].ascending));
  }
  const IndexKey encoded = EncodeIndexKey(format, columns, key);
  if (!encoded.exact) return std::nullopt;
  ReadOnlyIndexStore store(impl_->file());
  BTree tree(store, impl_->file().info(), info->real_indexes[index.real_index].root_page,
             table.tdef_page);
  std::vector<RowId> ids;
  for (const IndexEntry& e : tree.FindKey(encoded.bytes)) ids.push_back(RowId{e.page, e.row});
  return ids;
}

std::vector<Value> Database::ReadRow(const TableDef& table, RowId id) const {
  const ReadScope scope = impl_->Refresh();
  auto info = impl_->TableAt(table.tdef_page, table.name);
  Page holder;
  PageReader row({}, {}, 0);
  if (!FindRow(impl_->file(), *info, id, holder, row)) {
    throw Error(Error::Kind::kNotFound,
                impl_->file().path() + ": no row " + std::to_string(id.row) + " on page " +
                    std::to_string(id.page) + " in table " + ToUtf8(table.name));
  }
  RowDecoder decoder(impl_->file(), impl_->codec(), *info, table.columns);
  std::vector<Value> values;
  decoder.Decode(row, values);
  return values;
}

}  // namespace jet
