#include "query/saved_query.h"

#include <algorithm>
#include <memory>

namespace query {
namespace {

// MSysQueries attribute codes.
enum Attribute : uint8_t {
  kStart = 0,
  kType = 1,
  kParameter = 2,
  kOptions = 3,
  kRemoteDb = 4,
  kSource = 5,
  kColumn = 6,
  kJoin = 7,
  kWhere = 8,
  kGroupBy = 9,
  kHaving = 10,
  kOrderBy = 11,
  kEnd = 255,
};

// Select option bits (attribute 3).
constexpr int kAllFields = 0x01;
constexpr int kDistinct = 0x02;
constexpr int kOwnerAccess = 0x04;
constexpr int kDistinctRow = 0x08;
constexpr int kTop = 0x10;
constexpr int kPercent = 0x20;

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? c + 32 : c; }

bool EqualIgnoreCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::u16string Join(const std::vector<std::u16string>& parts, std::u16string_view sep) {
  std::u16string out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += sep;
    out += parts[i];
  }
  return out;
}

// Stored text ends in a NUL in some rows (DDL and pass-through statements).
std::u16string StripNul(std::u16string s) {
  while (!s.empty() && (s.back() == u'\0' || s.back() == u' ' || s.back() == u'\r' ||
                        s.back() == u'\n' || s.back() == u'\t')) {
    s.pop_back();
  }
  return s;
}

std::u16string ParameterType(int code) {
  switch (code) {
    case 1:
      return u"Bit";
    case 2:
      return u"Byte";
    case 3:
      return u"Short";
    case 4:
      return u"Long";
    case 5:
      return u"Currency";
    case 6:
      return u"IEEESingle";
    case 7:
      return u"IEEEDouble";
    case 8:
      return u"DateTime";
    case 9:
      return u"Binary";
    case 10:
      return u"Text ( 255 )";
    case 11:
      return u"LongBinary";
    case 12:
      return u"Memo";
    case 15:
      return u"Guid";
    case 16:
      return u"Decimal";
    default:
      return u"Value";
  }
}

QueryType TypeFromCode(int code) {
  switch (code) {
    case 1:
      return QueryType::kSelect;
    case 2:
      return QueryType::kMakeTable;
    case 3:
      return QueryType::kAppend;
    case 4:
      return QueryType::kUpdate;
    case 5:
      return QueryType::kDelete;
    case 6:
      return QueryType::kCrosstab;
    case 7:
      return QueryType::kDataDefinition;
    case 8:
      return QueryType::kPassThrough;
    case 9:
      return QueryType::kUnion;
    default:
      return QueryType::kUnknown;
  }
}

QueryType TypeFromObjectFlags(uint32_t flags) {
  switch (flags & 0xF0) {
    case 0x00:
      return QueryType::kSelect;
    case 0x10:
      return QueryType::kCrosstab;
    case 0x20:
      return QueryType::kDelete;
    case 0x30:
      return QueryType::kUpdate;
    case 0x40:
      return QueryType::kAppend;
    case 0x50:
      return QueryType::kMakeTable;
    case 0x60:
      return QueryType::kDataDefinition;
    case 0x70:
      return QueryType::kPassThrough;
    case 0x80:
      return QueryType::kUnion;
    default:
      return QueryType::kUnknown;
  }
}

// The rows of one query, looked up by attribute.
class Rows {
 public:
  explicit Rows(const std::vector<QueryRow>& rows) : rows_(rows) {}
  std::vector<const QueryRow*> All(uint8_t attribute) const {
    std::vector<const QueryRow*> out;
    for (const QueryRow& r : rows_) {
      if (r.attribute == attribute) out.push_back(&r);
    }
    return out;
  }
  const QueryRow* First(uint8_t attribute) const {
    for (const QueryRow& r : rows_) {
      if (r.attribute == attribute) return &r;
    }
    return nullptr;
  }
  int Flag(uint8_t attribute) const {
    const QueryRow* r = First(attribute);
    return r && r->flag ? *r->flag : 0;
  }
  std::u16string Expr(uint8_t attribute) const {
    const QueryRow* r = First(attribute);
    return r && r->expression ? StripNul(*r->expression) : std::u16string();
  }

 private:
  const std::vector<QueryRow>& rows_;
};

