// DatabaseImpl: the open file, its text codec, and the catalog and table definitions decoded from
// it, cached until the file changes.

#include "db/database_impl.h"

#include "table/properties.h"
#include "table/relationships.h"
#include "table/row.h"
#include "table/table_scan.h"
#include "table/tdef_writer.h"
#include "util/write_bytes.h"

namespace jet {

DatabaseImpl::DatabaseImpl(const std::string& path, const OpenOptions& options)
    : file_(std::make_unique<File>(path, options.mode == OpenMode::kReadWrite,
                                   options.file_system, options.sync)),
      codec_(std::make_unique<TextCodec>(file_->format(), file_->header().code_page)) {}

ReadScope DatabaseImpl::Refresh() const {
  ReadScope scope(*file_);
  if (file_->Revalidate()) InvalidateCaches();
  return scope;
}

void DatabaseImpl::InvalidateCaches() const {
  catalog_.reset();
  tables_.clear();
  relationships_.reset();
}

const std::vector<Relationship>& DatabaseImpl::relationships() const {
  if (!relationships_) relationships_ = ReadRelationships(*file_, *codec_, catalog());
  return *relationships_;
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
  auto info = std::make_shared<TableInfo>(std::move(def));
  tables_[tdef_page] = info;
  return info;
}

void DatabaseImpl::RowsWritten(uint32_t tdef_page, PageTxn& txn) const {
  auto it = tables_.find(tdef_page);
  if (it == tables_.end()) return;
  // Somebody else still holds the old definition: change a copy, never what they read.
  if (it->second.use_count() > 1) it->second = std::make_shared<TableInfo>(*it->second);
  TableInfo& t = *it->second;
  TdefFields tdef(txn, t);
  const FormatInfo& f = file_->info();
  auto store = [&](uint32_t offset, uint32_t value) {
    if (offset + 4 <= t.raw.size()) wr::StoreU32(t.raw, offset, value);
  };
  t.def.row_count = tdef.row_count();
  store(f.tdef_row_count, t.def.row_count);
  t.def.last_autonumber = tdef.last_autonumber();
  store(f.tdef_autonumber, t.def.last_autonumber);
  for (size_t i = 0; i < t.real_indexes.size(); ++i) {
    t.real_indexes[i].distinct_keys = tdef.distinct_keys(i);
    store(static_cast<uint32_t>(f.tdef_header_end + i * f.tdef_index_count_block + 4),
          t.real_indexes[i].distinct_keys);
  }
}

void DatabaseImpl::ApplyColumnProperties(TableInfo& table) const {
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
  for (const std::u16string& name : RequiredColumns(values[0].as<Bytes>(), codec_.get())) {
    for (Column& c : table.def.columns) {
      if (EqualsIgnoreCase(c.name, name)) c.required = true;
    }
  }
}

}  // namespace jet
