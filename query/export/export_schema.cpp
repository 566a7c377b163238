#include "query/export/export_schema.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "query/export/views.h"
#include "query/translate.h"

namespace query {
namespace {

// PostgreSQL keeps at most this many bytes of an identifier (NAMEDATALEN - 1).
constexpr size_t kPostgresNameBytes = 63;

// `name` cut to `limit` bytes at a character boundary, with a hash of the whole name appended so
// that two long names with the same beginning stay apart. The same name always gives the same
// result.
std::string Shorten(const std::string& name, size_t limit) {
  if (name.size() <= limit) return name;
  uint32_t hash = 2166136261u;  // FNV-1a
  for (unsigned char c : name) hash = (hash ^ c) * 16777619u;
  char suffix[10];
  std::snprintf(suffix, sizeof suffix, "_%08x", hash);
  size_t cut = limit - 9;
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  return name.substr(0, cut) + suffix;
}

// Hands out target names: shortened to the dialect's limit (with a note) and, where a namespace
// is shared, unique within it (case-insensitively, as both targets fold or may fold case).
class Namer {
 public:
  Namer(Dialect dialect, std::vector<std::string>& notes) : dialect_(dialect), notes_(notes) {}

  std::string Fit(const std::string& name, const std::string& what) {
    if (dialect_ != Dialect::kPostgres) return name;
    std::string fitted = Shorten(name, kPostgresNameBytes);
    if (fitted != name) {
      notes_.push_back(what + " \"" + name + "\" shortened to \"" + fitted +
                       "\" (PostgreSQL names hold at most 63 bytes)");
    }
    return fitted;
  }

  // A name unique among all names given out by Unique() (tables, indexes, constraints).
  std::string Unique(const std::string& wanted, const std::string& what) {
    std::string name = Fit(wanted, what);
    for (int n = 2; used_.count(AsciiLower(name)) != 0; ++n) {
      const std::string suffix = "_" + std::to_string(n);
      name = Shorten(wanted, (dialect_ == Dialect::kPostgres ? kPostgresNameBytes : 1u << 30) -
                                 suffix.size()) +
             suffix;
    }
    used_.insert(AsciiLower(name));
    return name;
  }