// A FROM item: one table (or sub-query) or a join of two items.
struct FromNode {
  std::u16string text;                // leaf: the table reference
  std::vector<std::u16string> names;  // the names the item answers to (alias or table name)
  std::unique_ptr<FromNode> left, right;
  int join_type = 1;
  std::vector<std::u16string> conditions;

  bool is_join() const { return left != nullptr; }
  bool Has(std::u16string_view name) const {
    for (const std::u16string& n : names) {
      if (EqualIgnoreCase(n, name)) return true;
    }
    return false;
  }
  std::u16string Render() const {
    if (!is_join()) return text;
    std::u16string l = left->Render(), r = right->Render();
    if (left->is_join()) l = u"(" + l + u")";
    if (right->is_join()) r = u"(" + r + u")";
    const char16_t* kind = join_type == 2   ? u" LEFT JOIN "
                           : join_type == 3 ? u" RIGHT JOIN "
                                            : u" INNER JOIN ";
    std::u16string on;
    if (conditions.size() == 1) {
      on = conditions[0];
    } else {
      std::vector<std::u16string> wrapped;
      for (const std::u16string& c : conditions) wrapped.push_back(u"(" + c + u")");
      on = Join(wrapped, u" AND ");
    }
    return l + kind + r + u" ON " + on;
  }
};

std::u16string RemoteSuffix(const Rows& rows) {
  const QueryRow* remote = rows.First(kRemoteDb);
  if (!remote) return {};
  std::u16string out = u" IN '" + remote->name1 + u"'";
  if (remote->expression && !remote->expression->empty()) {
    out += u"[" + StripNul(*remote->expression) + u"]";
  }
  return out;
}

std::u16string FromClause(const Rows& rows) {
  std::vector<std::unique_ptr<FromNode>> items;
  const std::u16string remote = RemoteSuffix(rows);
  for (const QueryRow* src : rows.All(kSource)) {
    auto node = std::make_unique<FromNode>();
    if (src->expression && !src->expression->empty()) {
      node->text = u"(" + StripNul(*src->expression) + u")";
    } else {
      node->text = QuoteName(src->name1) + remote;
    }
    if (!src->name2.empty()) {
      node->text += u" AS " + QuoteName(src->name2);
      node->names.push_back(src->name2);
    } else {
      node->names.push_back(src->name1);
    }
    items.push_back(std::move(node));
  }
  auto find = [&](std::u16string_view name) -> int {
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i]->Has(name)) return static_cast<int>(i);
    }
    return -1;
  };
  for (const QueryRow* join : rows.All(kJoin)) {
    const int l = find(join->name1), r = find(join->name2);
    const std::u16string cond = join->expression ? StripNul(*join->expression) : u"";
    if (l < 0 || r < 0) continue;  // a join of names no source row declares: nothing to nest
    if (l == r) {
      // A further condition between two tables already joined: it belongs to the join that
      // brought them together.
      FromNode* node = items[l].get();
      while (node->is_join()) {
        const bool in_left = node->left->Has(join->name1) && node->left->Has(join->name2);
        const bool in_right = node->right->Has(join->name1) && node->right->Has(join->name2);
        if (in_left)
          node = node->left.get();
        else if (in_right)
          node = node->right.get();
        else
          break;
      }
      if (node->is_join()) node->conditions.push_back(cond);
      continue;
    }
    auto node = std::make_unique<FromNode>();
    node->join_type = join->flag.value_or(1);
    node->conditions.push_back(cond);
    node->names = items[l]->names;
    node->names.insert(node->names.end(), items[r]->names.begin(), items[r]->names.end());
    node->left = std::move(items[l]);
    node->right = std::move(items[r]);
    const int keep = std::min(l, r), drop = std::max(l, r);
    items.erase(items.begin() + drop);
    items[keep] = std::move(node);
  }
  std::vector<std::u16string> parts;
  for (const auto& item : items) parts.push_back(item->Render());
  return Join(parts, u", ");
}

std::u16string ColumnText(const QueryRow& row) {
  std::u16string text = row.expression ? StripNul(*row.expression) : u"";
  if (!row.name1.empty()) text += u" AS " + QuoteName(row.name1);
  return text;
}

std::vector<std::u16string> ExprList(const Rows& rows, uint8_t attribute) {
  std::vector<std::u16string> out;
  for (const QueryRow* r : rows.All(attribute)) {
    std::u16string text = r->expression ? StripNul(*r->expression) : u"";
    if (attribute == kOrderBy && EqualIgnoreCase(r->name1, u"D")) text += u" DESC";
    out.push_back(text);
  }
  return out;
}

