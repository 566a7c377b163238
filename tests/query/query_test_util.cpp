#include "query/query_test_util.h"

#include <algorithm>

namespace query_test {

query::QueryRow Row(uint8_t attribute, std::optional<int16_t> flag, std::u16string name1,
                    std::u16string name2, std::optional<std::u16string> expr) {
  query::QueryRow r;
  r.attribute = attribute;
  r.flag = flag;
  r.name1 = std::move(name1);
  r.name2 = std::move(name2);
  r.expression = std::move(expr);
  return r;
}

int32_t AddSavedQuery(jet::Database& db, const std::u16string& name, uint32_t flags,
                      const std::vector<query::QueryRow>& rows) {
  int32_t tables_container = 0;
  for (const jet::CatalogObject& o : db.Objects()) {
    if (o.name == u"Tables" && o.type == 3) tables_container = o.id;
  }
  // Object ids of this kind count up from 0x80000000 (negative as a Long).
  const jet::TableDef objects = db.GetTable(u"MSysObjects");
  int32_t id = static_cast<int32_t>(0x80000000u);
  const size_t id_column = static_cast<size_t>(objects.FindColumn(u"Id") - objects.columns.data());
  db.Scan(objects, [&](jet::RowId, std::vector<jet::Value>& v) {
    if (v[id_column].is<int32_t>() && v[id_column].as<int32_t>() < 0) {
      id = std::max(id, v[id_column].as<int32_t>());
    }
    return true;
  });
  ++id;
  std::vector<jet::Value> obj(objects.columns.size());
  auto set = [&](const jet::TableDef& t, std::vector<jet::Value>& values, const char16_t* column,
                 jet::Value v) {
    const jet::Column* c = t.FindColumn(column);
    if (c) values[static_cast<size_t>(c - t.columns.data())] = std::move(v);
  };
  set(objects, obj, u"Id", id);
  set(objects, obj, u"ParentId", tables_container);
  set(objects, obj, u"Name", name);
  set(objects, obj, u"Type", int16_t{5});
  set(objects, obj, u"DateCreate", jet::DateTime{40000});
  set(objects, obj, u"DateUpdate", jet::DateTime{40000});
  set(objects, obj, u"Flags", static_cast<int32_t>(flags));
  db.InsertRow(u"MSysObjects", obj);

  const jet::TableDef queries = db.GetTable(u"MSysQueries");
  std::vector<query::QueryRow> all = rows;
  all.insert(all.begin(), Row(0, 0));
  all.push_back(Row(255, std::nullopt));
  std::vector<int> order_of(256, 0);
  for (const query::QueryRow& r : all) {
    std::vector<jet::Value> v(queries.columns.size());
    set(queries, v, u"Attribute", static_cast<uint8_t>(r.attribute));
    if (r.expression) set(queries, v, u"Expression", *r.expression);
    if (r.flag) set(queries, v, u"Flag", *r.flag);
    if (!r.name1.empty()) set(queries, v, u"Name1", r.name1);
    if (!r.name2.empty()) set(queries, v, u"Name2", r.name2);
    set(queries, v, u"ObjectId", id);
    const int n = ++order_of[r.attribute];
    set(queries, v, u"Order", jet::Bytes{0, 0, 0, static_cast<uint8_t>(n)});
    db.InsertRow(u"MSysQueries", v);
  }
  return id;
}

}  // namespace query_test
