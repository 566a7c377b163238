#include "table/relationships.h"

#include <algorithm>
#include <map>
#include <string>

#include "jet/error.h"
#include "table/row.h"
#include "table/table_def.h"
#include "table/table_scan.h"

namespace jet {
namespace {

// Position of `name` in the columns of `def`; throws kCorrupt when it is missing.
size_t ColumnAt(const TableDef& def, std::u16string_view name, const std::string& path) {
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

void ApplyRelationshipFlags(Relationship& r) {
  r.enforced = (r.flags & kRelationNoIntegrity) == 0;
  r.cascade_update = (r.flags & kRelationCascadeUpdate) != 0;
  r.cascade_delete = (r.flags & kRelationCascadeDelete) != 0;
  r.cascade_null = (r.flags & kRelationCascadeNull) != 0;
}

std::vector<Relationship> ReadRelationships(const File& file, const TextCodec& codec,
                                            const Catalog& catalog) {
  const CatalogObject* object = nullptr;
  for (const CatalogObject& o : catalog.objects()) {
    if (o.kind == ObjectKind::kSystemTable && o.type == 1 && o.name == kRelationshipsTable) {
      object = &o;
    }
  }
  if (object == nullptr) return {};
  const TableInfo table = ReadTableDef(
      file, codec, static_cast<uint32_t>(object->id) & kTdefPageMask, kRelationshipsTable);
  const std::string& path = file.path();
  const TableDef& def = table.def;
  const size_t name_col = ColumnAt(def, u"szRelationship", path);
  const size_t object_col = ColumnAt(def, u"szObject", path);
  const size_t column_col = ColumnAt(def, u"szColumn", path);
  const size_t ref_object_col = ColumnAt(def, u"szReferencedObject", path);
  const size_t ref_column_col = ColumnAt(def, u"szReferencedColumn", path);
  const size_t count_col = ColumnAt(def, u"ccolumn", path);
  const size_t position_col = ColumnAt(def, u"icolumn", path);
  const size_t flags_col = ColumnAt(def, u"grbit", path);

  std::map<std::u16string, Relationship> by_name;
  std::map<std::u16string, std::vector<Pair>> pairs;
  std::map<std::u16string, int64_t> counts;
  RowDecoder decoder(file, codec, table, def.columns);
  std::vector<Value> row;
  ScanRows(file, table, [&](RowId, const PageReader& bytes) {
    decoder.Decode(bytes, row);
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
      throw Error(Error::Kind::kCorrupt, "relationship " + ToUtf8(name) + " of " + path +
                                             " names different tables in its rows");
    }
    pairs[name].push_back(
        {LongAt(row, position_col), TextAt(row, column_col), TextAt(row, ref_column_col)});
    return true;
  });

  std::vector<Relationship> out;
  for (auto& [name, r] : by_name) {
    if (name.empty() || r.referencing_table.empty() || r.referenced_table.empty()) {
      throw Error(Error::Kind::kCorrupt,
                  "a relationship of " + path + " lacks its name or a table name");
    }
    std::vector<Pair>& ps = pairs[name];
    std::sort(ps.begin(), ps.end(),
              [](const Pair& a, const Pair& b) { return a.position < b.position; });
    for (size_t i = 0; i < ps.size(); ++i) {
      if (ps[i].position != static_cast<int64_t>(i) ||
          counts[name] != static_cast<int64_t>(ps.size()) || ps[i].referencing.empty() ||
          ps[i].referenced.empty()) {
        throw Error(Error::Kind::kCorrupt, "relationship " + ToUtf8(name) + " of " + path +
                                               " has inconsistent column rows");
      }
      r.referencing_columns.push_back(ps[i].referencing);
      r.referenced_columns.push_back(ps[i].referenced);
    }
    ApplyRelationshipFlags(r);
    out.push_back(std::move(r));
  }
  return out;
}

}  // namespace jet