// "DISTINCT TOP 5 " and the like, from the select options row.
std::u16string SelectPrefix(const Rows& rows) {
  const int flags = rows.Flag(kOptions);
  std::u16string out;
  if (flags & kDistinct) out += u"DISTINCT ";
  if (flags & kDistinctRow) out += u"DISTINCTROW ";
  const QueryRow* options = rows.First(kOptions);
  if ((flags & kTop) && options && !options->name1.empty()) {
    out += u"TOP " + options->name1 + u" ";
    if (flags & kPercent) out += u"PERCENT ";
  }
  return out;
}

// The output list: "*" when every field is selected, then the stored columns.
std::u16string SelectList(const Rows& rows, const std::vector<const QueryRow*>& columns) {
  std::vector<std::u16string> parts;
  if (rows.Flag(kOptions) & kAllFields) parts.push_back(u"*");
  for (const QueryRow* c : columns) parts.push_back(ColumnText(*c));
  return Join(parts, u", ");
}

// WHERE, GROUP BY, HAVING and ORDER BY lines.
std::u16string Tail(const Rows& rows, bool with_group = true) {
  std::u16string out;
  const std::u16string where = rows.Expr(kWhere);
  if (!where.empty()) out += u"\nWHERE " + where;
  if (with_group) {
    const auto group = ExprList(rows, kGroupBy);
    if (!group.empty()) out += u"\nGROUP BY " + Join(group, u", ");
    const std::u16string having = rows.Expr(kHaving);
    if (!having.empty()) out += u"\nHAVING " + having;
  }
  const auto order = ExprList(rows, kOrderBy);
  if (!order.empty()) out += u"\nORDER BY " + Join(order, u", ");
  return out;
}

std::u16string OwnerAccess(const Rows& rows) {
  return (rows.Flag(kOptions) & kOwnerAccess) ? u"\nWITH OWNERACCESS OPTION" : u"";
}

std::u16string FromLine(const Rows& rows) {
  const std::u16string from = FromClause(rows);
  return from.empty() ? u"" : u"\nFROM " + from;
}

std::u16string TargetTable(const Rows& rows) {
  const QueryRow* type = rows.First(kType);
  std::u16string out = type ? QuoteName(type->name1) : u"";
  if (type && type->expression && !StripNul(*type->expression).empty()) {
    out += u" IN '" + StripNul(*type->expression) + u"'";
  }
  return out;
}

std::u16string SelectSql(const Rows& rows) {
  return u"SELECT " + SelectPrefix(rows) + SelectList(rows, rows.All(kColumn)) + FromLine(rows) +
         Tail(rows) + OwnerAccess(rows);
}

std::u16string MakeTableSql(const Rows& rows) {
  return u"SELECT " + SelectPrefix(rows) + SelectList(rows, rows.All(kColumn)) + u" INTO " +
         TargetTable(rows) + FromLine(rows) + Tail(rows) + OwnerAccess(rows);
}

std::u16string AppendSql(const Rows& rows) {
  std::vector<std::u16string> targets, values;
  for (const QueryRow* c : rows.All(kColumn)) {
    targets.push_back(c->name2);
    values.push_back(c->expression ? StripNul(*c->expression) : u"");
  }
  std::u16string out = u"INSERT INTO " + TargetTable(rows);
  if (!targets.empty()) out += u" ( " + Join(targets, u", ") + u" )";
  if (rows.All(kSource).empty()) return out + u"\nVALUES (" + Join(values, u", ") + u")";
  return out + u"\nSELECT " + SelectPrefix(rows) + Join(values, u", ") + FromLine(rows) +
         Tail(rows) + OwnerAccess(rows);
}

std::u16string UpdateSql(const Rows& rows) {
  std::vector<std::u16string> sets;
  for (const QueryRow* c : rows.All(kColumn)) {
    sets.push_back(c->name2 + u" = " + (c->expression ? StripNul(*c->expression) : u""));
  }
  return u"UPDATE " + SelectPrefix(rows) + FromClause(rows) + u" SET " + Join(sets, u", ") +
         Tail(rows, false) + OwnerAccess(rows);
}

std::u16string DeleteSql(const Rows& rows) {
  return u"DELETE " + SelectPrefix(rows) + SelectList(rows, rows.All(kColumn)) + FromLine(rows) +
         Tail(rows, false) + OwnerAccess(rows);
}

