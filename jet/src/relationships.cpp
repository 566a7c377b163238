// Relationships as MSysRelationships stores them.
//
// One row per column pair of a relationship:
//
//   szRelationship       Text   name of the relationship (unique in the file)
//   szObject             Text   referencing table (the "many" side)
//   szColumn             Text   its column
//   szReferencedObject   Text   referenced table (the "one" side)
//   szReferencedColumn   Text   its column
//   ccolumn              Long   number of column pairs of the relationship
//   icolumn              Long   position of this pair, 0 .. ccolumn-1
//   grbit                Long   flags, the same on every row of one relationship:
//                                 0x00000001 one-to-one
//                                 0x00000002 no referential integrity
//                                 0x00000100 cascade updates
//                                 0x00001000 cascade deletes
//                                 0x00002000 cascade to NULL on delete
//                                 0x01000000 / 0x02000000 left / right outer join (display only)

#include <algorithm>
#include <map>
#include <string>

#include "jet/database.h"

namespace jet {
namespace {

constexpr uint32_t kNoIntegrity = 0x00000002;
constexpr uint32_t kCascadeUpdate = 0x00000100;
constexpr uint32_t kCascadeDelete = 0x00001000;
constexpr uint32_t kCascadeNull = 0x00002000;

constexpr char16_t kTableName[] = u"MSysRelationships";

// Position of `name` in the columns of `def`; throws kCorrupt when it is missing.
size_t ColumnIndex(const TableDef& def, std::u16string_view name, const std::string& path) {
  for (size_t i = 0; i < def.columns.size(); ++i) {
    if (def.columns[i].name == name) return i;
  }
  throw Error(Error::Kind::kCorrupt,
              "MSysRelationships of " + path + " has no column " + ToUtf8(name));
}

std::u16string TextAt(const std::vector<Value>& row, size_t i) {
  return row[i].is<std::u16string>() ? row[i].as<std::u16string>() : std::u16string();
}

int64_t LongAt(const std::vector<Value>& row, size_t i) {
  return row[i].is<int32_t>() ? row[i].as<int32_t>() : -1;
}

struct Pair {
  int64_t position;
  std::u16string referencing;
  std::u16string referenced;
};

}  // namespace

std::vector<Relationship> Database::Relationships() const {
  bool present = false;
  for (const CatalogObject& o : Objects()) {
    if (o.kind == ObjectKind::kSystemTable && o.name == kTableName) present = true;
  }
  if (!present) return {};
  const TableDef def = GetTable(kTableName);
  const size_t name_col = ColumnIndex(def, u"szRelationship", path());
  const size_t object_col = ColumnIndex(def, u"szObject", path());
  const size_t column_col = ColumnIndex(def, u"szColumn", path());
  const size_t ref_object_col = ColumnIndex(def, u"szReferencedObject", path());
  const size_t ref_column_col = ColumnIndex(def, u"szReferencedColumn", path());
  const size_t count_col = ColumnIndex(def, u"ccolumn", path());
  const size_t position_col = ColumnIndex(def, u"icolumn", path());
  const size_t flags_col = ColumnIndex(def, u"grbit", path());

  std::map<std::u16string, Relationship> by_name;
  std::map<std::u16string, std::vector<Pair>> pairs;
  std::map<std::u16string, int64_t> counts;
  Scan(def, [&](RowId, std::vector<Value>& row) {
    const std::u16string name = TextAt(row, name_col);
    Relationship& r = by_name[name];
    if (r.name.empty()) {
      r.name = name;
      r.referencing_table = TextAt(row, object_col);
      r.referenced_table = TextAt(row, ref_object_col);
      r.flags = static_cast<uint32_t>(LongAt(row, flags_col));
      counts[name] = LongAt(row, count_col);
    } else if (r.referencing_table != TextAt(row, object_col) ||
               r.referenced_table != TextAt(row, ref_object_col)) {
      throw Error(Error::Kind::kCorrupt, "relationship " + ToUtf8(name) + " of " + path() +
                                             " names different tables in its rows");
    }
    pairs[name].push_back(
        {LongAt(row, position_col), TextAt(row, column_col), TextAt(row, ref_column_col)});
    return true;
  });

  std::vector<Relationship> out;
  for (auto& [name, r] : by_name) {
    std::vector<Pair>& ps = pairs[name];
    std::sort(ps.begin(), ps.end(),
              [](const Pair& a, const Pair& b) { return a.position < b.position; });
    for (size_t i = 0; i < ps.size(); ++i) {
      if (ps[i].position != static_cast<int64_t>(i) ||
          counts[name] != static_cast<int64_t>(ps.size()) || ps[i].referencing.empty() ||
          ps[i].referenced.empty()) {
        throw Error(Error::Kind::kCorrupt, "relationship " + ToUtf8(name) + " of " + path() +
                                               " has inconsistent column rows");
      }
      r.referencing_columns.push_back(ps[i].referencing);
      r.referenced_columns.push_back(ps[i].referenced);
    }
    if (name.empty() || r.referencing_table.empty() || r.referenced_table.empty()) {
      throw Error(Error::Kind::kCorrupt,
                  "a relationship of " + path() + " lacks its name or a table name");
    }
    r.enforced = (r.flags & kNoIntegrity) == 0;
    r.cascade_update = (r.flags & kCascadeUpdate) != 0;
    r.cascade_delete = (r.flags & kCascadeDelete) != 0;
    r.cascade_null = (r.flags & kCascadeNull) != 0;
    out.push_back(std::move(r));
  }
  return out;
}

}  // namespace jet