 private:
  Dialect dialect_;
  std::vector<std::string>& notes_;
  std::set<std::string> used_;
};

int ColumnPosition(const jet::TableDef& def, uint16_t number) {
  for (size_t i = 0; i < def.columns.size(); ++i) {
    if (def.columns[i].number == number) return static_cast<int>(i);
  }
  return -1;
}

// The target index of `ix`, or false when it names a column the table does not have.
bool MakeIndex(const ExportTable& t, const jet::Index& ix, ExportIndex& out) {
  out.primary = ix.primary;
  out.unique = ix.unique || ix.primary;
  for (const jet::IndexColumn& ic : ix.columns) {
    const int pos = ColumnPosition(t.def, ic.column_number);
    if (pos < 0) return false;
    out.columns.push_back(t.columns[static_cast<size_t>(pos)]);
    out.descending.push_back(!ic.ascending);
  }
  return !out.columns.empty();
}

bool SameKey(const ExportIndex& a, const ExportIndex& b) {
  return a.columns == b.columns && a.descending == b.descending;
}

// Primary key first, then the indexes users made, then the ones Access made for relationships
// unless they repeat a key already there (the ".rB" copies of primary keys).
void AddIndexes(ExportTable& t, Namer& namer) {
  std::vector<const jet::Index*> order;
  for (const jet::Index& ix : t.def.indexes) order.push_back(&ix);
  std::stable_sort(order.begin(), order.end(), [](const jet::Index* a, const jet::Index* b) {
    const int ra = a->primary ? 0 : a->foreign ? 2 : 1;
    const int rb = b->primary ? 0 : b->foreign ? 2 : 1;
    return ra != rb ? ra < rb : a->name < b->name;
  });
  for (const jet::Index* ix : order) {
    ExportIndex e;
    if (!MakeIndex(t, *ix, e)) continue;
    if (ix->foreign || ix->primary) {
      const bool repeated = std::any_of(t.indexes.begin(), t.indexes.end(), [&](const auto& o) {
        return SameKey(o, e) && (o.unique || !e.unique);
      });
      if (repeated) continue;
    }
    e.name = namer.Unique(t.name + "_" + jet::ToUtf8(ix->name), "index");
    for (size_t i = 0; i < t.columns.size(); ++i) {
      if ((ix->primary || ix->required) &&
          std::find(e.columns.begin(), e.columns.end(), t.columns[i]) != e.columns.end()) {
        t.not_null[i] = true;
      }
    }
    t.indexes.push_back(std::move(e));
  }
}

void FindAutonumberKey(const jet::Database& db, ExportTable& t) {
  const ExportIndex* pk = t.PrimaryKey();
  if (pk == nullptr || pk->columns.size() != 1 || pk->descending[0]) return;
  for (size_t i = 0; i < t.def.columns.size(); ++i) {
    const jet::Column& c = t.def.columns[i];
    if (t.columns[i] != pk->columns[0]) continue;
    if (c.type != jet::ColumnType::kLong) return;
    t.integer_key = static_cast<int>(i);
    if (c.autonumber()) t.autonumber_key = static_cast<int>(i);
  }
  if (t.autonumber_key < 0) return;
  t.last_autonumber = t.def.last_autonumber;
  db.Scan(t.def, [&](jet::RowId, std::vector<jet::Value>& row) {
    const jet::Value& v = row[static_cast<size_t>(t.autonumber_key)];
    if (v.is<int32_t>()) t.max_key = std::max<int64_t>(t.max_key, v.as<int32_t>());
    return true;
  });
}

ExportTable* FindTable(std::vector<ExportTable>& tables, const std::u16string& name) {
  for (ExportTable& t : tables) {
    if (t.def.name == name) return &t;
  }
  // Access compares names case-insensitively.
  for (ExportTable& t : tables) {
    if (AsciiLower(jet::ToUtf8(t.def.name)) == AsciiLower(jet::ToUtf8(name))) return &t;
  }
  return nullptr;
}

bool MapColumns(const ExportTable& t, const std::vector<std::u16string>& names,
                std::vector<std::string>& out) {
  for (const std::u16string& n : names) {
    const jet::Column* c = t.def.FindColumn(n);
    if (c == nullptr) return false;
    out.push_back(t.columns[static_cast<size_t>(c - t.def.columns.data())]);
  }
  return true;
}

std::string Describe(const jet::Relationship& r) {
  return "relationship \"" + jet::ToUtf8(r.name) + "\" (" + jet::ToUtf8(r.referenced_table) +
         " -> " + jet::ToUtf8(r.referencing_table) + ")";
}

void AddForeignKeys(const jet::Database& db, const std::vector<jet::CatalogObject>& objects,
                    ExportSchema& s, Namer& namer) {
  std::set<std::u16string> system_tables;
  for (const jet::CatalogObject& o : objects) {
    if (o.kind == jet::ObjectKind::kSystemTable) system_tables.insert(o.name);
  }
  for (const jet::Relationship& r : db.Relationships()) {
    // Access relates some of its own system tables; they are not exported.
    if (system_tables.count(r.referencing_table) != 0 ||
        system_tables.count(r.referenced_table) != 0) {
      continue;
    }
    if (!r.enforced) {
      s.notes.push_back(Describe(r) + ": no referential integrity in Access, so not a foreign key");
      continue;
    }
    ExportTable* from = FindTable(s.tables, r.referencing_table);
    ExportTable* to = FindTable(s.tables, r.referenced_table);
    ExportForeignKey fk;
    if (from == nullptr || to == nullptr || !MapColumns(*from, r.referencing_columns, fk.columns) ||
        !MapColumns(*to, r.referenced_columns, fk.referenced_columns)) {
      s.notes.push_back(Describe(r) + ": names a table or column that is not exported");
      continue;
    }
    fk.name = namer.Unique(jet::ToUtf8(r.name), "relationship");
    fk.referenced_table = to->name;
    fk.cascade_update = r.cascade_update;
    fk.cascade_delete = r.cascade_delete;
    fk.set_null_on_delete = r.cascade_null && !r.cascade_delete;
    from->foreign_keys.push_back(std::move(fk));
  }
}

// Notes for what is neither a table nor a view: queries when the target has no views (`why`),
// linked tables always.
void AddObjectNotes(const std::vector<jet::CatalogObject>& objects, const char* why,
                    ExportSchema& s) {
  for (const jet::CatalogObject& o : objects) {
    const std::string name = "\"" + jet::ToUtf8(o.name) + "\"";
    if (why == nullptr && o.kind != jet::ObjectKind::kLinkedTable) continue;
    if (o.kind == jet::ObjectKind::kSelectQuery) {
      s.notes.push_back("query " + name + ": " + why);
    } else if (o.kind == jet::ObjectKind::kOtherQuery) {
      s.notes.push_back("query " + name + ": not exported (only select queries can become views)");
    } else if (o.kind == jet::ObjectKind::kLinkedTable) {
      s.notes.push_back("linked table " + name + ": not exported (its rows live in another file)");
    }
  }
}

}  // namespace

const ExportIndex* ExportTable::PrimaryKey() const {
  return !indexes.empty() && indexes.front().primary ? &indexes.front() : nullptr;
}

ExportSchema BuildExportSchema(const jet::Database& db, Dialect dialect, bool views) {
  ExportSchema s;
  Namer namer(dialect, s.notes);
  const std::vector<jet::CatalogObject> objects = db.Objects();
  std::vector<std::u16string> names;
  for (const jet::CatalogObject& o : objects) {
    if (o.kind == jet::ObjectKind::kTable) names.push_back(o.name);
  }
  std::sort(names.begin(), names.end());
  for (const std::u16string& name : names) {
    ExportTable t;
    t.def = db.GetTable(name);
    t.name = namer.Unique(jet::ToUtf8(t.def.name), "table");
    for (const jet::Column& c : t.def.columns) {
      t.columns.push_back(namer.Fit(jet::ToUtf8(c.name), "column"));
      t.not_null.push_back(c.required || c.type == jet::ColumnType::kBoolean);
    }
    s.tables.push_back(std::move(t));
  }
  for (ExportTable& t : s.tables) {
    AddIndexes(t, namer);
    FindAutonumberKey(db, t);
    const ExportIndex* pk = t.PrimaryKey();
    if (dialect == Dialect::kPostgres && pk != nullptr &&
        std::find(pk->descending.begin(), pk->descending.end(), true) != pk->descending.end()) {
      s.notes.push_back("primary key of \"" + t.name +
                        "\": descending column order dropped (PostgreSQL keys have no order)");
    }
  }
  AddForeignKeys(db, objects, s, namer);
  if (views && dialect == Dialect::kSqlite) {
    ViewPlan plan = PlanSqliteViews(db, s);
    s.views = std::move(plan.statements);
    s.notes.insert(s.notes.end(), plan.notes.begin(), plan.notes.end());
    AddObjectNotes(objects, nullptr, s);
  } else {
    AddObjectNotes(objects,
                   views ? "not exported as a view (views are exported to SQLite only)"
                         : "not exported (CSV files hold tables only)",
                   s);
  }
  return s;
}

std::string QuoteIdentifier(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

}  // namespace query