// Crosstab columns carry their role in Flag: 0 the value, 1 the column heading, 2 row headings
// (group rows use the same flags).
std::u16string CrosstabSql(const Rows& rows) {
  std::u16string value, pivot;
  std::vector<const QueryRow*> heads;
  for (const QueryRow* c : rows.All(kColumn)) {
    const int role = c->flag.value_or(2);
    if (role == 0)
      value = ColumnText(*c);
    else if (role == 1)
      pivot = c->expression ? StripNul(*c->expression) : u"";
    else
      heads.push_back(c);
  }
  std::vector<std::u16string> group;
  for (const QueryRow* g : rows.All(kGroupBy)) {
    if (g->flag.value_or(2) != 1) group.push_back(g->expression ? StripNul(*g->expression) : u"");
  }
  std::u16string out = u"TRANSFORM " + value + u"\nSELECT " + SelectPrefix(rows) +
                       SelectList(rows, heads) + FromLine(rows);
  const std::u16string where = rows.Expr(kWhere);
  if (!where.empty()) out += u"\nWHERE " + where;
  if (!group.empty()) out += u"\nGROUP BY " + Join(group, u", ");
  const std::u16string having = rows.Expr(kHaving);
  if (!having.empty()) out += u"\nHAVING " + having;
  const auto order = ExprList(rows, kOrderBy);
  if (!order.empty()) out += u"\nORDER BY " + Join(order, u", ");
  return out + u"\nPIVOT " + pivot;
}

// A union keeps its parts as sub-query texts; the options flag says whether duplicates go.
std::u16string UnionSql(const Rows& rows) {
  std::vector<std::u16string> parts;
  for (const QueryRow* src : rows.All(kSource)) {
    parts.push_back(src->expression ? StripNul(*src->expression) : QuoteName(src->name1));
  }
  const bool all = (rows.Flag(kOptions) & kDistinct) == 0;
  std::u16string out = Join(parts, all ? u"\nUNION ALL " : u"\nUNION ");
  const auto order = ExprList(rows, kOrderBy);
  if (!order.empty()) out += u"\nORDER BY " + Join(order, u", ");
  return out;
}

}  // namespace

std::u16string QuoteName(std::u16string_view name) {
  bool plain = !name.empty() && !(name[0] >= u'0' && name[0] <= u'9');
  for (char16_t c : name) {
    const bool ok = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                    (c >= u'0' && c <= u'9') || c == u'_' || c >= 0x80;
    if (!ok) plain = false;
  }
  if (plain || (name.size() >= 2 && name.front() == u'[' && name.back() == u']')) {
    return std::u16string(name);
  }
  return u"[" + std::u16string(name) + u"]";
}

std::string QueryTypeName(QueryType type) {
  switch (type) {
    case QueryType::kSelect:
      return "select";
    case QueryType::kMakeTable:
      return "make-table";
    case QueryType::kAppend:
      return "append";
    case QueryType::kUpdate:
      return "update";
    case QueryType::kDelete:
      return "delete";
    case QueryType::kCrosstab:
      return "crosstab";
    case QueryType::kDataDefinition:
      return "data-definition";
    case QueryType::kPassThrough:
      return "pass-through";
    case QueryType::kUnion:
      return "union";
    case QueryType::kUnknown:
      break;
  }
  return "unknown";
}

std::u16string BuildAccessSql(QueryType type, const std::vector<QueryRow>& stored) {
  const Rows rows(stored);
  std::u16string out;
  std::vector<std::u16string> params;
  for (const QueryRow* p : rows.All(kParameter)) {
    params.push_back(QuoteName(p->name1) + u" " + ParameterType(p->flag.value_or(0)));
  }
  if (!params.empty()) out += u"PARAMETERS " + Join(params, u", ") + u";\n";
  switch (type) {
    case QueryType::kSelect:
      out += SelectSql(rows);
      break;
    case QueryType::kMakeTable:
      out += MakeTableSql(rows);
      break;
    case QueryType::kAppend:
      out += AppendSql(rows);
      break;
    case QueryType::kUpdate:
      out += UpdateSql(rows);
      break;
    case QueryType::kDelete:
      out += DeleteSql(rows);
      break;
    case QueryType::kCrosstab:
      out += CrosstabSql(rows);
      break;
    case QueryType::kUnion:
      out += UnionSql(rows);
      break;
    case QueryType::kDataDefinition:
    case QueryType::kPassThrough: {
      std::u16string text = rows.Expr(kType);
      while (!text.empty() && text.back() == u';') text.pop_back();
      out += text;
      break;
    }
    case QueryType::kUnknown:
      out += SelectSql(rows);
      break;
  }
  return out + u";";
}

