// The read side of jet::Database: opening, the catalog, table definitions and row access.
// Writes, schema changes and SQL are implemented in their own files.

#include "jet/database.h"

#include <algorithm>

#include "database_impl.h"
#include "properties.h"
#include "row.h"
#include "table_scan.h"

namespace jet {

DatabaseImpl::DatabaseImpl(const std::string& path, OpenMode mode)
    : file_(std::make_unique<File>(path, mode == OpenMode::kReadWrite)),
      codec_(std::make_unique<TextCodec>(file_->format(), file_->header().code_page)),
      write_lock_(mode == OpenMode::kReadWrite ? std::make_unique<WriteLock>(path) : nullptr) {
  if (write_lock_) file_->set_sole_writer();  // other writers are locked out
}

void DatabaseImpl::Refresh() const {
  if (file_->Revalidate()) InvalidateCaches();
}

void DatabaseImpl::InvalidateCaches() const {
  catalog_.reset();
  tables_.clear();
}

const Catalog& DatabaseImpl::catalog() const {
  if (!catalog_) catalog_ = std::make_unique<Catalog>(*file_, *codec_);
  return *catalog_;
}

std::shared_ptr<const TableInfo> DatabaseImpl::TableByName(std::u16string_view name) const {
  const CatalogObject* obj = catalog().FindTable(name);
  if (obj == nullptr) {
    throw Error(Error::Kind::kNotFound, file_->path() + ": no table named " + ToUtf8(name));
  }
  if (obj->kind == ObjectKind::kLinkedTable) {
    throw Error(Error::Kind::kNotFound,
                file_->path() + ": " + ToUtf8(obj->name) + " is a linked table");
  }
  return TableAt(static_cast<uint32_t>(obj->id) & kTdefPageMask, obj->name);
}

std::shared_ptr<const TableInfo> DatabaseImpl::TableAt(uint32_t tdef_page,
                                                       std::u16string_view name) const {
  auto it = tables_.find(tdef_page);
  if (it != tables_.end()) return it->second;
  TableInfo def = ReadTableDef(*file_, *codec_, tdef_page, std::u16string(name));
  ApplyColumnProperties(def);
  auto info = std::make_shared<const TableInfo>(std::move(def));
  tables_[tdef_page] = info;
  return info;
}

void DatabaseImpl::ApplyColumnProperties(TableInfo& table) const {
  if (file_->format() != Format::kJet4) return;
  const Catalog& cat = catalog();
  const std::optional<RowId> id = cat.TableRow(table.def.tdef_page);
  const Column* lv_prop = cat.table().def.FindColumn(u"LvProp");
  if (!id || lv_prop == nullptr) return;
  Page holder;
  PageReader row({}, {}, 0);
  if (!FindRow(*file_, cat.table(), *id, holder, row)) return;
  std::vector<Value> values;
  const Column wanted[] = {*lv_prop};
  try {
    RowDecoder(*file_, *codec_, cat.table(), wanted).Decode(row, values);
  } catch (const Error& e) {
    // A damaged property block only loses the properties; the table itself stays readable (the
    // checker reports the broken long value).
    if (e.kind() != Error::Kind::kCorrupt) throw;
    return;
  }
  if (values.empty() || !values[0].is<Bytes>()) return;
  for (const std::u16string& name : RequiredColumns(values[0].as<Bytes>())) {
    for (Column& c : table.def.columns) {
      if (EqualsIgnoreCase(c.name, name)) c.required = true;
    }
  }
}

Database::Database(std::unique_ptr<DatabaseImpl> impl) : impl_(std::move(impl)) {}
Database::~Database() = default;

std::unique_ptr<Database> Database::Open(const std::string& path, OpenMode mode) {
  return std::unique_ptr<Database>(new Database(std::make_unique<DatabaseImpl>(path, mode)));
}

const std::string& Database::path() const { return impl_->file().path(); }
Format Database::format() const { return impl_->file().format(); }
uint16_t Database::code_page() const { return impl_->file().header().code_page; }
uint16_t Database::sort_order() const { return impl_->file().header().sort_order; }
bool Database::read_only() const { return !impl_->file().writable(); }

std::vector<CatalogObject> Database::Objects() const {
  impl_->Refresh();
  return impl_->catalog().objects();
}

std::vector<TableListEntry> Database::ListTables() const {
  impl_->Refresh();
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
  impl_->Refresh();
  return impl_->TableByName(name)->def;
}

void Database::Scan(const TableDef& table,
                    const std::function<bool(RowId, std::vector<Value>&)>& fn) const {
  impl_->Refresh();
  auto info = impl_->TableAt(table.tdef_page, table.name);
  RowDecoder decoder(impl_->file(), impl_->codec(), *info, table.columns);
  std::vector<Value> values;
  ScanRows(impl_->file(), *info, [&](RowId id, const PageReader& row) {
    decoder.Decode(row, values);
    return fn(id, values);
  });
}

std::vector<Value> Database::ReadRow(const TableDef& table, RowId id) const {
  impl_->Refresh();
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
