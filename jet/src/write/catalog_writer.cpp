#include "write/catalog_writer.h"

#include <ctime>

#include "table/catalog.h"
#include "page/page_txn.h"
#include "write/table_writer.h"

namespace jet {

Bytes EngineOwner() { return {0xA7, 0x31}; }
Bytes AdminOwner() { return {0xA6, 0x33}; }

double JetNow() {
  constexpr double kUnixEpochDays = 25569.0;  // 1970-01-01 as a Jet date
  const time_t now = time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  const double seconds = static_cast<double>(now) + static_cast<double>(local.tm_gmtoff);
  return kUnixEpochDays + seconds / 86400.0;
}

void InsertCatalogRow(const File& file, const TextCodec& codec, const Catalog& cat, PageTxn& txn,
                      const CatalogRow& row) {
  const TableInfo& catalog = cat.table();
  std::vector<Value> values(catalog.def.columns.size());
  auto set = [&](std::u16string_view name, Value v) {
    for (size_t i = 0; i < catalog.def.columns.size(); ++i) {
      if (catalog.def.columns[i].name == name) values[i] = std::move(v);
    }
  };
  set(u"Id", row.id);
  set(u"ParentId", row.parent_id);
  set(u"Name", row.name);
  set(u"Type", row.type);
  set(u"DateCreate", DateTime{row.date});
  set(u"DateUpdate", DateTime{row.date});
  set(u"Owner", row.owner);
  set(u"Flags", static_cast<int32_t>(row.flags));
  if (!row.lv_prop.empty()) set(u"LvProp", row.lv_prop);
  TableWriter(file, codec, txn, catalog).Insert(values);
}

int32_t TablesContainerId(const Catalog& catalog) {
  constexpr int32_t kRootId = 0x0F000000;
  for (const CatalogObject& obj : catalog.objects()) {
    if (obj.type == 3 && obj.parent_id == kRootId && obj.name == u"Tables") return obj.id;
  }
  return kTablesContainerId;
}

}  // namespace jet