std::u16string SavedQuery::Sql() const { return BuildAccessSql(type, rows); }

std::vector<jet::TableListEntry> ListTables(const jet::Database& db) {
  std::vector<std::u16string> with_parameters;
  for (const SavedQuery& q : ReadSavedQueries(db)) {
    if (!q.parameters.empty()) with_parameters.push_back(q.name);
  }
  std::vector<jet::TableListEntry> out = db.ListTables();
  std::erase_if(out, [&](const jet::TableListEntry& e) {
    return e.type == "VIEW" && std::find(with_parameters.begin(), with_parameters.end(),
                                         e.name) != with_parameters.end();
  });
  return out;
}

std::vector<SavedQuery> ReadSavedQueries(const jet::Database& db) {
  std::vector<SavedQuery> queries;
  for (const jet::CatalogObject& obj : db.Objects()) {
    if (obj.type != 5) continue;
    SavedQuery q;
    q.name = obj.name;
    q.id = obj.id;
    q.object_flags = obj.flags;
    q.type = TypeFromObjectFlags(obj.flags);
    queries.push_back(std::move(q));
  }
  if (queries.empty()) return queries;
  const jet::TableDef table = db.GetTable(u"MSysQueries");
  auto col = [&](std::u16string_view name) -> int {
    const jet::Column* c = table.FindColumn(name);
    if (!c) return -1;
    return static_cast<int>(c - table.columns.data());
  };
  const int c_attr = col(u"Attribute"), c_expr = col(u"Expression"), c_flag = col(u"Flag"),
            c_name1 = col(u"Name1"), c_name2 = col(u"Name2"), c_id = col(u"ObjectId"),
            c_order = col(u"Order");
  if (c_attr < 0 || c_id < 0) {
    throw jet::Error(jet::Error::Kind::kCorrupt,
                     "MSysQueries in " + db.path() + " lacks its Attribute or ObjectId column");
  }
  auto text = [](const jet::Value& v) -> std::u16string {
    return v.is<std::u16string>() ? v.as<std::u16string>() : std::u16string();
  };
  db.Scan(table, [&](jet::RowId, std::vector<jet::Value>& v) {
    if (!v[c_id].is<int32_t>() || !v[c_attr].is<uint8_t>()) return true;
    const int32_t id = v[c_id].as<int32_t>();
    auto q = std::find_if(queries.begin(), queries.end(),
                          [&](const SavedQuery& s) { return s.id == id; });
    if (q == queries.end()) return true;
    QueryRow row;
    row.attribute = v[c_attr].as<uint8_t>();
    if (c_flag >= 0 && v[c_flag].is<int16_t>()) row.flag = v[c_flag].as<int16_t>();
    if (c_name1 >= 0) row.name1 = text(v[c_name1]);
    if (c_name2 >= 0) row.name2 = text(v[c_name2]);
    if (c_expr >= 0 && v[c_expr].is<std::u16string>())
      row.expression = v[c_expr].as<std::u16string>();
    if (c_order >= 0 && v[c_order].is<jet::Bytes>()) row.order = v[c_order].as<jet::Bytes>();
    q->rows.push_back(std::move(row));
    return true;
  });
  for (SavedQuery& q : queries) {
    std::stable_sort(q.rows.begin(), q.rows.end(), [](const QueryRow& a, const QueryRow& b) {
      if (a.attribute != b.attribute) return a.attribute < b.attribute;
      return a.order < b.order;
    });
    const Rows rows(q.rows);
    if (const QueryRow* type = rows.First(kType); type && type->flag) {
      const QueryType stored = TypeFromCode(*type->flag);
      if (stored != QueryType::kUnknown) q.type = stored;
    }
    for (const QueryRow* p : rows.All(kParameter)) {
      q.parameters.push_back({p->name1, ParameterType(p->flag.value_or(0))});
    }
  }
  return queries;
}

std::optional<SavedQuery> FindSavedQuery(const jet::Database& db, std::u16string_view name) {
  for (SavedQuery& q : ReadSavedQueries(db)) {
    if (EqualIgnoreCase(q.name, name)) return std::move(q);
  }
  return std::nullopt;
}

}  // namespace query
