#include "dump.h"

#include <algorithm>
#include <vector>

#include "dump_format.h"

namespace cli {
namespace {

// Starts a line with {"table":T, leaving the object open.
std::string TableLineStart(const std::u16string& table) {
  std::string line = "{\"table\":";
  AppendJsonString(table, line);
  line += ',';
  return line;
}

const char* Bool(bool b) { return b ? "true" : "false"; }

std::string ColumnJson(const jet::Column& c, jet::Format format) {
  std::string out = "{\"name\":";
  AppendJsonString(c.name, out);
  out += ",\"type\":\"" + TypeName(c.type) + "\"";
  if (c.type == jet::ColumnType::kText) {
    out += ",\"len\":" + std::to_string(c.max_chars(format));
  } else if (c.type == jet::ColumnType::kBinary) {
    out += ",\"len\":" + std::to_string(c.length);
  } else if (c.type == jet::ColumnType::kNumeric) {
    out += ",\"precision\":" + std::to_string(c.precision) +
           ",\"scale\":" + std::to_string(c.scale);
  }
  if ((c.type == jet::ColumnType::kLong && c.autonumber()) ||
      (c.type == jet::ColumnType::kGuid && c.auto_guid())) {
    out += ",\"auto\":true";
  }
  out += '}';
  return out;
}

// The index column as the dump names it: the column name, "-" in front when descending.
std::u16string IndexColumnName(const jet::TableDef& def, const jet::IndexColumn& ic) {
  std::u16string name = ic.ascending ? u"" : u"-";
  for (const jet::Column& c : def.columns) {
    if (c.number == ic.column_number) return name + c.name;
  }
  // A column number the definition does not list.
  for (char ch : "#" + std::to_string(ic.column_number)) name += static_cast<char16_t>(ch);
  return name;
}

void DumpTable(const jet::Database& db, const std::u16string& name, std::ostream& out) {
  const jet::TableDef def = db.GetTable(name);
  out << ColumnsLine(def, db.format()) << '\n';
  for (const std::string& line : IndexLines(def)) out << line << '\n';
  out << TableLineStart(def.name) << "\"rowcount\":" << def.row_count << "}\n";
  const std::string row_start = TableLineStart(def.name) + "\"row\":[";
  std::string line;
  db.Scan(def, [&](jet::RowId, std::vector<jet::Value>& values) {
    line = row_start;
    for (size_t i = 0; i < values.size(); ++i) {
      if (i > 0) line += ',';
      AppendJsonValue(values[i], line);
    }
    line += "]}\n";
    out << line;
    return true;
  });
}

std::vector<std::u16string> NamesOfKind(const std::vector<jet::CatalogObject>& objects,
                                        jet::ObjectKind kind) {
  std::vector<std::u16string> names;
  for (const jet::CatalogObject& o : objects) {
    if (o.kind == kind) names.push_back(o.name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

std::string ColumnsLine(const jet::TableDef& def, jet::Format format) {
  std::string line = TableLineStart(def.name) + "\"columns\":[";
  for (size_t i = 0; i < def.columns.size(); ++i) {
    if (i > 0) line += ',';
    line += ColumnJson(def.columns[i], format);
  }
  line += "]}";
  return line;
}

std::vector<std::string> IndexLines(const jet::TableDef& def) {
  std::vector<const jet::Index*> sorted;
  for (const jet::Index& ix : def.indexes) sorted.push_back(&ix);
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const jet::Index* a, const jet::Index* b) { return a->name < b->name; });
  std::vector<std::string> lines;
  for (const jet::Index* ix : sorted) {
    std::string line = TableLineStart(def.name) + "\"index\":";
    AppendJsonString(ix->name, line);
    line += ",\"columns\":[";
    for (size_t i = 0; i < ix->columns.size(); ++i) {
      if (i > 0) line += ',';
      AppendJsonString(IndexColumnName(def, ix->columns[i]), line);
    }
    line += std::string("],\"primary\":") + Bool(ix->primary) + ",\"unique\":" +
            Bool(ix->unique) + ",\"ignoreNulls\":" + Bool(ix->ignore_nulls) +
            ",\"required\":" + Bool(ix->required) + ",\"foreign\":" + Bool(ix->foreign) + "}";
    lines.push_back(std::move(line));
  }
  return lines;
}

void WriteDump(const jet::Database& db, const std::optional<std::u16string>& table,
               std::ostream& out) {
  if (table) {
    const jet::TableDef def = db.GetTable(*table);
    if (def.system) {
      throw jet::Error(jet::Error::Kind::kNotFound,
                       "'" + jet::ToUtf8(def.name) + "' is a system table in " + db.path());
    }
    DumpTable(db, def.name, out);
    return;
  }
  const std::vector<jet::CatalogObject> objects = db.Objects();
  for (const std::u16string& name : NamesOfKind(objects, jet::ObjectKind::kTable)) {
    DumpTable(db, name, out);
  }
  for (const std::u16string& name : NamesOfKind(objects, jet::ObjectKind::kLinkedTable)) {
    std::string line = "{\"linkedTable\":";
    AppendJsonString(name, line);
    out << line << "}\n";
  }
}

}  // namespace cli
