// Database::CreateTable: a new user table with its indexes and its catalog row, written in one
// page transaction. The spec, the name and the file's state are all checked before the
// transaction commits, so a refused table leaves the file unchanged.

#include "write/catalog_writer.h"
#include "db/database_impl.h"
#include "jet/database.h"
#include "page/page_txn.h"
#include "table/properties.h"
#include "schema/table_layout.h"
#include "write/table_writer.h"
#include "value/text.h"
#include "page/format.h"

namespace jet {
namespace {

constexpr uint16_t kGeneralSortOrder = 0x0409;  // General, LCID 1033

// The sort-order version the file's own text columns use (the catalog's Name column).
uint8_t FileSortVersion(const DatabaseImpl& db) {
  const Column* name = db.catalog().table().def.FindColumn(u"Name");
  return name != nullptr ? name->sort_version : db.file().header().sort_version;
}

// Jet3: the sort order of the file's own text columns (General unless Access made the file for
// another language).
uint16_t FileSortOrder(const DatabaseImpl& db) {
  const Column* name = db.catalog().table().def.FindColumn(u"Name");
  return name != nullptr && name->sort_order != 0 ? name->sort_order : kGeneralSortOrder;
}

}  // namespace

SortOrder NewColumnSortOrder(const DatabaseImpl& db) {
  const bool jet3 = db.file().format() == Format::kJet3;
  return {jet3 ? FileSortOrder(db) : kGeneralSortOrder, FileSortVersion(db)};
}

namespace {

void RefuseExistingName(const DatabaseImpl& db, std::u16string_view name, int32_t parent) {
  for (const CatalogObject& obj : db.catalog().objects()) {
    if (obj.parent_id == parent && EqualsIgnoreCase(obj.name, name)) {
      throw Error(Error::Kind::kInvalidArgument, "Table '" + ToUtf8(name) + "' already exists");
    }
  }
}

}  // namespace

void Database::CreateTable(const TableSpec& spec) {
  const ReadScope scope = impl_->Refresh();
  RequireWritable(*impl_);
  const bool jet3 = impl_->file().format() == Format::kJet3;
  const SortOrder sort = NewColumnSortOrder(*impl_);
  const TableLayout layout =
      LayoutFromSpec(spec, sort.order, sort.version, jet3 ? &impl_->codec() : nullptr);
  const int32_t parent = TablesContainerId(impl_->catalog());
  RefuseExistingName(*impl_, spec.name, parent);
  PageTxn txn(impl_->file());
  const uint32_t tdef = WriteNewTable(txn, layout, 0, nullptr);
  CatalogRow row;
  row.id = static_cast<int32_t>(tdef);
  row.parent_id = parent;
  row.name = spec.name;
  row.type = kObjectLocalTable;
  row.owner = AdminOwner();
  row.date = JetNow();
  std::vector<std::u16string> required;
  for (const ColumnSpec& c : spec.columns) {
    if (c.not_null) required.push_back(c.name);
  }
  if (!required.empty()) {
    row.lv_prop = RequiredPropertiesBlock(required, jet3 ? &impl_->codec() : nullptr);
  }
  InsertCatalogRow(impl_->file(), impl_->codec(), impl_->catalog(), txn, row);
  txn.Commit();
  impl_->InvalidateCaches();
}

}  // namespace jet
